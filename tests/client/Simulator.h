// hnas-arraysim run by a client test, through the test's launcher
// (tests/support/SimProcess.h): a free loopback port, a fresh state
// file, the test certificate, a seed and an admin token; stopped when the
// object dies. Adds the admin calls the client tests make (simkit/SimAdmin.h).
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/SimProcess.h"
#include "tests/support/TempDirectory.h"

namespace clienttest {

// The seeded array's credentials.
constexpr char kSimUser[] = "supervisor";
constexpr char kSimPassword[] = "Sup3r-Secret!pw";

class Simulator {
public:
    // Starts the binary with `seed` (the simulator's seed format) and any
    // further start `options` (e.g. "--ignore-no-default-security");
    // started() tells whether it came up within 10 s.
    explicit Simulator(const nlohmann::json& seed, const std::vector<std::string>& options = {});

    bool started() const { return process_.running(); }
    int port() const { return process_.port(); }

    // One admin call; false unless it answers 200. `answer` gets the parsed
    // body (discarded when it is not JSON).
    bool admin(const std::string& method, const std::string& path, const nlohmann::json& body,
               nlohmann::json* answer = nullptr);
    // POST /admin/faults, e.g. {"operation":"createSnapshot","status":500}.
    bool inject(const nlohmann::json& fault);
    // GET /admin/state.
    nlohmann::json state();
    // How many storage calls of `operation` the simulator recorded.
    int callCount(const std::string& operation);

    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

private:
    testsupport::TempDirectory dir_;
    testsupport::SimProcess process_;
};

// The seed most tests use: array "hnas1" with a file-services virtual server
// "evs1" (ID 1, addresses 192.0.2.10 and 192.0.2.11), an administrative one
// named "hnas1-admin", file systems "fs1" and "fs2", CIFS share "data"
// (path "\data", two permissions) and NFS export "/exp1" on fs1, and one
// snapshot "QZHNAS-old-fs1" on fs1.
nlohmann::json standardSeed();

}  // namespace clienttest
