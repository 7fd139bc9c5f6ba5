// Answers of the simulator: JSON bodies, the error body of the array API,
// plain text, and closing a connection without any answer.
#pragma once

#include <string>

#include "arraysim/model/ArrayTypes.h"
#include "arraysim/server/HttpExchange.h"
#include "arraysim/server/JsonValues.h"

namespace arraysim {

// The answer to a path no route takes.
inline constexpr char kNoSuchResource[] = "no such resource";
// Refusals of requests that break the server's bounds.
inline constexpr char kHeadTooLarge[] = "request line and headers are larger than the simulator accepts";
inline constexpr char kBodyTooLarge[] = "request body is larger than the simulator accepts";
inline constexpr char kBodyUnreadable[] = "request body could not be read";
inline constexpr char kBadRequest[] = "request is not well-formed HTTP";

void sendJson(Reply& reply, int status, const Json& body);
// {"errorMsg": message, "errorDetail": {"message": message}}.
void sendError(Reply& reply, int status, const std::string& message);
// `text` as text/plain.
void sendText(Reply& reply, int status, const std::string& text);
// 400, 401 or 404 for a refused Result.
int statusOf(arraymodel::Outcome outcome);
// Closes the request's connection once the handler returns, without an answer.
void dropConnection(Reply& reply);

}  // namespace arraysim
