#include "simkit/SimClient.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <mutex>

namespace simkit {
namespace {

const char kLoopback[] = "127.0.0.1";
const char kHexDigits[] = "0123456789ABCDEF";

// libcurl's global set-up, once per process before the first handle.
void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The target with each byte a URL cannot carry as it is (controls, space,
// "#", bytes past ASCII) written as %XX; the rest, "%" included, as given.
// E.g. "/admin/state#x" -> "/admin/state%23x".
std::string wireTarget(const std::string& target) {
    std::string wire;
    for (unsigned char c : target) {
        if (c <= 0x20 || c >= 0x7F || c == '#') {
            wire += '%';
            wire += kHexDigits[c >> 4];
            wire += kHexDigits[c & 0xF];
        } else {
            wire += static_cast<char>(c);
        }
    }
    return wire;
}

size_t appendBody(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// One line of the answer's head; a status line starts the fields afresh, so
// that those of a "100 Continue" before the final answer are not kept.
size_t appendHeader(char* data, size_t size, size_t count, void* out) {
    auto* headers = static_cast<HttpHeaders*>(out);
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
        headers->clear();
        return size * count;
    }
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
        const size_t value = line.find_first_not_of(" \t", colon + 1);
        headers->emplace_back(line.substr(0, colon), value == std::string::npos ? "" : line.substr(value));
    }
    return size * count;
}

// A list of header lines that frees itself.
class HeaderList {
public:
    ~HeaderList() { curl_slist_free_all(list_); }
    void add(const std::string& line) {
        curl_slist* grown = curl_slist_append(list_, line.c_str());
        if (grown != nullptr) list_ = grown;
    }
    curl_slist* get() const { return list_; }

private:
    curl_slist* list_ = nullptr;
};

}  // namespace

std::string HttpAnswer::header(const std::string& name) const {
    for (const auto& field : headers) {
        if (strcasecmp(field.first.c_str(), name.c_str()) == 0) return field.second;
    }
    return std::string();
}

// A request body: the whole of it, or pieces from a source sent chunked.
struct SimClient::Body {
    const std::string* whole = nullptr;
    const BodySource* source = nullptr;
    std::string contentType;
    std::string piece;    // of the source, not yet sent from `sent` on
    size_t sent = 0;
};

SimClient::SimClient(int port, const std::string& caFile) : port_(port), caFile_(caFile) {
    initialiseCurl();
    curl_ = curl_easy_init();
}

SimClient::~SimClient() {
    if (curl_ != nullptr) curl_easy_cleanup(static_cast<CURL*>(curl_));
}

SimClient::SimClient(SimClient&& other) noexcept
    : curl_(other.curl_), port_(other.port_), caFile_(std::move(other.caFile_)),
      connectSecs_(other.connectSecs_), stallSecs_(other.stallSecs_) {
    other.curl_ = nullptr;
}

SimClient& SimClient::operator=(SimClient&& other) noexcept {
    if (this != &other) {
        if (curl_ != nullptr) curl_easy_cleanup(static_cast<CURL*>(curl_));
        curl_ = other.curl_;
        other.curl_ = nullptr;
        port_ = other.port_;
        caFile_ = std::move(other.caFile_);
        connectSecs_ = other.connectSecs_;
        stallSecs_ = other.stallSecs_;
    }
    return *this;
}

HttpAnswer SimClient::get(const std::string& target, const HttpHeaders& headers) {
    return send("GET", target, headers, nullptr);
}

HttpAnswer SimClient::post(const std::string& target, const HttpHeaders& headers, const std::string& body,
                           const std::string& contentType) {
    Body whole;
    whole.whole = &body;
    whole.contentType = contentType;
    return send("POST", target, headers, &whole);
}

HttpAnswer SimClient::patch(const std::string& target, const HttpHeaders& headers, const std::string& body) {
    Body whole;
    whole.whole = &body;
    whole.contentType = "application/json";
    return send("PATCH", target, headers, &whole);
}

HttpAnswer SimClient::postChunked(const std::string& target, const HttpHeaders& headers, const BodySource& source,
                                  const std::string& contentType) {
    Body chunked;
    chunked.source = &source;
    chunked.contentType = contentType;
    return send("POST", target, headers, &chunked);
}

HttpAnswer SimClient::del(const std::string& target, const HttpHeaders& headers) {
    return send("DELETE", target, headers, nullptr);
}

HttpAnswer SimClient::send(const char* method, const std::string& target, const HttpHeaders& headers, Body* body) {
    HttpAnswer answer;
    CURL* curl = static_cast<CURL*>(curl_);
    if (curl == nullptr) {
        answer.error = "libcurl could not make a handle";
        return answer;
    }
    // The options go back to their defaults; the connection stays.
    curl_easy_reset(curl);
    const std::string url = "https://" + std::string(kLoopback) + ":" + std::to_string(port_) + wireTarget(target);
    char reason[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile_.c_str());
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(connectSecs_));
    // Less than a byte a second for the whole stall time ends the call.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(stallSecs_));
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, reason);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, appendHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer.headers);

    HeaderList fields;
    // A body goes at once, without waiting for a "100 Continue".
    fields.add("Expect:");
    for (const auto& header : headers) {
        // "Name;" is libcurl's spelling of a field with an empty value.
        fields.add(header.second.empty() ? header.first + ";" : header.first + ": " + header.second);
    }
    if (std::string(method) == "DELETE") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
    } else if (body == nullptr) {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    } else {
        fields.add("Content-Type: " + body->contentType);
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        // A body with another method (PATCH) goes as a POST would, named so.
        if (std::string(method) != "POST") curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
        if (body->whole != nullptr) {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->whole->data());
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->whole->size()));
        } else {
            fields.add("Transfer-Encoding: chunked");
            curl_read_callback read = [](char* buffer, size_t size, size_t count, void* in) -> size_t {
                Body* chunked = static_cast<Body*>(in);
                while (chunked->sent == chunked->piece.size()) {
                    chunked->piece.clear();
                    chunked->sent = 0;
                    if (!(*chunked->source)(chunked->piece)) return 0;   // the last chunk
                }
                const size_t n = std::min(size * count, chunked->piece.size() - chunked->sent);
                chunked->piece.copy(buffer, n, chunked->sent);
                chunked->sent += n;
                return n;
            };
            curl_easy_setopt(curl, CURLOPT_READFUNCTION, read);
            curl_easy_setopt(curl, CURLOPT_READDATA, body);
        }
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, fields.get());

    const CURLcode done = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (done != CURLE_OK || status == 0) {
        answer = HttpAnswer();
        answer.error = *reason != '\0' ? reason : curl_easy_strerror(done);
        return answer;
    }
    answer.status = static_cast<int>(status);
    return answer;
}

}  // namespace simkit
