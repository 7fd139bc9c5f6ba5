#include "client/ArraySession.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "host/WbUtils.h"
#include "client/ApiKeyFile.h"
#include "client/ClientMessages.h"
#include "client/EndpointText.h"
#include "client/Workers.h"

namespace managehnas {

namespace {

constexpr int kMaxBackoffMs = 60000;

// What a status says when the array adds no message (v7 documents 400 and
// 501 without a body, v8 adds 403).
const char* statusMeaning(long status) {
    switch (status) {
        case 401:
            return " (the array refused the credentials)";
        case 403:
            return " (the array forbids the call: a read-only API key, a virtual server out of the key's reach, "
                   "or a feature not licensed)";
        case 501:
            return " (the array does not support the call)";
        case 429:
        case 503:
            return " (the array is busy)";
        default:
            return "";
    }
}

// "HTTP status 400 on POST filesystem-snapshots: errorMsg [Snapshot exists]
// detail [...]", with what the array's error body says, if anything. An
// empty body or one that is not JSON adds nothing: the status says it all.
std::string httpError(long status, const std::string& what, const std::string& body) {
    std::string cause = "HTTP status " + std::to_string(status) + " on " + what + statusMeaning(status);
    Json error;
    std::string ignored;
    if (!parseObject(body, error, ignored)) return cause;
    std::string message;
    std::string detail;
    if (readText(error, "errorMsg", false, message, "error", ignored) && !message.empty())
        cause += ": errorMsg [" + message + "]";
    const auto details = error.find("errorDetail");
    if (details != error.end() && details->is_object() &&
        readText(*details, "message", false, detail, "error", ignored) && !detail.empty())
        cause += " detail [" + detail + "]";
    return cause;
}

}  // namespace

bool isBusyStatus(long status) { return status == 503 || status == 429; }

int retryAfterMillis(const std::string& header) {
    if (header.empty()) return -1;
    long long millis = 0;
    for (char c : header) {
        if (c < '0' || c > '9') return -1;
        if (millis < kMaxRetryAfterMs) millis = millis * 10 + (c - '0') * 1000LL;
    }
    return millis >= kMaxRetryAfterMs ? kMaxRetryAfterMs : static_cast<int>(millis);
}

ArraySession::ArraySession(unsigned long long jobId) : jobId_(jobId) { beginOperation("init"); }

void ArraySession::beginOperation(const char* operation) {
    operation_ = operation;
    context_ = std::string(kContextPrefix) + operation;
    retriesUsed_ = 0;
    sharedRetries_ = nullptr;
    nextDelayMs_ = settings_.retryBackoffMs;
    retries_ = true;
    warned_ = false;
}

bool ArraySession::open(const std::string& user, const std::string& password, const std::string& controlHost,
                        const std::string& address, int port) {
    open_ = false;
    ++changesSent_;
    user_ = user;
    password_ = password;
    apiKey_.clear();
    std::vector<std::string> notes;
    settings_ = readClientSettings(notes, controlHost, port);
    nextDelayMs_ = settings_.retryBackoffMs;
    for (const std::string& text : notes) note(0, kSettingIgnored, text);

    std::string cause;
    if (!endpointFor(address, port, endpoint_, cause)) {
        fail(cause);
        return false;
    }
    bool othersMayRead = false;
    if (!settings_.apiKeyFile.empty() && !readApiKeyFile(settings_.apiKeyFile, apiKey_, othersMayRead, cause)) {
        fail(cause);
        return false;
    }
    if (othersMayRead) note(0, kKeyFileReadable, settings_.apiKeyFile);
    // Without a key the user must name someone: an empty one would only
    // earn a 401 on the first request, far from the cause.
    if (apiKey_.empty() && user.empty()) {
        fail("no credentials for control host " + controlHost + " port " + std::to_string(port) +
             ": the user is empty and no API key file is set (" + kApiKeyFileKey + " in [" +
             endpointSection(controlHost, port) + "] or [" + kClientSection + "])");
        return false;
    }
    const std::string baseUrl = endpoint_ + "/" + settings_.apiVersion + "/storage/";
    if (!connection_.open(baseUrl, Credentials{user, password, apiKey_}, settings_, cause)) {
        fail(cause);
        return false;
    }
    const std::string caFile = settings_.caFile.empty() ? "system default" : settings_.caFile;
    if (apiKey_.empty())
        note(1, kInitialised, baseUrl, user_, caFile);
    else
        note(1, kInitialisedWithKey, baseUrl, settings_.apiKeyFile, caFile);
    open_ = true;
    return true;
}

bool ArraySession::openLike(const ArraySession& main, std::string& cause) {
    open_ = false;
    user_ = main.user_;
    password_ = main.password_;
    apiKey_ = main.apiKey_;
    endpoint_ = main.endpoint_;
    settings_ = main.settings_;
    nextDelayMs_ = settings_.retryBackoffMs;
    if (!main.open_) {
        cause = "no array endpoint (init failed or was not called)";
        return false;
    }
    if (!connection_.open(main.connection_.baseUrl(), Credentials{user_, password_, apiKey_}, settings_, cause))
        return false;
    open_ = true;
    return true;
}

void ArraySession::keep(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    kept_->push_back(KeptLine{context_, level, std::move(text)});
}

void ArraySession::replay(const KeptLine& line) {
    log_.DebugLvl(line.context.c_str(), line.level, jobId_, "%s", line.text.c_str());
}

bool ArraySession::request(HttpMethod method, const std::string& resource, const Json* body,
                           Repeat repeat, const AnswerShape* wants, Reply& reply, std::string& cause) {
    reply = Reply();
    const std::string what = std::string(methodName(method)) + " " + resource;
    if (!open_) {
        cause = "no array endpoint (init failed or was not called)";
        return false;
    }
    std::string text;
    if (body != nullptr && !serialise(*body, text, cause)) return false;
    if (settings_.insecure && !warned_) {
        note(0, kInsecureWarning, operation_);
        warned_ = true;
    }
    if (method != HttpMethod::Get) ++changesSent_;
    HttpAnswer answer;
    // libcurl sends a request again, unasked and unseen, when a kept-alive
    // connection closes before any answer; a request on a new connection
    // gets that second send here, so that a connection dropped once costs no
    // retry whichever connection the request met (how many requests shared
    // it before depends on how many were in flight).
    bool sentAgainUnseen = false;
    for (;;) {
        answer = connection_.send(method, resource, text, repeat == Repeat::OnlyIfNotSent);
        lastTransfer_ = answer.transfer;
        lastFailure_ = answer.failure;
        reply.failure = answer.failure;
        if (answer.failure == TransportFailure::None && !isBusyStatus(answer.status)) break;
        if (answer.failure == TransportFailure::None) {
            // Busy: the array refused the request before handling it, so
            // it is repeated whatever it asks, after the wait the array
            // asks for, with fewer requests in flight.
            if (window_ != nullptr) window_->busy();
            cause = httpError(answer.status, what, answer.body);
            if (takeRetry(cause, retryAfterMillis(answer.retryAfter))) continue;
            reply.status = answer.status;
            return false;
        }
        cause = answer.cause + " on " + what + " at " + endpoint_;
        const bool repeatable = answer.failure == TransportFailure::NotSent ||
                                (answer.failure == TransportFailure::MaybeSent && repeat == Repeat::Idempotent);
        if (repeatable && answer.droppedBeforeAnswer && !answer.onKeptConnection && !sentAgainUnseen && retries_) {
            sentAgainUnseen = true;
            continue;
        }
        if (!repeatable || !takeRetry(cause)) return false;
    }
    // A retry that got an answer leaves no cause behind: the caller reads a
    // set cause as this request's failure.
    cause.clear();
    if (window_ != nullptr) window_->success();
    reply.status = answer.status;
    if (answer.status < 200 || answer.status > 299) {
        cause = httpError(answer.status, what, answer.body);
        return false;
    }
    if (wants == nullptr) return true;
    if (!parseBounded(answer.body, wants, reply.body, cause)) {
        cause += " of " + what;
        return false;
    }
    return true;
}

bool ArraySession::exchange(HttpMethod method, const std::string& resource, const std::string& body,
                            HttpAnswer& answer, std::string& cause) {
    if (!open_) {
        cause = "no array endpoint (init failed or was not called)";
        return false;
    }
    if (settings_.insecure && !warned_) {
        note(0, kInsecureWarning, operation_);
        warned_ = true;
    }
    if (method != HttpMethod::Get) ++changesSent_;
    answer = connection_.send(method, resource, body, method != HttpMethod::Get);
    lastTransfer_ = answer.transfer;
    lastFailure_ = answer.failure;
    if (answer.failure == TransportFailure::None) return true;
    cause = answer.cause + " on " + methodName(method) + " " + resource + " at " + endpoint_;
    return false;
}

bool ArraySession::takeRetry(const std::string& cause, int waitMs) {
    if (!retries_) return false;
    int used = 0;
    if (sharedRetries_ != nullptr) {
        used = sharedRetries_->fetch_add(1) + 1;
        if (used > settings_.retryCount) {
            sharedRetries_->fetch_sub(1);
            return false;
        }
    } else {
        if (retriesUsed_ >= settings_.retryCount) return false;
        used = ++retriesUsed_;
    }
    const int delay = waitMs >= 0 ? waitMs : nextDelayMs_;
    if (kept_ != nullptr)
        keep(1, kRetrying, operation_.c_str(), masked(cause).c_str(), used, settings_.retryCount, delay);
    else
        log_.DebugLvl(context_.c_str(), 1, jobId_, kRetrying, operation_.c_str(), masked(cause).c_str(), used,
                      settings_.retryCount, delay);
    if (delay > 0) WBSLEEP_InTeRnAl(delay, __FILE__, __LINE__);
    nextDelayMs_ = nextDelayMs_ >= kMaxBackoffMs / 2 ? kMaxBackoffMs : nextDelayMs_ * 2;
    return true;
}

void ArraySession::fail(const std::string& cause) {
    std::string text = cause;
    if (retriesUsed_ > 0) text += " (after " + std::to_string(retriesUsed_) + " retries)";
    if (kept_ != nullptr)
        keep(-1, kOperationFailed, operation_.c_str(), masked(text).c_str());
    else
        log_.DebugLvl(context_.c_str(), -1, jobId_, kOperationFailed, operation_.c_str(), masked(text).c_str());
}

void ArraySession::note(int level, const char* format, const std::string& first,
                        const std::string& second, const std::string& third) {
    if (kept_ != nullptr)
        keep(level, format, masked(first).c_str(), masked(second).c_str(), masked(third).c_str());
    else
        log_.DebugLvl(context_.c_str(), level, jobId_, format, masked(first).c_str(), masked(second).c_str(),
                      masked(third).c_str());
}

std::string ArraySession::masked(const std::string& text) const {
    return loggable(loggable(text, apiKey_), password_);
}

}  // namespace managehnas
