// Runs hnas-arraysim as a child process for a test: on any free loopback
// port, with the test certificates (TestCertificates.h), stopped (or killed)
// and reaped when the object goes (or killed when the test process dies).
// Every wait is bounded. Starting one makes the test process ignore SIGPIPE, so a
// request cut off by a dying simulator fails instead of killing the test.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include <httplib.h>

namespace testsupport {

class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess() { stop(); }

    // Starts the simulator with --port 0, the test certificate and `args`;
    // true once it printed its listening line (within 10 s).
    bool start(const std::vector<std::string>& args);
    // SIGTERM, then SIGKILL if it has not ended within 5 s; reaps it.
    void stop();
    // SIGKILL at once; reaps it.
    void kill();
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    int port() const { return port_; }

    // A client for the simulator that verifies its certificate, with 5 s
    // connect and 10 s read time-outs.
    std::unique_ptr<httplib::SSLClient> client() const;

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

private:
    void reap(int signalNumber, int graceMs);

    pid_t pid_ = -1;
    int port_ = 0;
};

// Runs hnas-arraysim once with exactly `args` (no port or certificate
// added) and waits for it, at most 10 s: its exit status (-1 when it could
// not run or had to be killed), with its standard output and standard
// error in `out` and `err`. E.g. runSimulatorOnce({"--help"}, out, err) == 0.
int runSimulatorOnce(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace testsupport
