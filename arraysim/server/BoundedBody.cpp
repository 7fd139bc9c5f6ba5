#include "arraysim/server/BoundedBody.h"

#include <cstdlib>

#include "arraysim/server/AfterAnswer.h"
#include "arraysim/server/HttpReplies.h"

namespace arraysim {
namespace {

const char kMultipart[] = "multipart bodies are not accepted";

void refuse(httplib::Response& res, int status, const char* message) {
    sendError(res, status, message);
    setAfterAnswer(AfterAnswer::Close);
}

// Reads the body into `body`; false with the answer set when it is over
// `limit` or cannot be read.
bool readBody(const httplib::Request& req, const httplib::ContentReader& reader, size_t limit, std::string& body,
              httplib::Response& res) {
    if (req.is_multipart_form_data()) {
        refuse(res, 415, kMultipart);
        return false;
    }
    const std::string declared = req.get_header_value("Content-Length");
    if (!declared.empty() && (declared.size() > 18 || std::strtoull(declared.c_str(), nullptr, 10) > limit)) {
        refuse(res, 413, kBodyTooLarge);
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
    refuse(res, tooLarge ? 413 : 400, tooLarge ? kBodyTooLarge : kBodyUnreadable);
    return false;
}

}  // namespace

HttpsServer::HandlerWithContentReader boundedBody(size_t limit, BodyHandler handler) {
    return [limit, handler](const httplib::Request& req, httplib::Response& res,
                            const httplib::ContentReader& reader) {
        std::string body;
        if (readBody(req, reader, limit, body, res)) handler(req, body, res);
    };
}

void addBodyBound(HttpsServer& server, size_t limit) {
    const auto notFound = boundedBody(limit, [](const httplib::Request&, const std::string&, httplib::Response& res) {
        sendError(res, 404, kNoSuchResource);
    });
    server.Post(".*", notFound);
    server.Put(".*", notFound);
    server.Patch(".*", notFound);
    server.Delete(".*", notFound);
}

}  // namespace arraysim
