#include "tests/client/Simulator.h"

#include <httplib.h>

namespace clienttest {

namespace {

constexpr char kAdminToken[] = "admin-token-for-tests";

}  // namespace

Simulator::Simulator(const nlohmann::json& seed, const std::vector<std::string>& options) {
    const std::string seedFile = dir_.file("seed.json");
    testsupport::writeFile(seedFile, seed.dump(2));
    // Strict, as the plug-in's client creates shares only inside snapshots.
    std::vector<std::string> args = {"--state", dir_.file("state.db"), "--seed", seedFile, "--admin-token",
                                     kAdminToken, "--strict-snapshot-paths"};
    args.insert(args.end(), options.begin(), options.end());
    process_.start(args);
}

bool Simulator::admin(const std::string& method, const std::string& path, const nlohmann::json& body,
                      nlohmann::json* answer) {
    if (!started()) return false;
    auto client = process_.client();
    const httplib::Headers headers{{"X-Admin-Token", kAdminToken}};
    const std::string text = body.is_null() ? std::string() : body.dump();
    httplib::Result result = method == "GET"      ? client->Get(path.c_str(), headers)
                             : method == "DELETE" ? client->Delete(path.c_str(), headers)
                                                  : client->Post(path.c_str(), headers, text, "application/json");
    if (!result || result->status != 200) return false;
    if (answer != nullptr) *answer = nlohmann::json::parse(result->body, nullptr, false);
    return true;
}

bool Simulator::inject(const nlohmann::json& fault) { return admin("POST", "/admin/faults", fault); }

nlohmann::json Simulator::state() {
    nlohmann::json answer;
    admin("GET", "/admin/state", nullptr, &answer);
    return answer;
}

int Simulator::callCount(const std::string& operation) {
    nlohmann::json answer;
    if (!admin("GET", "/admin/calls", nullptr, &answer) || !answer.is_object()) return -1;
    int count = 0;
    for (const auto& call : answer.value("calls", nlohmann::json::array()))
        if (call.is_object() && call.value("operation", "") == operation) ++count;
    return count;
}

nlohmann::json standardSeed() {
    return nlohmann::json::parse(R"J({
  "arrays": [{
    "name": "hnas1", "user": "supervisor", "password": "Sup3r-Secret!pw",
    "virtualServers": [
      {"virtualServerId": 1, "name": "evs1", "ipAddresses": ["192.0.2.10", "192.0.2.11"]},
      {"virtualServerId": 2, "name": "hnas1-admin", "ipAddresses": ["192.0.2.1"],
       "type": "Administrative services"}
    ],
    "filesystems": [
      {"label": "fs1", "virtualServerId": 1, "capacity": 1099511627776, "usedCapacity": 1073741824,
       "freeCapacity": 1098437885952, "usedSnapshotCapacity": 4096},
      {"label": "fs2", "virtualServerId": 1}
    ],
    "shares": [
      {"protocol": "CIFS", "name": "data", "virtualServerId": 1, "filesystem": "fs1", "path": "\\data",
       "settings": {"comment": "team data", "maxConcurrentUsers": -1, "cacheOption": "MANUAL_CACHING_DOCS",
                    "isABEEnabled": true, "userHomeDirectoryMode": "ADS"},
       "authentications": [{"name": "Everyone", "permission": 56, "type": "WELLKNOWN"},
                           {"name": "Administrators", "permission": 24, "type": "GROUP"}]},
      {"protocol": "NFS", "name": "/exp1", "virtualServerId": 1, "filesystem": "fs1", "path": "/exp1",
       "settings": {"accessConfig": "*(rw)", "localReadCacheOption": "ENABLED_FOR_ALL_FILES"}}
    ],
    "snapshots": [
      {"filesystem": "fs1", "appSearchId": "QZHNAS", "displayName": "QZHNAS-old-fs1", "creationTime": 1700000000}
    ]
  }]
})J");
}

}  // namespace clienttest
