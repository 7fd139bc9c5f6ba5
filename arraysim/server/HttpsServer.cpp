#include "arraysim/server/HttpsServer.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <regex>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include "arraysim/server/AfterAnswer.h"
#include "arraysim/server/HttpReplies.h"
#include "arraysim/server/WorkerThreads.h"

namespace arraysim {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using error_code = beast::error_code;

namespace {

// How long a closed connection may still send: time for the client to take
// the answer (closing with unread data would reset the connection and could
// lose it), without reading a large body to its end.
const std::chrono::milliseconds kLinger(1000);
// A pause before accepting again when accept fails (no descriptor left).
const std::chrono::milliseconds kAcceptPause(50);
// Threads that wait on the connections; the work on them is small (TLS and
// parsing), handlers run elsewhere.
const int kEventThreads = 2;
// Bytes read at once while a kept-alive connection waits for a request.
const size_t kFirstRead = 1024;
const size_t kDrainRead = 65536;
const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";

struct Route {
    std::string method;
    std::regex pattern;
    HttpsServer::Handler plain;
    HttpsServer::HandlerWithContentReader withBody;
};

bool isParseError(const error_code& ec) { return ec.category() == http::make_error_code(http::error::bad_method).category(); }

}  // namespace

struct HttpsServer::Impl {
    explicit Impl(const HttpsLimits& l) : limits(l), workers(l.mostHandlers) {}

    void accept();
    AfterAnswer dispatch(httplib::Request& req, httplib::Response& res);

    const HttpsLimits limits;
    net::ssl::context tls{net::ssl::context::tls_server};
    net::io_context io;
    tcp::acceptor acceptor{io};
    net::steady_timer acceptPause{io};
    std::vector<Route> routes;
    Handler notFound;
    // Last, so that it ends first: running handlers finish while the
    // connections they answer still exist.
    WorkerThreads workers;
};

namespace {

// One connection: the handshake, then requests read whole (within their
// bounds) and answered in turn.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(HttpsServer::Impl& server, tcp::socket&& socket)
        : server_(server), stream_(std::move(socket), server.tls), buffer_(server.limits.headerBytes) {}

    void start() {
        net::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->handshake(); });
    }

