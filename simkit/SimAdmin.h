// The simulator's admin interface (docs/arraysim.md, "Admin interface") as
// its users call it: seed, state, faults and the call record, with the
// token the simulator was started with.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "simkit/SimProcess.h"

namespace simkit {

// One admin call, e.g. ("POST", "/admin/faults", "{...}"). True when it was
// answered with a 2xx status; `answer` holds the body, `error` says why not.
bool adminCall(const SimProcess& sim, const std::string& method, const std::string& path, const std::string& body,
               std::string& answer, std::string& error);
// The same with JSON: the parsed answer, or null when the call failed or the
// answer is not JSON.
nlohmann::json adminJson(const SimProcess& sim, const std::string& method, const std::string& path,
                         const nlohmann::json& body = nullptr);
// How many storage calls of `operation` the call record holds; -1 when it
// cannot be read.
int callCount(const SimProcess& sim, const std::string& operation);

}  // namespace simkit
