#include "arraysim/server/HttpsServer.h"

#include <malloc.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <list>
#include <mutex>
#include <optional>
#include <regex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include "arraysim/server/ByteBudget.h"
#include "arraysim/server/HttpReplies.h"
#include "arraysim/server/UrlText.h"
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
    http::verb method;
    std::regex pattern;
    HttpsServer::Handler handler;
};

bool isParseError(const error_code& ec) { return ec.category() == http::make_error_code(http::error::bad_method).category(); }

// The request's path, decoded, and its query, from its target.
void readTarget(Request& req) {
    const auto target = req.message.target();
    const std::string_view whole(target.data(), target.size());
    const size_t query = whole.find('?');
    req.path = percentDecoded(whole.substr(0, query), false);
    if (query != std::string_view::npos) req.params = parseQuery(whole.substr(query + 1));
}

class Session;

}  // namespace

struct HttpsServer::Impl {
    explicit Impl(const HttpsLimits& l)
        : limits(l), bodies(l.bodiesBytes), answers(l.answersBytes), workers(l.mostHandlers) {}

    void accept();
    void dispatch(Request& req, Reply& reply);
    // At the connection cap: closes the oldest connection still in its TLS
    // handshake; false when there is none.
    bool makeRoom();

    const HttpsLimits limits;
    std::atomic<size_t> open{0};   // connections
    // Connections still in their handshake, oldest first: the ones a new
    // connection may push out at the cap.
    std::mutex handshakingMutex;
    std::list<std::weak_ptr<Session>> handshaking;
    ByteBudget bodies;
    ByteBudget answers;
    BodyGate bodyGate;
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
        : server_(server),
          executor_(socket.get_executor()),
          plain_(std::move(socket)),
          hello_(executor_),
          buffer_(server.limits.headerBytes) {
        ++server_.open;
    }
    ~Session() {
        leaveHandshaking();
        --server_.open;
    }

    void start() {
        {
            std::lock_guard<std::mutex> lock(server_.handshakingMutex);
            place_ = server_.handshaking.insert(server_.handshaking.end(), weak_from_this());
            listed_ = true;
        }
        net::dispatch(executor_, [self = shared_from_this()] { self->awaitHello(); });
    }

    // Takes this connection off the handshaking list, which is locked.
    void unlistLocked() {
        if (listed_) server_.handshaking.erase(place_);
        listed_ = false;
    }

    // Closes this connection to make room for a new one at the cap.
    void pushOut() {
        net::post(executor_, [self = shared_from_this()] {
            error_code ignored;
            self->tcp().socket().shutdown(tcp::socket::shutdown_both, ignored);
            self->tcp().close();
        });
    }

private:
    beast::tcp_stream& tcp() { return stream_ ? beast::get_lowest_layer(*stream_) : plain_; }

    // Waits, at most the handshake time, for the client's first bytes before
    // any TLS state is made: a connection that never speaks costs its
    // socket and little more.
    void awaitHello() {
        hello_.expires_after(server_.limits.handshake);
        hello_.async_wait([self = shared_from_this()](error_code ec) {
            if (ec) return;   // the client spoke first
            error_code ignored;
            self->plain_.socket().close(ignored);
        });
        plain_.socket().async_wait(tcp::socket::wait_read, [self = shared_from_this()](error_code ec) {
            self->hello_.cancel();
            if (ec) return;
            self->stream_.emplace(std::move(self->plain_), self->server_.tls);
            self->handshake();
        });
    }

    void leaveHandshaking() {
        std::lock_guard<std::mutex> lock(server_.handshakingMutex);
        unlistLocked();
    }

    void handshake() {
        tcp().expires_after(server_.limits.handshake);
        stream_->async_handshake(net::ssl::stream_base::server, [self = shared_from_this()](error_code ec) {
            if (ec) return;
            self->leaveHandshaking();
            self->awaitRequest();
        });
    }

