// A small HTTPS server on 127.0.0.1 (Boost.Beast, a thread per connection)
// that answers as the test's handler says: for the cases the simulator
// cannot make (malformed JSON, a missing field, a stall, an echoed
// password, an answer cut short). It records every request.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace clienttest {

// One request as the local array received it.
struct LocalRequest {
    std::string method;      // e.g. "GET"
    std::string target;      // path and query as sent, e.g. "/v7/storage/filesystems?label=fs1"
    std::string path;        // the target before "?", decoded
    std::string body;
    int remotePort = 0;      // the client's side of the connection
    std::vector<std::pair<std::string, std::string>> headers;   // as sent, in order

    // The first value of the header `name` (any case); "" when absent.
    std::string header(const std::string& name) const;
    size_t headerCount(const std::string& name) const;
    bool hasParam(const std::string& name) const;
    // The first value of the query parameter `name`, decoded; "" when absent.
    std::string param(const std::string& name) const;
};

// A handler's answer: a status and a body with its type, or a body sent in
// pieces as it is made.
struct LocalResponse {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;   // more header fields, e.g. {"Retry-After", "5"}
    // When set, in place of `body`: `streamLength` bytes are announced, and
    // stream(offset, piece) gives the next piece from `offset` on; it returns
    // false after the last piece it gives. An answer that ends short of
    // `streamLength` drops the connection after what was sent.
    size_t streamLength = 0;
    std::function<bool(size_t offset, std::string& piece)> stream;
};

using LocalHandler = std::function<void(const LocalRequest&, LocalResponse&)>;

class LocalArray {
public:
    // Serves on `host` ("127.0.0.1" or "::1") with the test server
    // certificate; `handler` answers every request, on the thread of its
    // connection. A connection serves up to 100 requests. port() is 0 when
    // the address cannot be bound.
    explicit LocalArray(LocalHandler handler, const std::string& host = "127.0.0.1");
    ~LocalArray();

    int port() const { return port_; }
    std::vector<LocalRequest> seen() const;
    // For a handler: blocks until release() (or the object dies), at most
    // 10 s, so that a client time-out can be watched.
    void stall();
    void release();

    LocalArray(const LocalArray&) = delete;
    LocalArray& operator=(const LocalArray&) = delete;

    // The listener and the connections' threads.
    struct Server;

private:
    LocalHandler handler_;
    std::unique_ptr<Server> server_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool isReleased_ = false;
    std::vector<LocalRequest> seen_;
};

// Sets a JSON answer: the status, the text, "application/json".
void answerJson(LocalResponse& response, int status, const std::string& json);

}  // namespace clienttest
