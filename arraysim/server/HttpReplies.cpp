#include "arraysim/server/HttpReplies.h"

#include "arraysim/server/AfterAnswer.h"
#include "arraysim/server/JsonKeys.h"

namespace arraysim {
namespace {

const char kJsonType[] = "application/json";

}  // namespace

void sendJson(httplib::Response& res, int status, const Json& body) {
    res.status = status;
    res.set_content(dumpJson(body), kJsonType);
}

void sendError(httplib::Response& res, int status, const std::string& message) {
    sendJson(res, status, Json{{key::kErrorMsg, message}, {key::kErrorDetail, {{key::kMessage, message}}}});
}

int statusOf(arraymodel::Outcome outcome) {
    switch (outcome) {
        case arraymodel::Outcome::Ok: return 200;
        case arraymodel::Outcome::BadRequest: return 400;
        case arraymodel::Outcome::NotFound: return 404;
        case arraymodel::Outcome::Unauthorized: return 401;
    }
    return 500;
}

void dropConnection(const httplib::Request&) { setAfterAnswer(AfterAnswer::Drop); }

}  // namespace arraysim