    // Waits, at most the idle time, for the first bytes of the next request.
    void awaitRequest() {
        if (buffer_.size() > 0) {
            readHead();
            return;
        }
        tcp().expires_after(server_.limits.idle);
        stream_->async_read_some(buffer_.prepare(std::min(kFirstRead, buffer_.max_size())),
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
        http::async_read_header(*stream_, buffer_, *parser_,
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
        if (parser_->is_done()) {
            readBody();
            return;
        }
        if (!server_.bodyGate) {
            admitBody();
            return;
        }
        // The gate may wait for the array model's lock: it runs on a worker,
        // and the connection's next step comes back here.
        Request gated;
        gated.message = http::request<http::string_body>(parser_->get().base());
        readTarget(gated);
        server_.workers.enqueue([self = shared_from_this(), gated = std::move(gated)] {
            Reply refusal;
            bool admitted = false;
            try {
                admitted = self->server_.bodyGate(gated, refusal);
            } catch (const std::exception& e) {
                refusal = Reply{};
                sendError(refusal, 500, e.what());
            }
            net::post(self->executor_, [self, admitted, refusal = std::move(refusal)]() mutable {
                if (admitted) {
                    self->admitBody();
                    return;
                }
                self->headRequest_ = false;
                refusal.endConnection(AfterAnswer::Close);
                self->answer(refusal);
            });
        });
    }

    // Takes the body's room in the shared budget (its announced length, or
    // the limit for a chunked one), then invites and reads it.
    void admitBody() {
        const auto announced = parser_->content_length();
        const size_t room = announced ? static_cast<size_t>(std::min<std::uint64_t>(*announced, server_.limits.bodyBytes))
                                      : server_.limits.bodyBytes;
        if (!bodyHeld_.take(server_.bodies, room)) {
            headRequest_ = false;
            Reply reply;
            sendBusy(reply, kBodiesBusy);
            reply.endConnection(AfterAnswer::Close);
            answer(reply);
            return;
        }
        if (beast::iequals(parser_->get()[http::field::expect], "100-continue")) {
            net::async_write(*stream_, net::buffer(kContinue, sizeof(kContinue) - 1),
                             [self = shared_from_this()](error_code e, size_t) {
                                 if (!e) self->readBody();
                             });
            return;
        }
        readBody();
    }

    void readBody() {
        http::async_read(*stream_, buffer_, *parser_, [self = shared_from_this()](error_code ec, size_t) {
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
        request_.message = parser_->release();
        readTarget(request_);
        server_.workers.enqueue([self = shared_from_this()] {
            Reply reply;
            self->server_.dispatch(self->request_, reply);
            self->holdAnswer(reply);
            net::post(self->executor_,
                      [self, reply = std::move(reply)]() mutable { self->answer(reply); });
        });
    }

    // A long GET answer takes its room in the shared budget until it is
    // written; when there is none it is not sent, and the client is told to
    // ask again (a read changes nothing, so asking again is safe).
    void holdAnswer(Reply& reply) {
        const size_t size = reply.message.body().size();
        if (headRequest_ || request_.message.method() != http::verb::get || size <= server_.limits.shortAnswer) return;
        if (answerHeld_.take(server_.answers, size)) return;
        Reply busy;
        sendBusy(busy, kAnswersBusy);
        busy.after = reply.after;
        reply = std::move(busy);
    }

    void refuse(int status, const char* message) {
        headRequest_ = false;
        Reply reply;
        sendError(reply, status, message);
        reply.endConnection(AfterAnswer::Close);
        answer(reply);
    }

    void answer(Reply& reply) {
        // The request (a body of up to the limit) is not kept while the
        // connection waits for its next one.
        request_ = Request{};
        bodyHeld_.release();
        if (reply.after == AfterAnswer::Drop) {
            error_code ignored;
            tcp().socket().shutdown(tcp::socket::shutdown_both, ignored);
            tcp().close();
            return;
        }
        ++served_;
        const bool keep =
            reply.after == AfterAnswer::KeepOpen && keepAlive_ && served_ < server_.limits.keepAliveRequests;
        keepAlive_ = false;
        auto& out = answer_.emplace(std::move(reply.message));
        const unsigned status = out.result_int();
        out.version(11);
        out.keep_alive(keep);
        if (status < 200 || status == 204 || status == 304) {
            out.body().clear();
        } else {
            out.content_length(out.body().size());
            if (headRequest_) out.body().clear();
        }
        tcp().expires_after(server_.limits.write);
        http::async_write(*stream_, out, [self = shared_from_this(), keep](error_code ec, size_t) {
            self->answer_.reset();
            // The last long answer written: the memory its making took (many
            // small blocks, on several threads' heaps) goes back to the system.
            if (self->answerHeld_.release()) malloc_trim(0);
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
    const net::any_io_executor executor_;   // the connection's strand
    beast::tcp_stream plain_;                // the connection until the client speaks
    net::steady_timer hello_;                // how long it may stay silent
    std::optional<beast::ssl_stream<beast::tcp_stream>> stream_;   // made from plain_ then
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::optional<http::response<http::string_body>> answer_;
    Request request_;
    std::vector<char> sink_;   // what a closing connection still sends
    HeldBytes bodyHeld_;       // the body being read, in the shared budget
    HeldBytes answerHeld_;     // a long answer being written, likewise
    std::list<std::weak_ptr<Session>>::iterator place_;   // in the handshaking list, when listed
    bool listed_ = false;      // both guarded by the list's mutex
    size_t served_ = 0;
    bool keepAlive_ = false;   // the request being handled asked for more
    bool headRequest_ = false;
};

}  // namespace

bool HttpsServer::Impl::makeRoom() {
    std::shared_ptr<Session> oldest;
    {
        std::lock_guard<std::mutex> lock(handshakingMutex);
        // An entry that no longer locks belongs to a connection being
        // destroyed, which takes it out itself.
        for (const std::weak_ptr<Session>& entry : handshaking) {
            oldest = entry.lock();
            if (oldest) {
                oldest->unlistLocked();
                break;
            }
        }
    }
    // Released, if it is the last owner, outside the list's lock.
    if (!oldest) return false;
    oldest->pushOut();
    return true;
}

void HttpsServer::Impl::accept() {
    acceptor.async_accept(net::make_strand(io), [this](error_code ec, tcp::socket socket) {
        if (!acceptor.is_open()) return;
        if (ec) {
            acceptPause.expires_after(kAcceptPause);
            acceptPause.async_wait([this](error_code) { accept(); });
            return;
        }
        error_code ignored;
        if (open.load() >= limits.connections && !makeRoom()) {
            // Refused at once: a connection past the cap costs nothing more.
            socket.close(ignored);
            accept();
            return;
        }
        // An answer goes out as head and body; without this the body could
        // wait for the client's delayed acknowledgement (about 40 ms).
        socket.set_option(tcp::no_delay(true), ignored);
        std::make_shared<Session>(*this, std::move(socket))->start();
        accept();
    });
}

void HttpsServer::Impl::dispatch(Request& req, Reply& reply) {
    try {
        // HEAD is answered as GET, without the body.
        const http::verb method = req.message.method() == http::verb::head ? http::verb::get : req.message.method();
        for (const Route& route : routes) {
            if (route.method != method || !std::regex_match(req.path, req.matches, route.pattern)) continue;
            route.handler(req, reply);
            if (reply.finish) {
                const auto finish = std::move(reply.finish);
                reply.finish = nullptr;
                finish(reply);
            }
            return;
        }
        req.matches = std::smatch();
        reply.setStatus(404);
        if (notFound) notFound(req, reply);
    } catch (const std::exception& e) {
        // What the handler noted for the connection still holds.
        const AfterAnswer after = reply.after;
        reply = Reply{};
        reply.after = after;
        sendError(reply, 500, e.what());
    }
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

void HttpsServer::route(http::verb method, const std::string& pattern, Handler handler) {
    impl_->routes.push_back({method, std::regex(pattern), std::move(handler)});
}

void HttpsServer::setNotFound(Handler handler) { impl_->notFound = std::move(handler); }

void HttpsServer::setBodyGate(BodyGate gate) { impl_->bodyGate = std::move(gate); }

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
