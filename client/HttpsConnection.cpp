#include "client/HttpsConnection.h"

#include <strings.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

namespace managehnas {

namespace {

// An answer larger than this is refused rather than held in memory.
constexpr size_t kMaxAnswerBytes = 32u * 1024u * 1024u;

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct AnswerSink {
    CURL* curl;
    std::string* body;
    bool tooLarge;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
    AnswerSink* sink = static_cast<AnswerSink*>(user);
    const size_t bytes = size * count;
    if (sink->body->size() + bytes > kMaxAnswerBytes) {
        sink->tooLarge = true;
        return 0;
    }
    try {
        // An answer of announced length gets its room at once: growing by
        // doubling would hold the old and the new copy together, twice the
        // answer's size, at the end.
        curl_off_t announced = -1;
        if (sink->body->empty() &&
            curl_easy_getinfo(sink->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
            announced > 0) {
            if (static_cast<size_t>(announced) > kMaxAnswerBytes) {
                sink->tooLarge = true;
                return 0;
            }
            sink->body->reserve(static_cast<size_t>(announced));
        }
        sink->body->append(data, bytes);
    } catch (...) {
        sink->tooLarge = true;
        return 0;
    }
    return bytes;
}

// The value of a Retry-After header of the answer, e.g. "5" from
// "Retry-After: 5\r\n"; libcurl hands over one header line per call. A
// value longer than any the client reads is kept cut, and refused later.
constexpr char kRetryAfterName[] = "retry-after:";
constexpr size_t kMaxHeaderValue = 64;

size_t collectHeader(char* data, size_t size, size_t count, void* user) {
    std::string* retryAfter = static_cast<std::string*>(user);
    const size_t bytes = size * count;
    const size_t nameLength = sizeof(kRetryAfterName) - 1;
    if (bytes < nameLength || strncasecmp(data, kRetryAfterName, nameLength) != 0) return bytes;
    size_t start = nameLength;
    size_t end = bytes;
    while (start < end && (data[start] == ' ' || data[start] == '\t')) ++start;
    while (end > start && (data[end - 1] == '\r' || data[end - 1] == '\n' || data[end - 1] == ' ' ||
                           data[end - 1] == '\t'))
        --end;
    try {
        retryAfter->assign(data + start, std::min(end - start, kMaxHeaderValue));
    } catch (...) {
        retryAfter->clear();
    }
    return bytes;
}

// The body of a request that must not repeat, handed to libcurl piece by
// piece. It cannot be rewound: when libcurl wants to send the request again
// on a fresh connection (it does so, unasked, when a reused connection
// closes before any answer) the rewind fails and the transfer ends with
// CURLE_SEND_FAIL_REWIND instead of a second request.
struct OnceBody {
    const std::string* text;
    size_t sent;
};

size_t readOnceBody(char* buffer, size_t size, size_t count, void* user) {
    OnceBody* body = static_cast<OnceBody*>(user);
    const size_t room = size * count;
    const size_t left = body->text->size() - body->sent;
    const size_t bytes = left < room ? left : room;
    body->text->copy(buffer, bytes, body->sent);
    body->sent += bytes;
    return bytes;
}

int refuseRewind(void*, curl_off_t, int) { return CURL_SEEKFUNC_FAIL; }

void readTransfer(CURL* c, CURLcode code, long status, TransferInfo& transfer) {
    transfer.code = code;
    transfer.status = status;
    const char* peer = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_PRIMARY_IP, &peer) == CURLE_OK && peer != nullptr) transfer.peerAddress = peer;
    curl_easy_getinfo(c, CURLINFO_PRIMARY_PORT, &transfer.peerPort);
    curl_easy_getinfo(c, CURLINFO_NAMELOOKUP_TIME_T, &transfer.resolvedUs);
    curl_easy_getinfo(c, CURLINFO_CONNECT_TIME_T, &transfer.connectedUs);
    curl_easy_getinfo(c, CURLINFO_APPCONNECT_TIME_T, &transfer.tlsDoneUs);
    curl_easy_getinfo(c, CURLINFO_TOTAL_TIME_T, &transfer.totalUs);
}

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos || text.find('\0') != std::string::npos;
}

// Failures after which no answer came back and the same request may go again.
// "https://192.0.2.10:8444/v7/storage/" -> "https://192.0.2.10:8444".
std::string rootOf(const std::string& baseUrl) {
    const size_t scheme = baseUrl.find("://");
    const size_t path = baseUrl.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return path == std::string::npos ? baseUrl : baseUrl.substr(0, path);
}

bool isTransient(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_FAIL_REWIND:
        case CURLE_SSL_CONNECT_ERROR:
            return true;
        default:
            return false;
    }
}

const char* describe(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "cannot resolve the array's address";
        case CURLE_COULDNT_CONNECT:
            return "cannot connect";
        case CURLE_OPERATION_TIMEDOUT:
            return "time-out";
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_SEND_FAIL_REWIND:
            return "connection broken without an answer";
        case CURLE_SSL_CONNECT_ERROR:
            return "TLS handshake failed";
        case CURLE_PEER_FAILED_VERIFICATION:
            return "TLS certificate of the array not trusted";
        case CURLE_SSL_CACERT_BADFILE:
            return "TLS CA file unusable";
        case CURLE_WRITE_ERROR:
            return "answer too large";
        default:
            return "transport failure";
    }
}

