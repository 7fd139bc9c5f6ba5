// An HTTPS client of one running simulator, over libcurl: the admin calls
// go through it, and tests send through it what they send a simulator. It
// verifies the simulator's certificate against a CA file and keeps its one
// connection alive from call to call (a new client, a new connection).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace simkit {

// Header fields in the order sent or received, e.g. {"X-Admin-Token", "s3cret"}.
using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// One answer, or why none came.
struct HttpAnswer {
    int status = 0;          // 0: no answer (refused, closed without one, timed out)
    std::string body;
    HttpHeaders headers;     // of the final answer, as received
    std::string error;       // why there is no answer, e.g. "Server returned nothing (no headers, no data)"

    explicit operator bool() const { return status != 0; }
    // The first value of the field `name` (any case); "" when absent.
    std::string header(const std::string& name) const;
};

// A request body sent chunked, piece by piece: each call puts the next piece
// in `piece` and returns true, or returns false once there is no more.
using BodySource = std::function<bool(std::string& piece)>;

class SimClient {
public:
    // For the simulator on 127.0.0.1:`port`, verified with `caFile` (ca.pem);
    // 5 s to connect, and a call fails once nothing moved for 10 s.
    SimClient(int port, const std::string& caFile);
    ~SimClient();
    SimClient(SimClient&& other) noexcept;
    SimClient& operator=(SimClient&& other) noexcept;
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    void setConnectTimeout(int secs) { connectSecs_ = secs; }
    void setStallTimeout(int secs) { stallSecs_ = secs; }

    // `target` is the path and query as they go on the wire, e.g.
    // "/v7/storage/filesystems?label=fs1". A header with an empty value is
    // sent with an empty value, not left out.
    HttpAnswer get(const std::string& target, const HttpHeaders& headers = {});
    HttpAnswer post(const std::string& target, const HttpHeaders& headers, const std::string& body,
                    const std::string& contentType = "application/json");
    HttpAnswer patch(const std::string& target, const HttpHeaders& headers, const std::string& body);
    HttpAnswer postChunked(const std::string& target, const HttpHeaders& headers, const BodySource& source,
                           const std::string& contentType = "application/json");
    HttpAnswer del(const std::string& target, const HttpHeaders& headers = {});

private:
    struct Body;
    HttpAnswer send(const char* method, const std::string& target, const HttpHeaders& headers, Body* body);

    void* curl_ = nullptr;   // the easy handle, whose connection calls share
    int port_ = 0;
    std::string caFile_;
    int connectSecs_ = 5;
    int stallSecs_ = 10;
};

}  // namespace simkit
