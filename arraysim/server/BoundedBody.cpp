#include "arraysim/server/BoundedBody.h"

#include "arraysim/server/HttpReplies.h"

namespace arraysim {
namespace {

const char kMultipart[] = "multipart bodies are not accepted";
const char kMultipartType[] = "multipart/form-data";

void refuse(Reply& reply, int status, const char* message) {
    sendError(reply, status, message);
    reply.endConnection(AfterAnswer::Close);
}

}  // namespace

HttpsServer::Handler boundedBody(size_t limit, BodyHandler handler) {
    return [limit, handler](const Request& req, Reply& reply) {
        if (req.header("Content-Type").rfind(kMultipartType, 0) == 0) {
            refuse(reply, 415, kMultipart);
        } else if (req.body().size() > limit) {
            refuse(reply, 413, kBodyTooLarge);
        } else {
            handler(req, req.body(), reply);
        }
    };
}

void addBodyBound(HttpsServer& server, size_t limit) {
    const auto notFound = boundedBody(limit, [](const Request&, const std::string&, Reply& reply) {
        sendError(reply, 404, kNoSuchResource);
    });
    for (http::verb method : {http::verb::post, http::verb::put, http::verb::patch, http::verb::delete_}) {
        server.route(method, ".*", notFound);
    }
}

}  // namespace arraysim
