#include "tests/client/LocalArray.h"

#include <strings.h>
#include <sys/socket.h>

#include <chrono>
#include <set>
#include <stdexcept>
#include <string_view>
#include <thread>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include "arraysim/server/UrlText.h"
#include "tests/support/TestCertificates.h"

namespace clienttest {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

namespace {

const int kKeepAliveRequests = 100;
const size_t kBodyLimit = 64 << 20;
const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";

using TlsStream = beast::ssl_stream<tcp::socket>;

LocalRequest requestOf(const http::request<http::string_body>& message, int remotePort) {
    LocalRequest request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    request.path = arraysim::percentDecoded(std::string_view(request.target).substr(0, request.target.find('?')), false);
    request.body = message.body();
    request.remotePort = remotePort;
    for (const auto& field : message) {
        request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    return request;
}

// Sends the answer; false when the connection is to go (a write failed, or
// a streamed answer ended short).
bool send(TlsStream& stream, const LocalResponse& response, bool keepAlive) {
    beast::error_code ec;
    if (!response.stream) {
        http::response<http::string_body> out;
        out.version(11);
        out.result(static_cast<unsigned>(response.status));
        if (!response.contentType.empty()) out.set(http::field::content_type, response.contentType);
        for (const auto& field : response.headers) out.set(field.first, field.second);
        out.body() = response.body;
        out.keep_alive(keepAlive);
        out.prepare_payload();
        http::write(stream, out, ec);
        return !ec;
    }
    http::response<http::empty_body> head;
    head.version(11);
    head.result(static_cast<unsigned>(response.status));
    if (!response.contentType.empty()) head.set(http::field::content_type, response.contentType);
    for (const auto& field : response.headers) head.set(field.first, field.second);
    head.content_length(response.streamLength);
    head.keep_alive(keepAlive);
    http::response_serializer<http::empty_body> serializer(head);
    http::write_header(stream, serializer, ec);
    std::string piece;
    size_t sent = 0;
    bool more = true;
    while (!ec && more && sent < response.streamLength) {
        piece.clear();
        more = response.stream(sent, piece);
        net::write(stream, net::buffer(piece), ec);
        sent += piece.size();
        more = more && !piece.empty();
    }
    return !ec && sent == response.streamLength;
}

}  // namespace

struct LocalArray::Server {
    explicit Server(LocalArray& array) : owner(array) {}

    // Takes connections until the listener is shut down, each on a thread of its own.
    void accept() {
        for (;;) {
            tcp::socket socket(io);
            beast::error_code ec;
            acceptor.accept(socket, ec);
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (stopping) return;
                if (!ec) {
                    connections.emplace_back([this, s = std::move(socket)]() mutable { serve(std::move(s)); });
                    continue;
                }
            }
            // No descriptor left, say: a pause before the next try.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // The handshake, then requests answered in turn until the client closes,
    // asks to close, or has had its 100.
    void serve(tcp::socket socket) {
        beast::error_code ec;
        const int remotePort = socket.remote_endpoint(ec).port();
        const int fd = socket.native_handle();
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping) return;
            open.insert(fd);
        }
        TlsStream stream(std::move(socket), tls);
        stream.handshake(net::ssl::stream_base::server, ec);
        beast::flat_buffer buffer;
        for (int served = 1; !ec && served <= kKeepAliveRequests; ++served) {
            http::request_parser<http::string_body> parser;
            parser.body_limit(kBodyLimit);
            http::read_header(stream, buffer, parser, ec);
            if (!ec && !parser.is_done() && beast::iequals(parser.get()[http::field::expect], "100-continue")) {
                net::write(stream, net::buffer(kContinue, sizeof(kContinue) - 1), ec);
            }
            if (!ec) http::read(stream, buffer, parser, ec);
            if (ec) break;
            const LocalRequest request = requestOf(parser.get(), remotePort);
            {
                std::lock_guard<std::mutex> lock(owner.mutex_);
                owner.seen_.push_back(request);
            }
            LocalResponse response;
            owner.handler_(request, response);
            const bool keepAlive = parser.get().keep_alive() && served < kKeepAliveRequests;
            if (!send(stream, response, keepAlive) || !keepAlive) break;
        }
        // Forgotten before it closes (as the stream goes), so that stop()
        // never shuts down a descriptor number used again.
        std::lock_guard<std::mutex> lock(mutex);
        open.erase(fd);
    }

    // Wakes the listener and every connection waiting to read, and waits
    // for their threads.
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            ::shutdown(acceptor.native_handle(), SHUT_RDWR);
            for (int fd : open) ::shutdown(fd, SHUT_RDWR);
        }
        if (accepting.joinable()) accepting.join();
        for (std::thread& t : connections) t.join();
    }

    LocalArray& owner;
    net::io_context io;   // for the sockets; every operation on them waits in place
    net::ssl::context tls{net::ssl::context::tls_server};
    tcp::acceptor acceptor{io};
    std::thread accepting;
    std::mutex mutex;
    bool stopping = false;
    std::vector<std::thread> connections;
    std::set<int> open;   // descriptors of the connections being served
};

std::string LocalRequest::header(const std::string& name) const {
    for (const auto& field : headers) {
        if (strcasecmp(field.first.c_str(), name.c_str()) == 0) return field.second;
    }
    return std::string();
}

size_t LocalRequest::headerCount(const std::string& name) const {
    size_t count = 0;
    for (const auto& field : headers) count += strcasecmp(field.first.c_str(), name.c_str()) == 0 ? 1 : 0;
    return count;
}

bool LocalRequest::hasParam(const std::string& name) const {
    const size_t query = target.find('?');
    return query != std::string::npos && arraysim::parseQuery(std::string_view(target).substr(query + 1)).count(name) != 0;
}

std::string LocalRequest::param(const std::string& name) const {
    const size_t query = target.find('?');
    if (query == std::string::npos) return std::string();
    const arraysim::QueryParams params = arraysim::parseQuery(std::string_view(target).substr(query + 1));
    const auto found = params.find(name);
    return found == params.end() ? std::string() : found->second;
}

LocalArray::LocalArray(LocalHandler handler, const std::string& host)
    : handler_(std::move(handler)), server_(std::make_unique<Server>(*this)) {
    beast::error_code ec;
    server_->tls.use_certificate_chain_file(testsupport::serverCerts().cert, ec);
    if (!ec) server_->tls.use_private_key_file(testsupport::serverCerts().key, net::ssl::context::pem, ec);
    if (ec) throw std::runtime_error("cannot load the test certificate");
    const tcp::endpoint endpoint(net::ip::make_address(host, ec), 0);
    tcp::acceptor& acceptor = server_->acceptor;
    if (!ec) acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec) return;
    port_ = acceptor.local_endpoint(ec).port();
    server_->accepting = std::thread([this] { server_->accept(); });
}

LocalArray::~LocalArray() {
    release();
    server_->stop();
}

std::vector<LocalRequest> LocalArray::seen() const {
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

void answerJson(LocalResponse& response, int status, const std::string& json) {
    response.status = status;
    response.contentType = "application/json";
    response.body = json;
}

}  // namespace clienttest
