#include "arraysim/server/BoundedBody.h"

#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdlib>

#include "arraysim/server/HttpReplies.h"

namespace arraysim {
namespace {

const char kTooLarge[] = "request body is larger than the simulator accepts";
const char kUnreadable[] = "request body could not be read";
const char kMultipart[] = "multipart bodies are not accepted";
// How long a refused connection may still send before it is closed: time
// for the client to take the answer, without reading a large body to its end.
const int kLingerMs = 1000;

// Set by a handler that refused a body, read after the answer went out
// (by the logger, on the same connection's thread).
thread_local bool closeAfterAnswer = false;

void refuse(httplib::Response& res, int status, const char* message) {
    sendError(res, status, message);
    closeAfterAnswer = true;
}

// Reads the body into `body`; false with the answer set when it is over
// `limit` or cannot be read.
bool readBody(const httplib::Request& req, const httplib::ContentReader& reader, size_t limit, std::string& body,
              httplib::Response& res) {
    if (req.is_multipart_form_data()) {
        refuse(res, 415, kMultipart);
        return false;
    }
    // A declared length over the bound is refused before a byte is read.
    const std::string declared = req.get_header_value("Content-Length");
    if (!declared.empty() && (declared.size() > 18 || std::strtoull(declared.c_str(), nullptr, 10) > limit)) {
        refuse(res, 413, kTooLarge);
        return false;
    }
    bool tooLarge = false;
    const bool read = reader([&](const char* data, size_t size) {
        if (size > limit - body.size()) {
            tooLarge = true;
            return false;
        }
        body.append(data, size);
        return true;
    });
    if (read) return true;
    body.clear();
    if (tooLarge || res.status == 413)
        refuse(res, 413, kTooLarge);
    else
        refuse(res, 400, kUnreadable);
    return false;
}

// Ends a connection after its answer: no more writes, then what the client
// still sends is read and dropped for a short while (closing with unread
// data would reset the connection and could lose the answer on its way),
// then no more reads, which ends the server's loop on it.
void closeGently(const httplib::Request& req) {
    if (req.ssl == nullptr) return;
    const int fd = SSL_get_fd(req.ssl);
    if (fd < 0) return;
    shutdown(fd, SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLingerMs);
    char sink[16384];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        if (recv(fd, sink, sizeof(sink), MSG_DONTWAIT) <= 0) break;
    }
    shutdown(fd, SHUT_RD);
}

}  // namespace

httplib::Server::HandlerWithContentReader boundedBody(size_t limit, BodyHandler handler) {
    return [limit, handler](const httplib::Request& req, httplib::Response& res,
                            const httplib::ContentReader& reader) {
        std::string body;
        if (readBody(req, reader, limit, body, res)) handler(req, body, res);
    };
}

void addBodyBound(httplib::Server& server, size_t limit) {
    const auto notFound = boundedBody(limit, [](const httplib::Request&, const std::string&, httplib::Response& res) {
        sendError(res, 404, kNoSuchResource);
    });
    server.Post(".*", notFound);
    server.Put(".*", notFound);
    server.Patch(".*", notFound);
    server.Delete(".*", notFound);
    // A flag left by an answer that could not be written (no log call
    // then) must not close the thread's next connection.
    server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
        closeAfterAnswer = false;
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_logger([](const httplib::Request& req, const httplib::Response&) {
        if (!closeAfterAnswer) return;
        closeAfterAnswer = false;
        closeGently(req);
    });
}

}  // namespace arraysim
