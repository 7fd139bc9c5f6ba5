// Request bodies read with a bound on their size however they are framed
// (Content-Length or chunked). cpp-httplib bounds only a Content-Length
// body and reads a chunked one whole; routes that take a body therefore
// read it through these, chunk by chunk, and stop at the bound. A body over
// it gets 413, and the connection is closed after that answer so the rest
// of the body is never read as a next request.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <httplib.h>

namespace arraysim {

using BodyHandler = std::function<void(const httplib::Request&, const std::string& body, httplib::Response&)>;

// A route that reads the body (at most `limit` bytes) and hands it to `handler`.
httplib::Server::HandlerWithContentReader boundedBody(size_t limit, BodyHandler handler);

// Registers, after every route: a 404 for POST, PUT, PATCH and DELETE
// requests no route takes (reading their bodies with the same bound), and
// the closing of connections whose body was refused (it takes the server's
// pre-routing handler and logger). Call it last.
void addBodyBound(httplib::Server& server, size_t limit);

}  // namespace arraysim
