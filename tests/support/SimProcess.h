// hnas-arraysim for a test, through the one launcher (simkit/SimProcess.h):
// the built binary with the test certificates (TestCertificates.h) on any
// free loopback port. Starting one makes the test process ignore SIGPIPE, so
// a request cut off by a dying simulator fails instead of killing the test.
// Simulator below is one seeded from a fresh state file, with the admin calls
// the tests make (simkit/SimAdmin.h).
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "simkit/SimProcess.h"
#include "tests/support/TempDirectory.h"

namespace testsupport {

// The options of a test's simulator: the built binary, the test
// certificates, and `args` after them.
simkit::SimOptions simOptions(const std::vector<std::string>& args = {});
// Starts `sim` with simOptions(args); true once it listens (within 15 s).
bool startSim(simkit::SimProcess& sim, const std::vector<std::string>& args);

// Runs the built hnas-arraysim once with exactly `args` (no port or
// certificate added) and waits for it, at most 10 s: its exit status (-1
// when it could not run or had to be killed), with its standard output and
// standard error in `out` and `err`. E.g. runSimulatorOnce({"--help"}, out, err) == 0.
int runSimulatorOnce(const std::vector<std::string>& args, std::string& out, std::string& err);

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
    TempDirectory dir_;
    simkit::SimProcess process_;
};

// The seed most tests use: array "hnas1" with a file-services virtual server
// "evs1" (ID 1, addresses 192.0.2.10 and 192.0.2.11), an administrative one
// named "hnas1-admin", file systems "fs1" and "fs2", CIFS share "data"
// (path "\data", two permissions) and NFS export "/exp1" on fs1, and one
// snapshot "QZHNAS-old-fs1" on fs1.
nlohmann::json standardSeed();

}  // namespace testsupport
