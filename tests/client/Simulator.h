// hnas-arraysim run by a test: started on a free loopback port with a fresh
// state file, the test certificate and a seed; its admin interface reached
// over HTTPS; always killed when the object dies.
#pragma once

#include <sys/types.h>

#include <string>

#include <nlohmann/json.hpp>

#include "tests/client/TestCerts.h"

namespace clienttest {

// The seeded array's credentials.
constexpr char kSimUser[] = "supervisor";
constexpr char kSimPassword[] = "Sup3r-Secret!pw";

class Simulator {
public:
    // Starts the binary with `seed` (the array-sim seed format) and waits,
    // at most 10 s, for its "listening" line. started() tells whether it came up.
    explicit Simulator(const nlohmann::json& seed);
    ~Simulator();

    bool started() const { return port_ > 0; }
    int port() const { return port_; }

    // One admin call; false when it does not answer 200. `answer` gets the
    // parsed body (null when none).
    bool admin(const std::string& method, const std::string& path, const nlohmann::json& body,
               nlohmann::json* answer = nullptr);
    // POST /admin/faults with `fault`, e.g. {"operation":"createSnapshot","status":500}.
    bool inject(const nlohmann::json& fault);
    // GET /admin/state.
    nlohmann::json state();
    // The recorded storage calls, e.g. [{"operation":"createSnapshot","status":201}].
    nlohmann::json calls();
    // How many recorded calls were of `operation`.
    int callCount(const std::string& operation);

    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

private:
    void stop();

    TempDir dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// The seed most tests use: array "hnas1" with a file-services virtual server
// "evs1" (ID 1, addresses 192.0.2.10 and 192.0.2.11), an administrative one
// named "hnas1-admin", file systems "fs1" and "fs2", CIFS share "data"
// (path "\data", two permissions) and NFS export "/exp1" on fs1, and one
// snapshot "QZHNAS-old-fs1" on fs1.
nlohmann::json standardSeed();

}  // namespace clienttest
