// The plumbing under every client operation: one array endpoint with its
// credentials and settings, the request with its retries, and the client's
// log lines. The operations (ArrayOperations.h) build on it.
//
// Retries: one budget per operation call (nRetryCount, default 2), shared by
// all of its requests; the wait before a retry starts at nRetryBackoffMs
// (default 200) and doubles, or is what a busy answer's Retry-After asks
// (seconds, at most kMaxRetryAfterMs). A request that surely did not leave
// this host is always repeatable; one that may have reached the array is
// repeated only when the call is idempotent (reads, deletes). A busy answer
// (503 or 429) is a refusal before the request was handled, so any request
// that met one is repeatable, a change included. Every wait goes through the
// platform's sleep (WBSLEEP_InTeRnAl).
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "host/EvDebug.h"
#include "client/ClientSettings.h"
#include "client/HttpsConnection.h"
#include "client/JsonFields.h"

namespace managehnas {

class InFlightWindow;

// The longest wait a Retry-After header gets: a longer one is cut to it.
constexpr int kMaxRetryAfterMs = 60000;

// 503 (the server is busy or unavailable) and 429 (too many requests).
bool isBusyStatus(long status);
// The milliseconds a Retry-After header in its seconds form asks, e.g. "5"
// -> 5000, at most kMaxRetryAfterMs; -1 for no header or another form (an
// HTTP date, "-1", "5s").
int retryAfterMillis(const std::string& header);

enum class Repeat { Idempotent, OnlyIfNotSent };

struct Reply {
    long status = 0;                                     // HTTP status; 0 when none came
    TransportFailure failure = TransportFailure::Final;  // of the last try
    Json body;                                           // the answer, when asked for
};

// A log line that a session running off the host's thread keeps, for the
// host's thread to log later (the host's logging may be called from that
// thread only).
struct KeptLine {
    std::string context;   // e.g. "QzManageHNAS::createFileSystemSnapshot"
    int level = 0;
    std::string text;      // the whole line, masked as it would have been logged
};

class ArraySession {
public:
    explicit ArraySession(unsigned long long jobId);

    // Keeps the credentials, reads the settings for the array of
    // `controlHost` and `port` (and the API key, when a key file is set for
    // it) and points the connection at https://address:port. Logs its own
    // failure line.
    bool open(const std::string& user, const std::string& password, const std::string& controlHost,
              const std::string& address, int port);
    bool isOpen() const { return open_; }
    // Points this session at the endpoint of `main` (open), with its
    // credentials and settings, on a connection of its own. Reads no
    // setting and logs nothing, so that it may then run on another thread.
    bool openLike(const ArraySession& main, std::string& cause);
    // From now on every line of this session goes to `lines` instead of the
    // log (null: to the log again).
    void keepLinesIn(std::vector<KeptLine>* lines) { kept_ = lines; }
    // Logs a line another session kept, as that session would have.
    void replay(const KeptLine& line);
    // Counts `count` more requests that may have changed the array, sent by
    // other sessions of the same client.
    void countChanges(unsigned long long count) { changesSent_ += count; }

    // Starts one operation call, e.g. "getAllSnapshots": names the log
    // context, refills the retry budget, re-arms the insecure warning.
    void beginOperation(const char* operation);

    // Sends `body` (when given) to `resource`, e.g. "filesystems?label=fs1",
    // repeating transport failures as `repeat` and the budget allow, and
    // busy answers as the budget allows (each one halves the window, each
    // other answer adds one back). True for
    // a 2xx answer, parsed into reply.body when the call `wants` a member of
    // it (nullptr: no body is read). Otherwise false with the cause;
    // reply.status then holds the HTTP status if one came.
    bool request(HttpMethod method, const std::string& resource, const Json* body, Repeat repeat,
                 const AnswerShape* wants, Reply& reply, std::string& cause);
    // Sends `body` (JSON text, may be empty) to `resource` once, as it is,
    // and keeps the whole answer whatever its status: a tool's check of what
    // the array does with a request. False, with the cause, when no answer
    // came.
    bool exchange(HttpMethod method, const std::string& resource, const std::string& body, HttpAnswer& answer,
                  std::string& cause);
    // Spends one retry: logs it with `cause`, waits `waitMs` (-1: the
    // back-off). False when the budget is spent.
    bool takeRetry(const std::string& cause, int waitMs = -1);
    // The requests in flight of the client this session works for, which
    // its answers narrow and widen (null: none).
    void shareWindow(InFlightWindow* window) { window_ = window; }
    InFlightWindow* window() const { return window_; }
    // Until the next beginOperation, retries are spent from `shared` (which
    // counts those already spent), so that sessions working for one
    // operation together spend one budget, as one session would.
    void shareRetries(std::atomic<int>* shared) { sharedRetries_ = shared; }
    int retriesUsed() const { return retriesUsed_; }
    void setRetriesUsed(int used) { retriesUsed_ = used; }
    // Counts the requests that may have changed the array (every one but a
    // GET) and every open: an answer read while this count stood still
    // still tells the array as this client left it.
    unsigned long long changesSent() const { return changesSent_; }

    // For a probe of the endpoint: the current operation's requests go once,
    // without retries, the next on a connection of its own.
    void probeOnce() {
        retries_ = false;
        connection_.freshConnectionNext();
    }
    // What libcurl reported of the last try of the last request, and how
    // that try ended.
    const TransferInfo& lastTransfer() const { return lastTransfer_; }
    TransportFailure lastFailure() const { return lastFailure_; }
    const ClientSettings& settings() const { return settings_; }
    const std::string& user() const { return user_; }
    bool usesApiKey() const { return !apiKey_.empty(); }

    // The one failure line of the operation (level -1).
    void fail(const std::string& cause);
    // A line of a fixed format whose values are up to three texts.
    void note(int level, const char* format, const std::string& first,
              const std::string& second = std::string(), const std::string& third = std::string());

    // `text` as a log line may hold it: the API key and the password masked.
    std::string masked(const std::string& text) const;

    ArraySession(const ArraySession&) = delete;
    ArraySession& operator=(const ArraySession&) = delete;

private:
    // Keeps a line (kept_ set): the text the log would have had.
    void keep(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    unsigned long long jobId_;
    EvDebug log_;
    HttpsConnection connection_;
    ClientSettings settings_;
    std::string user_;
    std::string password_;
    std::string apiKey_;
    std::string endpoint_;
    bool open_ = false;
    std::string operation_;
    std::string context_;
    int retriesUsed_ = 0;
    int nextDelayMs_ = 0;
    bool retries_ = true;
    bool warned_ = false;
    TransferInfo lastTransfer_;
    TransportFailure lastFailure_ = TransportFailure::Final;
    unsigned long long changesSent_ = 0;
    std::vector<KeptLine>* kept_ = nullptr;
    std::atomic<int>* sharedRetries_ = nullptr;
    InFlightWindow* window_ = nullptr;
};

}  // namespace managehnas
