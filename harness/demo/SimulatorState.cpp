#include "harness/demo/SimulatorState.h"

#include "simkit/SimAdmin.h"

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

bool readState(const simkit::SimProcess& simulator, json& state, std::string& error) {
    std::string answer;
    if (!simkit::adminCall(simulator, "GET", "/admin/state", "", answer, error)) return false;
    state = json::parse(answer, nullptr, false);
    if (state.is_discarded() || !state.is_object() || !state.contains("arrays") || !state["arrays"].is_array()) {
        error = "the simulator's state is not readable";
        return false;
    }
    return true;
}

std::string textOf(const json& object, const char* key) {
    if (!object.is_object()) return std::string();
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The state shows a snapshot's stored name (e.g. "QZHNAS-u1-fs1") as its displayName.
std::string storedNameOf(const json& snapshot) { return textOf(snapshot, "displayName"); }

std::string fileSystemOf(const json& object) {
    const std::string label = textOf(object, "filesystem");
    return label.empty() ? textOf(object, "filesystemId") : label;
}

const json& listIn(const json& array, const char* key) {
    static const json empty = json::array();
    const auto it = array.find(key);
    return it != array.end() && it->is_array() ? *it : empty;
}

// The JSON library throws on text it cannot encode; every public function
// turns that into a failure.
const char kJsonFailure[] = "the simulator's state could not be handled as JSON";

}  // namespace

bool listSimSnapshots(const simkit::SimProcess& simulator, std::vector<SimSnapshot>& snapshots,
                      std::string& error) try {
    snapshots.clear();
    json state;
    if (!readState(simulator, state, error)) return false;
    for (const json& array : state["arrays"])
        for (const json& s : listIn(array, "snapshots"))
            snapshots.push_back({textOf(array, "name"), storedNameOf(s), fileSystemOf(s)});
    return true;
} catch (...) {
    error = kJsonFailure;
    return false;
}

bool listSimShares(const simkit::SimProcess& simulator, std::vector<SimShare>& shares, std::string& error) try {
    shares.clear();
    json state;
    if (!readState(simulator, state, error)) return false;
    for (const json& array : state["arrays"])
        for (const json& s : listIn(array, "shares"))
            shares.push_back({textOf(array, "name"), textOf(s, "protocol"), textOf(s, "name"), textOf(s, "path")});
    return true;
} catch (...) {
    error = kJsonFailure;
    return false;
}

bool removeSimSnapshot(const simkit::SimProcess& simulator, const std::string& storedName,
                       std::string& error) try {
    json state;
    if (!readState(simulator, state, error)) return false;
    for (json& array : state["arrays"]) {
        if (!array.is_object() || !array.contains("snapshots") || !array["snapshots"].is_array()) continue;
        json& list = array["snapshots"];
        for (size_t i = 0; i < list.size(); ++i) {
            if (storedNameOf(list[i]) != storedName) continue;
            list.erase(i);
            json seed = {{"arrays", json::array({array})}};
            std::string answer;
            return simkit::adminCall(simulator, "POST", "/admin/seed", seed.dump(), answer, error);
        }
    }
    error = "no snapshot " + storedName + " on the simulated arrays";
    return false;
} catch (...) {
    error = kJsonFailure;
    return false;
}
