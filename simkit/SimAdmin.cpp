#include "simkit/SimAdmin.h"

namespace simkit {
namespace {

const char kAdminTokenHeader[] = "X-Admin-Token";

}  // namespace

bool adminCall(const SimProcess& sim, const std::string& method, const std::string& path, const std::string& body,
               std::string& answer, std::string& error) {
    if (method != "GET" && method != "POST" && method != "DELETE") {
        error = "unknown method " + method;
        return false;
    }
    SimClient client = sim.client();
    client.setStallTimeout(sim.options().adminTimeoutSecs);
    const HttpHeaders headers = {{kAdminTokenHeader, sim.options().adminToken}};
    const HttpAnswer result = method == "GET"    ? client.get(path, headers)
                              : method == "POST" ? client.post(path, headers, body)
                                                 : client.del(path, headers);
    if (!result) {
        error = method + " " + path + ": " + result.error;
        return false;
    }
    answer = result.body;
    if (result.status < 200 || result.status > 299) {
        error = method + " " + path + ": HTTP " + std::to_string(result.status) + " " + answer;
        return false;
    }
    return true;
}

nlohmann::json adminJson(const SimProcess& sim, const std::string& method, const std::string& path,
                         const nlohmann::json& body) {
    std::string answer;
    std::string error;
    const std::string text = body.is_null() ? std::string() : body.dump();
    if (!adminCall(sim, method, path, text, answer, error)) return nullptr;
    nlohmann::json parsed = nlohmann::json::parse(answer, nullptr, false);
    return parsed.is_discarded() ? nlohmann::json() : parsed;
}

int callCount(const SimProcess& sim, const std::string& operation) {
    const nlohmann::json answer = adminJson(sim, "GET", "/admin/calls");
    if (!answer.is_object() || !answer.contains("calls") || !answer["calls"].is_array()) return -1;
    int count = 0;
    for (const auto& call : answer["calls"]) {
        if (call.is_object() && call.value("operation", std::string()) == operation) ++count;
    }
    return count;
}

}  // namespace simkit
