// The simulator's HTTPS server: Boost.Beast over Asio, with routes that
// read a Request and fill a Reply (HttpExchange.h), and bounds a hostile
// client cannot stretch:
// - the request line and header block together are read into a buffer of
//   at most `headerBytes` and may hold at most `headerLines` lines (431
//   past either), so a huge header or request line is never held whole;
// - the TLS handshake, the wait for the next request on a kept-alive
//   connection, and each request (its head and body together, from its
//   first byte) each have one deadline, not one per read: a client that
//   sends a byte now and then is closed when it passes;
// - connections wait on one event loop, not on a thread each, so thousands
//   of idle or slow ones cost memory only; a handler runs on a worker
//   thread once its request is read whole;
// - open connections are capped: past the cap the oldest one still in its
//   TLS handshake makes room, or else the new one is closed at once, so a
//   crowd that never speaks costs a fixed amount and real clients get in;
// - a request's head is shown to the body gate (credentials) before its
//   body is invited or read, and the bodies being read and the long answers
//   being written each share one budget across all connections: past it a
//   request gets 503 with Retry-After, before its body is read or, for a
//   long GET answer, instead of it.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "arraysim/server/HttpExchange.h"

namespace arraysim {

struct HttpsLimits {
    size_t headerBytes = 16384;   // request line and header lines together
    size_t headerLines = 100;     // header lines (the request line not counted)
    size_t bodyBytes = 1 << 20;
    std::chrono::milliseconds handshake{5000};
    std::chrono::milliseconds idle{5000};       // kept-alive connection waiting for a request
    std::chrono::milliseconds request{5000};    // head and body, from the request's first byte
    std::chrono::milliseconds write{10000};     // one answer
    size_t keepAliveRequests = 1000000;
    size_t mostHandlers = 512;                  // handlers running at once
    size_t connections = 4096;                  // open at once
    size_t bodiesBytes = 64 << 20;              // bodies being read, all connections together
    size_t answersBytes = 128 << 20;            // long GET answers being written, all together
    size_t shortAnswer = 64 << 10;              // a GET answer up to this size is never refused
};

class HttpsServer {
public:
    // Answers one request, read whole: the reply's status is 200 unless the
    // handler sets another.
    using Handler = std::function<void(const Request&, Reply&)>;

    explicit HttpsServer(const HttpsLimits& limits);
    ~HttpsServer();

    // False with the reason when the files cannot be used.
    bool useCertificate(const std::string& certFile, const std::string& keyFile, std::string& error);

    // Routes are tried in the order added; `pattern` must match the whole
    // decoded path, and its groups are in the request's `matches`. A HEAD
    // request takes the GET routes and is answered without the body.
    void route(http::verb method, const std::string& pattern, Handler handler);
    // Answers a request no route takes (its status is 404 when called).
    void setNotFound(Handler handler);

    // Looks at the head of a request that has a body, before the body is
    // invited (100 Continue) or read; the request has no body yet and no
    // route matches. False refuses it with what `refusal` holds, and the
    // connection is closed. It runs on a worker thread.
    using BodyGate = std::function<bool(const Request& head, Reply& refusal)>;
    void setBodyGate(BodyGate gate);

    // Binds and listens (without SO_REUSEPORT: a port in use is refused);
    // the port bound (the chosen one for port 0), or -1 with the reason.
    int listen(const std::string& address, int port, std::string& error);
    // Serves until stop(); then waits for running handlers.
    void run();
    // Any thread.
    void stop();

    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace arraysim
