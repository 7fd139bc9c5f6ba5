#include "arraysim/server/AdminRoutes.h"

#include <ctime>
#include <functional>
#include <string>

#include "arraysim/model/ArraySeed.h"
#include "arraysim/server/HttpReplies.h"
#include "arraysim/store/JsonKeys.h"

namespace arraysim {
namespace {

using httplib::Request;
using httplib::Response;

const char kTokenHeader[] = "X-Admin-Token";
const char kActionStatus[] = "status";
const char kActionClose[] = "close";
const char kActionCloseAfter[] = "closeAfter";
const char kActionLatency[] = "latency";
const int kMaxLatencyMs = 600000;

// Runs `handler` under the context's lock once the admin token matches.
void guarded(SimContext& context, const Request& req, Response& res,
             const std::function<void(const Request&, Response&)>& handler) {
    std::lock_guard<std::mutex> lock(context.mutex);
    if (context.adminToken.empty()) {
        sendError(res, 403, "admin interface is off: no admin token configured");
        return;
    }
    if (req.get_header_value(kTokenHeader) != context.adminToken) {
        sendError(res, 401, "wrong or missing admin token");
        return;
    }
    handler(req, res);
}

const char* actionName(FaultAction action) {
    switch (action) {
        case FaultAction::Status: return kActionStatus;
        case FaultAction::Close: return kActionClose;
        case FaultAction::CloseAfter: return kActionCloseAfter;
        case FaultAction::Latency: return kActionLatency;
        case FaultAction::None: break;
    }
    return "";
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
    if (action.empty()) action = j.contains(key::kLatencyMs) ? kActionLatency : kActionStatus;
    if (action == kActionStatus) fault.action = FaultAction::Status;
    else if (action == kActionClose) fault.action = FaultAction::Close;
    else if (action == kActionCloseAfter) fault.action = FaultAction::CloseAfter;
    else if (action == kActionLatency) fault.action = FaultAction::Latency;
    else {
        error = "action must be status, close, closeAfter or latency";
        return false;
    }
    if (!readInt(j, key::kCount, 1, 1000000, fault.count) || !readInt(j, key::kAfter, 0, 1000000, fault.after) ||
        !readInt(j, key::kStatus, 100, 599, fault.status) || !readInt(j, key::kLatencyMs, 0, kMaxLatencyMs, fault.latencyMs)) {
        error = "count (1 or more), after (0 or more), status (100-599) or latencyMs (0-600000) is out of range";
        return false;
    }
    return true;
}

Json faultToJson(const Fault& f) {
    return Json{{key::kOperation, f.operation}, {key::kAction, actionName(f.action)}, {key::kCount, f.count},
                {key::kAfter, f.after},         {key::kStatus, f.status},              {key::kLatencyMs, f.latencyMs}};
}

// Makes `next` the state, saving it first; false (and an answer) when it cannot be saved.
bool commitState(SimContext& context, const arraymodel::State& next, Response& res) {
    std::string error;
    if (context.store != nullptr && !context.store->replaceAll(next, error)) {
        sendError(res, 500, error);
        return false;
    }
    context.state = next;
    return true;
}

void seed(SimContext& context, const Request& req, Response& res) {
    Json body;
    std::vector<arraymodel::Array> arrays;
    std::string error;
    if (!parseJson(req.body, body)) {
        sendError(res, 400, "seed is not JSON");
        return;
    }
    if (!arraysFromJson(body, static_cast<uint64_t>(std::time(nullptr)), arrays, error)) {
        sendError(res, 400, error);
        return;
    }
    arraymodel::State next = context.state;
    const arraymodel::Result r = arraymodel::replaceArrays(next, arrays);
    if (!r.ok()) {
        sendError(res, 400, r.message);
        return;
    }
    if (commitState(context, next, res)) sendJson(res, 200, stateToJson(context.state));
}

}  // namespace

void addAdminRoutes(httplib::Server& server, SimContext& context) {
    SimContext& c = context;
    server.Post("/admin/seed", [&c](const Request& req, Response& res) {
        guarded(c, req, res, [&c](const Request& q, Response& r) { seed(c, q, r); });
    });
    server.Get("/admin/state", [&c](const Request& req, Response& res) {
        guarded(c, req, res, [&c](const Request&, Response& r) { sendJson(r, 200, stateToJson(c.state)); });
    });
    server.Post("/admin/reset", [&c](const Request& req, Response& res) {
        guarded(c, req, res, [&c](const Request&, Response& r) {
            if (!commitState(c, arraymodel::State{}, r)) return;
            c.faults.clear();
            c.calls.clear();
            sendJson(r, 200, stateToJson(c.state));
        });
    });
    server.Post("/admin/faults", [&c](const Request& req, Response& res) {
        guarded(c, req, res, [&c](const Request& q, Response& r) {
            Json body;
            Fault fault;
            std::string error;
            if (!parseJson(q.body, body) || !faultFromJson(body, fault, error)) {
                sendError(r, 400, error.empty() ? "fault is not JSON" : error);
                return;
            }
            c.faults.add(fault);
            sendJson(r, 200, faultToJson(fault));
        });
    });
    server.Get("/admin/faults", [&c](const Request& req, Response& res) {
        guarded(c, req, res, [&c](const Request&, Response& r) {
            Json list = Json::array();
            for (const Fault& f : c.faults.faults()) list.push_back(faultToJson(f));
            sendJson(r, 200, Json{{key::kFaults, list}});
        });
    });
    server.Delete("/admin/faults", [&c](const Request& req, Response& res) {
        guarded(c, req, res, [&c](const Request&, Response& r) {
            c.faults.clear();
            sendJson(r, 200, Json{{key::kFaults, Json::array()}});
        });
    });
    server.Get("/admin/calls", [&c](const Request& req, Response& res) {
        guarded(c, req, res, [&c](const Request&, Response& r) {
            Json list = Json::array();
            for (const CallEntry& e : c.calls) {
                list.push_back(Json{{key::kOperation, e.operation}, {key::kUser, e.user}, {key::kStatus, e.status}});
            }
            sendJson(r, 200, Json{{key::kCalls, list}});
        });
    });
    server.Delete("/admin/calls", [&c](const Request& req, Response& res) {
        guarded(c, req, res, [&c](const Request&, Response& r) {
            c.calls.clear();
            sendJson(r, 200, Json{{key::kCalls, Json::array()}});
        });
    });
}

}  // namespace arraysim
