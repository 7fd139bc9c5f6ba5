#include "arraysim/server/AdminRoutes.h"

#include <ctime>
#include <functional>
#include <string>

#include "arraysim/model/ArraySeed.h"
#include "arraysim/server/BoundedBody.h"
#include "arraysim/server/HttpReplies.h"
#include "arraysim/server/JsonKeys.h"
#include "arraysim/server/StateJson.h"

namespace arraysim {
namespace {

const char kTokenHeader[] = "X-Admin-Token";
const int kMaxLatencyMs = 600000;
const size_t kMaxFaultMessage = 4096;

using AdminHandler = std::function<void(const Request&, const std::string& body, Reply&)>;

// Whether the admin interface is on and the request carries its token; the
// refusal in `reply` when not. The context is locked.
bool tokenMatches(const SimContext& context, const Request& req, Reply& reply) {
    if (context.adminToken.empty()) {
        sendError(reply, 403, "admin interface is off: no admin token configured");
        return false;
    }
    if (req.header(kTokenHeader) != context.adminToken) {
        sendError(reply, 401, "wrong or missing admin token");
        return false;
    }
    return true;
}

// Runs `handler` under the context's lock once the admin token matches.
void guarded(SimContext& context, const Request& req, const std::string& body, Reply& reply,
             const AdminHandler& handler) {
    std::lock_guard<std::mutex> lock(context.mutex);
    if (tokenMatches(context, req, reply)) handler(req, body, reply);
}

// The name of `kind` in `names` (a table of FaultTable.h).
template <typename Kind, size_t N>
const char* nameOf(const FaultKindName<Kind> (&names)[N], Kind kind) {
    for (const FaultKindName<Kind>& n : names) {
        if (n.kind == kind) return n.name;
    }
    return "";
}

// The kind named `name` in `names`; false for a name it lacks.
template <typename Kind, size_t N>
bool kindNamed(const FaultKindName<Kind> (&names)[N], const std::string& name, Kind& kind) {
    for (const FaultKindName<Kind>& n : names) {
        if (name == n.name) {
            kind = n.kind;
            return true;
        }
    }
    return false;
}

// "<what> must be a, b or c", from the names of `names`.
template <typename Kind, size_t N>
std::string mustBeOneOf(const char* what, const FaultKindName<Kind> (&names)[N]) {
    std::string text = std::string(what) + " must be ";
    for (size_t i = 0; i < N; ++i) text += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + names[i].name;
    return text;
}

// Reads an optional integer member within [low, high].
bool readInt(const Json& j, const char* key, int low, int high, int& out) {
    auto it = j.find(key);
    if (it == j.end()) return true;
    if (!it->is_number_integer()) return false;
    const int64_t value = it->get<int64_t>();
    if (value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

bool faultFromJson(const Json& j, Fault& fault, std::string& error) {
    if (!j.is_object()) {
        error = "a fault is a JSON object";
        return false;
    }
    if (!readText(j, key::kOperation, fault.operation, true) || !isFaultOperation(fault.operation)) {
        error = "operation must be an operation name or *";
        return false;
    }
    std::string action;
    if (!readText(j, key::kAction, action, false)) action = "?";
    if (action.empty()) {
        fault.action = j.contains(key::kLatencyMs) ? FaultAction::Latency : FaultAction::Status;
    } else if (!kindNamed(kFaultActionNames, action, fault.action)) {
        error = mustBeOneOf(key::kAction, kFaultActionNames);
        return false;
    }
    if (!readInt(j, key::kCount, 1, 1000000, fault.count) || !readInt(j, key::kAfter, 0, 1000000, fault.after) ||
        !readInt(j, key::kStatus, 100, 599, fault.status) || !readInt(j, key::kLatencyMs, 0, kMaxLatencyMs, fault.latencyMs)) {
        error = "count (1 or more), after (0 or more), status (100-599) or latencyMs (0-600000) is out of range";
        return false;
    }
    std::string body = nameOf(kFaultBodyNames, FaultBody::Json);
    if (!readText(j, key::kBody, body, false) || !kindNamed(kFaultBodyNames, body, fault.body)) {
        error = mustBeOneOf(key::kBody, kFaultBodyNames);
        return false;
    }
    if (!readText(j, key::kMessage, fault.message, false) || fault.message.size() > kMaxFaultMessage) {
        error = "message must be a text of at most 4096 bytes";
        return false;
    }
    if (!readText(j, key::kMatching, fault.matching, false) || fault.matching.size() > kMaxFaultMessage) {
        error = "matching must be a text of at most 4096 bytes";
        return false;
    }
    if (!readInt(j, key::kRetryAfter, -1, kMaxLatencyMs / 1000, fault.retryAfter)) {
        error = "retryAfter must be -1 (no Retry-After header) or 0-600 seconds";
        return false;
    }
    return true;
}

Json faultToJson(const Fault& f) {
    return Json{{key::kOperation, f.operation},
                {key::kAction, nameOf(kFaultActionNames, f.action)},
                {key::kCount, f.count},
                {key::kAfter, f.after},
                {key::kStatus, f.status},
                {key::kLatencyMs, f.latencyMs},
                {key::kBody, nameOf(kFaultBodyNames, f.body)},
                {key::kMessage, f.message},
                {key::kMatching, f.matching},
                {key::kRetryAfter, f.retryAfter}};
}

void seed(SimContext& context, const std::string& text, Reply& reply) {
    Json body;
    std::vector<arraymodel::Array> arrays;
    std::string error;
    if (!parseJson(text, body)) {
        sendError(reply, 400, "seed is not JSON");
        return;
    }
    if (!arraysFromJson(body, static_cast<uint64_t>(std::time(nullptr)), arrays, error)) {
        sendError(reply, 400, error);
        return;
    }
    const arraymodel::Result r = arraymodel::replaceArrays(context.state, arrays);
    if (!r.ok()) {
        sendError(reply, 400, r.message);
        return;
    }
    if (context.store != nullptr && !context.store->saveArrays(arrays, error)) {
        // The file kept the state from before the seed; so does memory.
        std::string ignored;
        context.store->load(context.state, ignored);
        sendError(reply, 500, error);
        return;
    }
    sendJson(reply, 200, stateToJson(context.state));
}

}  // namespace

bool adminAdmitsBody(SimContext& context, const Request& head, Reply& refusal) {
    std::lock_guard<std::mutex> lock(context.mutex);
    return tokenMatches(context, head, refusal);
}

void addAdminRoutes(HttpsServer& server, SimContext& context) {
    SimContext& c = context;
    // Every admin route reads its body (if any) with the simulator's bound.
    auto get = [&server, &c](const char* path, AdminHandler handler) {
        server.route(http::verb::get, path,
                     [&c, handler](const Request& req, Reply& reply) { guarded(c, req, "", reply, handler); });
    };
    auto withBody = [&c](AdminHandler handler) {
        return boundedBody(c.maxBodyBytes, [&c, handler](const Request& req, const std::string& body, Reply& reply) {
            guarded(c, req, body, reply, handler);
        });
    };
    server.route(http::verb::post, "/admin/seed",
                 withBody([&c](const Request&, const std::string& body, Reply& r) { seed(c, body, r); }));
    get("/admin/state", [&c](const Request&, const std::string&, Reply& r) { sendJson(r, 200, stateToJson(c.state)); });
    server.route(http::verb::post, "/admin/reset", withBody([&c](const Request&, const std::string&, Reply& r) {
        std::string error;
        if (c.store != nullptr && !c.store->replaceAll(arraymodel::State{}, error)) {
            sendError(r, 500, error);
            return;
        }
        c.state = arraymodel::State{};
        c.faults.clear();
        c.calls.clear();
        sendJson(r, 200, stateToJson(c.state));
    }));
    server.route(http::verb::post, "/admin/faults", withBody([&c](const Request&, const std::string& text, Reply& r) {
        Json body;
        Fault fault;
        std::string error;
        if (!parseJson(text, body) || !faultFromJson(body, fault, error)) {
            sendError(r, 400, error.empty() ? "fault is not JSON" : error);
            return;
        }
        c.faults.add(fault);
        sendJson(r, 200, faultToJson(fault));
    }));
    get("/admin/faults", [&c](const Request&, const std::string&, Reply& r) {
        Json list = Json::array();
        for (const Fault& f : c.faults.faults()) list.push_back(faultToJson(f));
        sendJson(r, 200, Json{{key::kFaults, list}});
    });
    server.route(http::verb::delete_, "/admin/faults", withBody([&c](const Request&, const std::string&, Reply& r) {
        c.faults.clear();
        sendJson(r, 200, Json{{key::kFaults, Json::array()}});
    }));
    get("/admin/calls", [&c](const Request&, const std::string&, Reply& r) {
        Json list = Json::array();
        for (const CallEntry& e : c.calls.entries) {
            list.push_back(Json{{key::kOperation, e.operation}, {key::kUser, e.user}, {key::kStatus, e.status},
                                {key::kMicros, e.micros}, {key::kEndMicros, e.endMicros}});
        }
        sendJson(r, 200, Json{{key::kCalls, std::move(list)}, {key::kTotal, c.calls.total},
                              {key::kTotalMicros, c.calls.totalMicros}});
    });
    server.route(http::verb::delete_, "/admin/calls", withBody([&c](const Request&, const std::string&, Reply& r) {
        c.calls.clear();
        sendJson(r, 200, Json{{key::kCalls, Json::array()}});
    }));
}

}  // namespace arraysim
