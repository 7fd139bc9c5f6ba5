// Request bodies handed to routes with a bound on their size. The server
// reads every body (Content-Length or chunked) whole, within its own bound,
// before a route runs; this keeps a route's bound and the refusals a route
// gives (413 over it, 415 for multipart) in one place, and closes the
// connection after such a refusal.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "arraysim/server/HttpsServer.h"

namespace arraysim {

using BodyHandler = std::function<void(const Request&, const std::string& body, Reply&)>;

// A route that hands the body (at most `limit` bytes) to `handler`.
HttpsServer::Handler boundedBody(size_t limit, BodyHandler handler);

// Registers, after every route: a 404 for POST, PUT, PATCH and DELETE
// requests no route takes, their bodies read with the same bound. Call it last.
void addBodyBound(HttpsServer& server, size_t limit);

}  // namespace arraysim
