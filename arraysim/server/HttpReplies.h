// Answers of the simulator: JSON bodies, the error body of the array API,
// and closing a connection without any answer.
#pragma once

#include <string>

#include <httplib.h>

#include "arraysim/model/ArrayTypes.h"
#include "arraysim/server/JsonValues.h"

namespace arraysim {

// The answer to a path no route takes.
inline constexpr char kNoSuchResource[] = "no such resource";

void sendJson(httplib::Response& res, int status, const Json& body);
// {"errorMsg": message, "errorDetail": {"message": message}}.
void sendError(httplib::Response& res, int status, const std::string& message);
// 400, 401 or 404 for a refused Result.
int statusOf(arraymodel::Outcome outcome);
// Shuts the request's TLS connection down so the client gets no answer.
void dropConnection(const httplib::Request& req);

}  // namespace arraysim
