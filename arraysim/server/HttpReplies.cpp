#include "arraysim/server/HttpReplies.h"

#include "arraysim/server/JsonKeys.h"

namespace arraysim {
namespace {

const char kJsonType[] = "application/json";
const char kTextType[] = "text/plain";

void send(Reply& reply, int status, std::string body, const char* type) {
    reply.setStatus(status);
    reply.message.set(http::field::content_type, type);
    reply.message.body() = std::move(body);
}

}  // namespace

void sendJson(Reply& reply, int status, const Json& body) { send(reply, status, dumpJson(body), kJsonType); }

void sendJsonText(Reply& reply, int status, std::string text) { send(reply, status, std::move(text), kJsonType); }

void sendError(Reply& reply, int status, const std::string& message) {
    sendJson(reply, status, Json{{key::kErrorMsg, message}, {key::kErrorDetail, {{key::kMessage, message}}}});
}

void sendText(Reply& reply, int status, const std::string& text) { send(reply, status, text, kTextType); }

int statusOf(arraymodel::Outcome outcome) {
    switch (outcome) {
        case arraymodel::Outcome::Ok: return 200;
        case arraymodel::Outcome::BadRequest: return 400;
        case arraymodel::Outcome::NotFound: return 404;
        case arraymodel::Outcome::Unauthorized: return 401;
    }
    return 500;
}

void sendBusy(Reply& reply, const char* message) {
    sendError(reply, 503, message);
    reply.message.set(http::field::retry_after, std::to_string(kBusyRetryAfterSeconds));
}

void dropConnection(Reply& reply) { reply.endConnection(AfterAnswer::Drop); }

}  // namespace arraysim
