#include "tests/support/SimProcess.h"

#include <signal.h>

#include <cstdio>

#include "simkit/SimAdmin.h"
#include "tests/support/TestCertificates.h"

namespace testsupport {

simkit::SimOptions simOptions(const std::vector<std::string>& args) {
    const std::string certs = certDir();
    simkit::SimOptions options;
    options.binary = HNAS_ARRAYSIM_BINARY;
    options.certFile = certs + "/server.pem";
    options.keyFile = certs + "/server.key";
    options.caFile = certs + "/ca.pem";
    options.args = args;
    return options;
}

bool startSim(simkit::SimProcess& sim, const std::vector<std::string>& args) {
    // A request in flight when the simulator dies must fail, not kill the test.
    signal(SIGPIPE, SIG_IGN);
    if (certDir().empty()) return false;
    std::string error;
    if (sim.start(simOptions(args), error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

int runSimulatorOnce(const std::vector<std::string>& args, std::string& out, std::string& err) {
    return simkit::runSimulatorOnce(HNAS_ARRAYSIM_BINARY, args, out, err);
}

namespace {

constexpr char kAdminToken[] = "admin-token-for-tests";

}  // namespace

Simulator::Simulator(const nlohmann::json& seed, const std::vector<std::string>& options) {
    const std::string seedFile = dir_.file("seed.json");
    writeFile(seedFile, seed.dump(2));
    // Strict, as the plug-in's client creates shares only inside snapshots.
    std::vector<std::string> args = {"--state", dir_.file("state.db"), "--seed", seedFile, "--strict-snapshot-paths"};
    args.insert(args.end(), options.begin(), options.end());
    simkit::SimOptions seeded = simOptions(args);
    seeded.adminToken = kAdminToken;
    std::string error;
    if (!process_.start(seeded, error)) std::fprintf(stderr, "%s\n", error.c_str());
}

bool Simulator::admin(const std::string& method, const std::string& path, const nlohmann::json& body,
                      nlohmann::json* answer) {
    if (!started()) return false;
    std::string text;
    std::string error;
    if (!simkit::adminCall(process_, method, path, body.is_null() ? std::string() : body.dump(), text, error)) {
        return false;
    }
    if (answer != nullptr) *answer = nlohmann::json::parse(text, nullptr, false);
    return true;
}

bool Simulator::inject(const nlohmann::json& fault) { return admin("POST", "/admin/faults", fault); }

nlohmann::json Simulator::state() { return simkit::adminJson(process_, "GET", "/admin/state"); }

int Simulator::callCount(const std::string& operation) { return simkit::callCount(process_, operation); }

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

}  // namespace testsupport
