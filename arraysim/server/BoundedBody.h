// Request bodies handed to routes with a bound on their size. The server
// reads every body (Content-Length or chunked) with its own bound before a
// route runs; this keeps the bound and the refusals a route gives (413,
// 415 for multipart, 400 for a body that cannot be read) in one place, and
// closes the connection after such a refusal so that the rest of a body is
// never read as a next request.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <httplib.h>

#include "arraysim/server/HttpsServer.h"

namespace arraysim {

using BodyHandler = std::function<void(const httplib::Request&, const std::string& body, httplib::Response&)>;

// A route that reads the body (at most `limit` bytes) and hands it to `handler`.
HttpsServer::HandlerWithContentReader boundedBody(size_t limit, BodyHandler handler);

// Registers, after every route: a 404 for POST, PUT, PATCH and DELETE
// requests no route takes, their bodies read with the same bound. Call it last.
void addBodyBound(HttpsServer& server, size_t limit);

}  // namespace arraysim
