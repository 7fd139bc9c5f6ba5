#include "tests/client/LocalArray.h"

#include <chrono>
#include <stdexcept>

#include "tests/client/TestCerts.h"

namespace clienttest {

LocalArray::LocalArray(LocalHandler handler, const std::string& host)
    : handler_(std::move(handler)),
      server_(serverCerts().cert.c_str(), serverCerts().key.c_str()) {
    if (!server_.is_valid()) throw std::runtime_error("cannot load the test certificate");
    server_.set_keep_alive_max_count(100);
    auto serve = [this](const httplib::Request& request, httplib::Response& response) {
        this->serve(request, response);
    };
    server_.Get(".*", serve);
    server_.Post(".*", serve);
    server_.Delete(".*", serve);
    port_ = server_.bind_to_any_port(host.c_str());
    if (port_ <= 0) {
        port_ = 0;
        return;
    }
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    for (int i = 0; i < 500 && !server_.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

LocalArray::~LocalArray() {
    release();
    server_.stop();
    if (thread_.joinable()) thread_.join();
}

void LocalArray::serve(const httplib::Request& request, httplib::Response& response) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back(SeenRequest{request.method, request.target, request.body, request.remote_port,
                                    request.headers});
    }
    handler_(request, response);
}

std::vector<SeenRequest> LocalArray::seen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

void LocalArray::stall() {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait_for(lock, std::chrono::seconds(10), [this] { return isReleased_; });
}

void LocalArray::release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        isReleased_ = true;
    }
    released_.notify_all();
}

void answerJson(httplib::Response& response, int status, const std::string& json) {
    response.status = status;
    response.set_content(json, "application/json");
}

}  // namespace clienttest