// The method, and the body a POST sends: once, from `onceBody` (a request
// that must not repeat), or copied for libcurl to send again if it must.
void setMethod(CURL* c, HttpMethod method, const std::string& body, bool once, OnceBody& onceBody) {
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr));
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr));
    curl_easy_setopt(c, CURLOPT_READFUNCTION, static_cast<curl_read_callback>(nullptr));
    curl_easy_setopt(c, CURLOPT_SEEKFUNCTION, static_cast<curl_seek_callback>(nullptr));
    switch (method) {
        case HttpMethod::Get:
            curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
            break;
        case HttpMethod::Post:
            curl_easy_setopt(c, CURLOPT_POST, 1L);
            if (once) {
                curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(onceBody.text->size()));
                curl_easy_setopt(c, CURLOPT_READFUNCTION, readOnceBody);
                curl_easy_setopt(c, CURLOPT_READDATA, &onceBody);
                curl_easy_setopt(c, CURLOPT_SEEKFUNCTION, refuseRewind);
            } else {
                curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
                curl_easy_setopt(c, CURLOPT_COPYPOSTFIELDS, body.c_str());
            }
            break;
        case HttpMethod::Delete:
            curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
            curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "DELETE");
            break;
    }
}

// A transfer that got no whole answer: whether the request may have gone
// out, and why it failed.
void describeFailure(CURL* c, CURLcode code, long status, const char* errorText, HttpAnswer& answer) {
    long requestBytes = 0;
    curl_easy_getinfo(c, CURLINFO_REQUEST_SIZE, &requestBytes);
    answer.droppedBeforeAnswer = status == 0 && (code == CURLE_GOT_NOTHING || code == CURLE_SEND_ERROR ||
                                                 code == CURLE_RECV_ERROR);
    if (isTransient(code) && status == 0)
        answer.failure = requestBytes > 0 ? TransportFailure::MaybeSent : TransportFailure::NotSent;
    else
        answer.failure = TransportFailure::Final;
    answer.body.clear();
    answer.retryAfter.clear();
    answer.cause = std::string(describe(code)) + " (" + (errorText[0] != '\0' ? errorText : curl_easy_strerror(code)) + ")";
    if (code == CURLE_OPERATION_TIMEDOUT && status != 0) answer.cause += " after a partial answer";
}

}  // namespace

const char* methodName(HttpMethod method) {
    switch (method) {
        case HttpMethod::Get:
            return "GET";
        case HttpMethod::Post:
            return "POST";
        case HttpMethod::Delete:
            return "DELETE";
    }
    return "GET";
}

HttpsConnection::HttpsConnection() { errorText_[0] = '\0'; }

HttpsConnection::~HttpsConnection() { close(); }

void HttpsConnection::close() {
    if (curl_ != nullptr) curl_easy_cleanup(curl_);
    curl_ = nullptr;
    if (headers_ != nullptr) curl_slist_free_all(headers_);
    headers_ = nullptr;
}

bool HttpsConnection::open(const std::string& baseUrl, const Credentials& credentials,
                           const ClientSettings& settings, std::string& cause) {
    close();
    baseUrl_ = baseUrl;
    settings_ = settings;
    const bool byKey = !credentials.apiKey.empty();
    if (byKey ? hasLineBreak(credentials.apiKey)
              : hasLineBreak(credentials.user) || hasLineBreak(credentials.password)) {
        cause = byKey ? "the API key holds a line break" : "the user name or the password holds a line break";
        return false;
    }
    globalInit();
    curl_ = curl_easy_init();
    if (curl_ == nullptr) {
        cause = "cannot make a libcurl handle";
        return false;
    }
    std::vector<std::string> lines = {
        "Content-Type: application/json",
        "Accept: application/json",
        "Expect:",   // no 100-continue round trip
    };
    if (byKey) {
        lines.push_back("X-Api-Key: " + credentials.apiKey);
    } else {
        lines.push_back("X-Subsystem-User: " + credentials.user);
        lines.push_back("X-Subsystem-Password: " + credentials.password);
    }
    for (const std::string& line : lines) {
        curl_slist* grown = curl_slist_append(headers_, line.c_str());
        if (grown == nullptr) {
            close();
            cause = "cannot build the request headers";
            return false;
        }
        headers_ = grown;
    }
    return true;
}

void HttpsConnection::setTransfer(const std::string& url, void* sink, HttpAnswer& answer) {
    CURL* c = curl_;
    errorText_[0] = '\0';
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(c, CURLOPT_MAXCONNECTS, 1L);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText_);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, sink);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &answer.retryAfter);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, 1000L * settings_.connectTimeoutSecs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, 1000L * settings_.requestTimeoutSecs);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, settings_.insecure ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, settings_.insecure ? 0L : 2L);
    if (!settings_.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, settings_.caFile.c_str());
    curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, fresh_ ? 1L : 0L);
    answer.onKeptConnection = answered_ && !fresh_;
    fresh_ = false;
}

HttpAnswer HttpsConnection::send(HttpMethod method, const std::string& resource,
                                 const std::string& body, bool once) {
    HttpAnswer answer;
    if (curl_ == nullptr) {
        answer.cause = "no connection";
        return answer;
    }
    const std::string url = resource.rfind('/', 0) == 0 ? rootOf(baseUrl_) + resource : baseUrl_ + resource;
    AnswerSink sink{curl_, &answer.body, false};
    setTransfer(url, &sink, answer);
    // libcurl re-sends unasked only a request whose body went out, so a
    // request that must not repeat always has one.
    static const std::string kEmptyBody = "{}";
    OnceBody onceBody{body.empty() ? &kEmptyBody : &body, 0};
    setMethod(curl_, method, body, once, onceBody);

    const CURLcode code = curl_easy_perform(curl_);
    long status = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
    readTransfer(curl_, code, status, answer.transfer);
    answered_ = code == CURLE_OK;
    if (code == CURLE_OK) {
        answer.failure = TransportFailure::None;
        answer.status = status;
        return answer;
    }
    describeFailure(curl_, code, status, errorText_, answer);
    return answer;
}

}  // namespace managehnas