private:
    beast::tcp_stream& tcp() { return beast::get_lowest_layer(stream_); }

    void handshake() {
        tcp().expires_after(server_.limits.handshake);
        stream_.async_handshake(net::ssl::stream_base::server, [self = shared_from_this()](error_code ec) {
            if (!ec) self->awaitRequest();
        });
    }

    // Waits, at most the idle time, for the first bytes of the next request.
    void awaitRequest() {
        if (buffer_.size() > 0) {
            readHead();
            return;
        }
        tcp().expires_after(server_.limits.idle);
        stream_.async_read_some(buffer_.prepare(std::min(kFirstRead, buffer_.max_size())),
                                [self = shared_from_this()](error_code ec, size_t n) {
                                    if (ec) return;
                                    self->buffer_.commit(n);
                                    self->readHead();
                                });
    }

    // The request's deadline starts here and covers its head and body.
    void readHead() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(server_.limits.headerBytes));
        parser_->body_limit(server_.limits.bodyBytes);
        tcp().expires_after(server_.limits.request);
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](error_code ec, size_t) { self->onHead(ec); });
    }

    void onHead(const error_code& ec) {
        if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
            refuse(431, kHeadTooLarge);
            return;
        }
        if (ec == http::error::body_limit) {
            refuse(413, kBodyTooLarge);
            return;
        }
        if (ec) {
            if (isParseError(ec)) refuse(400, kBadRequest);
            return;
        }
        const auto& head = parser_->get();
        if (static_cast<size_t>(std::distance(head.begin(), head.end())) > server_.limits.headerLines) {
            refuse(431, kHeadTooLarge);
            return;
        }
        if (!parser_->is_done() && beast::iequals(head[http::field::expect], "100-continue")) {
            net::async_write(stream_, net::buffer(kContinue, sizeof(kContinue) - 1),
                             [self = shared_from_this()](error_code e, size_t) {
                                 if (!e) self->readBody();
                             });
            return;
        }
        readBody();
    }

    void readBody() {
        http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](error_code ec, size_t) {
            if (ec == http::error::body_limit) {
                self->refuse(413, kBodyTooLarge);
            } else if (ec) {
                if (isParseError(ec)) self->refuse(400, kBodyUnreadable);
            } else {
                self->handle();
            }
        });
    }

    // Hands the request, read whole, to a worker; the answer comes back here.
    void handle() {
        tcp().expires_never();
        keepAlive_ = parser_->get().keep_alive();
        headRequest_ = parser_->get().method() == http::verb::head;
        toHttplib(parser_->release(), request_);
        server_.workers.enqueue([self = shared_from_this()] {
            httplib::Response res;
            const AfterAnswer fate = self->server_.dispatch(self->request_, res);
            net::post(self->stream_.get_executor(), [self, res = std::move(res), fate]() mutable {
                self->answer(res, fate);
            });
        });
    }

    static void toHttplib(http::request<http::string_body>&& message, httplib::Request& req) {
        req = httplib::Request{};
        req.method = std::string(message.method_string());
        req.target = std::string(message.target());
        req.version = "HTTP/1.1";
        const size_t query = req.target.find('?');
        req.path = httplib::detail::decode_url(req.target.substr(0, query), false);
        if (query != std::string::npos) httplib::detail::parse_query_text(req.target.substr(query + 1), req.params);
        for (const auto& field : message) {
            req.headers.emplace(std::string(field.name_string()), std::string(field.value()));
        }
        req.body = std::move(message.body());
    }

    void refuse(int status, const char* message) {
        headRequest_ = false;
        httplib::Response res;
        sendError(res, status, message);
        answer(res, AfterAnswer::Close);
    }

    void answer(httplib::Response& res, AfterAnswer fate) {
        // The request (a body of up to the limit) is not kept while the
        // connection waits for its next one.
        request_ = httplib::Request{};
        if (fate == AfterAnswer::Drop) {
            error_code ignored;
            tcp().socket().shutdown(tcp::socket::shutdown_both, ignored);
            tcp().close();
            return;
        }
        ++served_;
        const bool keep = fate == AfterAnswer::KeepOpen && keepAlive_ && served_ < server_.limits.keepAliveRequests;
        keepAlive_ = false;
        auto& out = answer_.emplace();
        const int status = res.status >= 100 && res.status <= 999 ? res.status : 500;
        out.version(11);
        out.result(static_cast<unsigned>(status));
        for (const auto& header : res.headers) out.insert(header.first, header.second);
        out.keep_alive(keep);
        if (status < 200 || status == 204 || status == 304) {
            out.body().clear();
        } else {
            out.content_length(res.body.size());
            if (!headRequest_) out.body() = std::move(res.body);
        }
        tcp().expires_after(server_.limits.write);
        http::async_write(stream_, out, [self = shared_from_this(), keep](error_code ec, size_t) {
            self->answer_.reset();
            if (ec) return;
            if (keep)
                self->awaitRequest();
            else
                self->closeGently();
        });
    }

    // No more writes, then what the client still sends is read and dropped
    // for a short while, then the connection goes.
    void closeGently() {
        error_code ignored;
        tcp().socket().shutdown(tcp::socket::shutdown_send, ignored);
        tcp().expires_after(kLinger);
        drain();
    }

    // Large reads: a client may send fast for the whole while.
    void drain() {
        if (sink_.empty()) sink_.resize(kDrainRead);
        tcp().async_read_some(net::buffer(sink_), [self = shared_from_this()](error_code ec, size_t) {
            if (!ec) self->drain();
        });
    }

    HttpsServer::Impl& server_;
    beast::ssl_stream<beast::tcp_stream> stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::optional<http::response<http::string_body>> answer_;
    httplib::Request request_;
    std::vector<char> sink_;   // what a closing connection still sends
    size_t served_ = 0;
    bool keepAlive_ = false;   // the request being handled asked for more
    bool headRequest_ = false;
};

}  // namespace

void HttpsServer::Impl::accept() {
    acceptor.async_accept(net::make_strand(io), [this](error_code ec, tcp::socket socket) {
        if (!acceptor.is_open()) return;
        if (ec) {
            acceptPause.expires_after(kAcceptPause);
            acceptPause.async_wait([this](error_code) { accept(); });
            return;
        }
        // An answer goes out as head and body; without this the body could
        // wait for the client's delayed acknowledgement (about 40 ms).
        error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        std::make_shared<Session>(*this, std::move(socket))->start();
        accept();
    });
}

