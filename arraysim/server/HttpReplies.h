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
// Refusals when every connection together holds the most the simulator
// keeps for bodies or answers; the client may try again after a pause.
inline constexpr char kBodiesBusy[] = "the simulator is reading as many request bodies as it holds at once";
inline constexpr char kAnswersBusy[] = "the simulator is sending as many long answers as it holds at once";
// The pause a busy answer asks for, in seconds (its Retry-After).
inline constexpr int kBusyRetryAfterSeconds = 1;

void sendJson(Reply& reply, int status, const Json& body);
// `text`, already JSON, as the body.
void sendJsonText(Reply& reply, int status, std::string text);
// {"errorMsg": message, "errorDetail": {"message": message}}.
void sendError(Reply& reply, int status, const std::string& message);
// `text` as text/plain.
void sendText(Reply& reply, int status, const std::string& text);
// 400, 401 or 404 for a refused Result.
int statusOf(arraymodel::Outcome outcome);
// 503 with `message` and Retry-After: the request was not handled.
void sendBusy(Reply& reply, const char* message);
// Closes the request's connection once the handler returns, without an answer.
void dropConnection(Reply& reply);

}  // namespace arraysim
