// A small HTTPS server on 127.0.0.1 (cpp-httplib) that answers as the test's
// handler says: for the cases the simulator cannot make (malformed JSON, a
// missing field, a stall, an echoed password). It records every request.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

namespace clienttest {

struct SeenRequest {
    std::string method;
    std::string target;      // path and query as sent, e.g. "/v7/storage/filesystems?label=fs1"
    std::string body;
    int remotePort;          // the client's side of the connection
    httplib::Headers headers;
};

using LocalHandler = std::function<void(const httplib::Request&, httplib::Response&)>;

class LocalArray {
public:
    // Serves on `host` ("127.0.0.1" or "::1") with the test server
    // certificate; `handler` answers every GET, POST and DELETE. port() is 0
    // when the address cannot be bound.
    explicit LocalArray(LocalHandler handler, const std::string& host = "127.0.0.1");
    ~LocalArray();

    int port() const { return port_; }
    std::vector<SeenRequest> seen() const;
    // For a handler: blocks until release() (or the object dies), at most
    // 10 s, so that a client time-out can be watched.
    void stall();
    void release();

    LocalArray(const LocalArray&) = delete;
    LocalArray& operator=(const LocalArray&) = delete;

private:
    void serve(const httplib::Request& request, httplib::Response& response);

    LocalHandler handler_;
    httplib::SSLServer server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool isReleased_ = false;
    std::vector<SeenRequest> seen_;
};

// Sets a JSON answer: response.set_content(json, "application/json").
void answerJson(httplib::Response& response, int status, const std::string& json);

}  // namespace clienttest
