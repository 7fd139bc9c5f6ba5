// One HTTPS connection to an array's management endpoint over a libcurl easy
// handle that lives as long as this object and keeps at most one connection
// alive, so that one connection serves the requests of one client. It sends
// JSON requests with the credentials in their headers (and nowhere else) and
// reports what came back, classifying transport failures by whether the
// request can have reached the array. It logs nothing itself.
#pragma once

#include <curl/curl.h>

#include <string>

#include "client/ClientSettings.h"

namespace managehnas {

enum class HttpMethod { Get, Post, Delete };

// Why no complete answer came back.
enum class TransportFailure {
    None,       // an HTTP answer arrived
    NotSent,    // nothing of the request left this host (connect failure or
                // time-out, reset during the TLS handshake): a retry is safe
    MaybeSent,  // the request went out but no answer came (reset, closed
                // without answer, time-out): only idempotent calls may repeat
    Final       // not worth repeating: resolution, certificate, bad answer
};

// What libcurl reports of one try: its result, the peer it reached, and the
// time from the try's start at which each phase ended, in microseconds (0:
// the phase did not end, or a kept-alive connection needed none).
struct TransferInfo {
    CURLcode code = CURLE_OK;
    long status = 0;             // HTTP status of the answer; 0 when none came
    std::string peerAddress;     // e.g. "192.0.2.10"; empty before a connect attempt
    long peerPort = 0;
    curl_off_t resolvedUs = 0;   // CURLINFO_NAMELOOKUP_TIME_T
    curl_off_t connectedUs = 0;  // CURLINFO_CONNECT_TIME_T
    curl_off_t tlsDoneUs = 0;    // CURLINFO_APPCONNECT_TIME_T
    curl_off_t totalUs = 0;      // CURLINFO_TOTAL_TIME_T
};

struct HttpAnswer {
    TransportFailure failure = TransportFailure::Final;
    long status = 0;        // HTTP status when failure is None
    std::string body;
    std::string cause;      // what went wrong when failure is not None
    TransferInfo transfer;
    // The request went out on a connection that had answered before: when
    // it closed before any answer, libcurl has already sent the request a
    // second time, unasked, on a new one.
    bool onKeptConnection = false;
    // The connection closed (or broke) before any answer came: the case
    // libcurl sends again on a kept-alive connection; not a time-out.
    bool droppedBeforeAnswer = false;
    // The answer's Retry-After header as sent, e.g. "5"; empty when none.
    std::string retryAfter;
};

// What proves the client to the array: an API key (sent as X-Api-Key) when
// one is set, else the user and password (X-Subsystem-User and
// X-Subsystem-Password).
struct Credentials {
    std::string user;
    std::string password;
    std::string apiKey;
};

// "GET", "POST", "DELETE".
const char* methodName(HttpMethod method);

class HttpsConnection {
public:
    HttpsConnection();
    ~HttpsConnection();

    // Sets the endpoint, e.g. baseUrl "https://192.0.2.10:8444/v7/storage/",
    // the credentials and the settings; drops any connection of an earlier
    // endpoint. False, with `cause`, when no handle can be made or a
    // credential holds a line break (it would forge further headers).
    bool open(const std::string& baseUrl, const Credentials& credentials, const ClientSettings& settings,
              std::string& cause);
    // Sends one request for `resource`, e.g. "filesystems?label=fs1" (one
    // that starts with "/" is a path from the endpoint's root, e.g.
    // "/v8/storage/file-devices/management-access/rest"), with
    // `body` as its JSON body (POST only; may be empty). `once` is for a
    // request that must not be repeated. libcurl silently sends a request
    // again when a reused connection closes before any answer, which is
    // exactly the case of a request that the array carried out before the
    // connection broke; such a request goes on the kept-alive connection
    // like any other, but with a body ("{}" when it has none) that libcurl
    // cannot rewind, so the unasked second send fails as MaybeSent instead.
    HttpAnswer send(HttpMethod method, const std::string& resource, const std::string& body, bool once);
    // Makes the next send() open a connection of its own (closing the
    // kept-alive one), so that its phase times are those of a first contact.
    void freshConnectionNext() { fresh_ = true; }
    bool isOpen() const { return curl_ != nullptr; }
    // The endpoint, e.g. "https://192.0.2.10:8444/v7/storage/".
    const std::string& baseUrl() const { return baseUrl_; }

    HttpsConnection(const HttpsConnection&) = delete;
    HttpsConnection& operator=(const HttpsConnection&) = delete;

private:
    void close();
    // Every option of the next transfer but its method and body; `sink`
    // takes the answer's body.
    void setTransfer(const std::string& url, void* sink, HttpAnswer& answer);

    CURL* curl_ = nullptr;
    curl_slist* headers_ = nullptr;
    std::string baseUrl_;
    ClientSettings settings_;
    bool fresh_ = false;
    // The last transfer got an answer: the next may reuse its connection.
    bool answered_ = false;
    char errorText_[CURL_ERROR_SIZE];
};

}  // namespace managehnas