AfterAnswer HttpsServer::Impl::dispatch(httplib::Request& req, httplib::Response& res) {
    takeAfterAnswer();
    const httplib::ContentReader reader(
        [&req](httplib::ContentReceiver receive) { return req.body.empty() || receive(req.body.data(), req.body.size()); },
        [](httplib::MultipartContentHeader, httplib::ContentReceiver) { return false; });
    try {
        // HEAD is answered as GET, without the body.
        const std::string method = req.method == "HEAD" ? "GET" : req.method;
        for (const Route& route : routes) {
            if (route.method != method || !std::regex_match(req.path, req.matches, route.pattern)) continue;
            if (route.plain)
                route.plain(req, res);
            else
                route.withBody(req, res, reader);
            if (res.status == -1) res.status = 200;
            return takeAfterAnswer();
        }
        req.matches = std::smatch();
        res.status = 404;
        if (notFound) notFound(req, res);
    } catch (const std::exception& e) {
        res = httplib::Response{};
        sendError(res, 500, e.what());
    }
    return takeAfterAnswer();
}

HttpsServer::HttpsServer(const HttpsLimits& limits) : impl_(std::make_unique<Impl>(limits)) {}

HttpsServer::~HttpsServer() = default;

bool HttpsServer::useCertificate(const std::string& certFile, const std::string& keyFile, std::string& error) {
    net::ssl::context& tls = impl_->tls;
    tls.set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 |
                    net::ssl::context::no_sslv3 | net::ssl::context::single_dh_use);
    error_code ec;
    tls.use_certificate_chain_file(certFile, ec);
    if (!ec) tls.use_private_key_file(keyFile, net::ssl::context::pem, ec);
    if (ec || SSL_CTX_check_private_key(tls.native_handle()) != 1) {
        error = "cannot use the certificate or key";
        return false;
    }
    // An idle connection gives its read and write buffers back.
    SSL_CTX_set_mode(tls.native_handle(), SSL_MODE_RELEASE_BUFFERS);
    return true;
}

void HttpsServer::Get(const std::string& pattern, Handler handler) {
    impl_->routes.push_back({"GET", std::regex(pattern), std::move(handler), nullptr});
}

void HttpsServer::Post(const std::string& pattern, HandlerWithContentReader handler) {
    impl_->routes.push_back({"POST", std::regex(pattern), nullptr, std::move(handler)});
}

void HttpsServer::Put(const std::string& pattern, HandlerWithContentReader handler) {
    impl_->routes.push_back({"PUT", std::regex(pattern), nullptr, std::move(handler)});
}

void HttpsServer::Patch(const std::string& pattern, HandlerWithContentReader handler) {
    impl_->routes.push_back({"PATCH", std::regex(pattern), nullptr, std::move(handler)});
}

void HttpsServer::Delete(const std::string& pattern, HandlerWithContentReader handler) {
    impl_->routes.push_back({"DELETE", std::regex(pattern), nullptr, std::move(handler)});
}

void HttpsServer::setNotFound(Handler handler) { impl_->notFound = std::move(handler); }

int HttpsServer::listen(const std::string& address, int port, std::string& error) {
    error_code ec;
    tcp::resolver resolver(impl_->io);
    const auto found = resolver.resolve(address, std::to_string(port), tcp::resolver::passive, ec);
    if (ec || found.empty()) {
        error = "cannot resolve " + address;
        return -1;
    }
    const tcp::endpoint endpoint = found.begin()->endpoint();
    tcp::acceptor& acceptor = impl_->acceptor;
    // SO_REUSEADDR lets a restart bind while old connections linger in
    // TIME_WAIT; it does not let two listeners share a port (SO_REUSEPORT
    // would, and is not set).
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec) {
        error = ec.message();
        error_code ignored;
        acceptor.close(ignored);
        return -1;
    }
    return acceptor.local_endpoint().port();
}

void HttpsServer::run() {
    impl_->accept();
    std::vector<std::thread> threads;
    for (int i = 1; i < kEventThreads; ++i) threads.emplace_back([this] { impl_->io.run(); });
    impl_->io.run();
    for (std::thread& t : threads) t.join();
    impl_->workers.shutdown();
}

void HttpsServer::stop() {
    net::post(impl_->io, [this] {
        error_code ignored;
        impl_->acceptor.close(ignored);
    });
    impl_->io.stop();
}

}  // namespace arraysim
