// hnas-arraysim as a child process, the one launcher the demo, the tests and
// the benchmarks share: started on a loopback port (any free one, or a
// given one), its port read from the line it prints once it listens,
// stopped (or killed) and reaped when the object goes. It does not outlive
// the thread that started it, and every wait is bounded.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "simkit/SimClient.h"

namespace simkit {

struct SimOptions {
    std::string binary;        // e.g. "out/native/bin/hnas-arraysim"
    std::string certFile;      // server.pem
    std::string keyFile;       // server.key
    std::string caFile;        // ca.pem: the admin calls and client() verify the simulator with it
    std::string adminToken;    // "" = none; handed over in its environment, never on its command line
    std::vector<std::string> args;   // further options, e.g. {"--state", F, "--seed", S}
    std::string logFile;       // its listening line and standard error are appended there; "" = our standard error
    int port = 0;              // 0 = any free port
    int adminTimeoutSecs = 10; // an admin call fails once nothing moved for this long
};

class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess() { stop(); }

    // Starts it and waits (at most 15 s) until it listens.
    bool start(const SimOptions& options, std::string& error);
    // Starts it again, stopped or not, with the same options on the port it
    // last had (its state file, if any, kept), retrying while the port is
    // not free yet.
    bool restart(std::string& error);
    // SIGTERM, then SIGKILL if it has not ended within 5 s; reaps it.
    void stop();
    // SIGKILL at once; reaps it.
    void kill();
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    int port() const { return port_; }   // the last one it listened on; 0 before
    const SimOptions& options() const { return options_; }

    // A client of its port that verifies it with the CA file: 5 s to
    // connect, and a call fails once nothing moved for 10 s.
    SimClient client() const;

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

private:
    bool launch(std::string& error);
    void reap(int signalNumber, int graceMs);

    SimOptions options_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// Runs `binary` once with exactly `args` and waits for it, at most 10 s:
// its exit status (-1 when it could not run or had to be killed), with its
// standard output and standard error in `out` and `err`.
int runSimulatorOnce(const std::string& binary, const std::vector<std::string>& args, std::string& out,
                     std::string& err);

}  // namespace simkit
