// hnas-arraysim as a child process on a loopback port, and its admin
// interface (seed, state, faults, calls) over HTTPS.
#pragma once

#include <sys/types.h>

#include <string>

struct SimulatorOptions {
    std::string binary;          // e.g. "out/native/bin/hnas-arraysim"
    std::string certFile;        // server.pem
    std::string keyFile;         // server.key
    std::string caFile;          // ca.pem, to verify it in admin calls
    std::string stateFile;       // SQLite state, kept across restarts
    std::string seedFile;        // "" = none
    std::string logFile;         // its standard output and error
    std::string readyFile;       // where it writes its port
    std::string adminToken;      // handed over in its environment, never on its command line
    int port = 0;                // 0 = any free port
    // Shares only inside snapshots: the plug-in makes no other, so a share
    // anywhere else is a wrong clone path, and the job fails on it.
    bool strictSnapshotPaths = true;
};

class Simulator {
public:
    Simulator() = default;
    ~Simulator() { stop(); }

    // Starts it and waits (at most 15 s) until it has written its port.
    bool start(const SimulatorOptions& options, std::string& error);
    // Starts it again with the same options on the same port (state kept).
    bool restart(std::string& error);
    // SIGTERM, then SIGKILL after 5 s.
    void stop();
    bool running() const { return pid_ > 0; }
    int port() const { return port_; }
    const SimulatorOptions& options() const { return options_; }

    // One admin call, e.g. ("POST", "/admin/faults", "{...}"). True when it
    // was answered with a 2xx status; `answer` holds the body.
    bool admin(const std::string& method, const std::string& path, const std::string& body, std::string& answer,
               std::string& error) const;

    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

private:
    bool launch(std::string& error);

    SimulatorOptions options_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// A random token of 32 hex characters.
std::string randomToken();
// Reads a whole file (never through a link); "" when it cannot.
std::string readWholeFile(const std::string& path);
// Writes a whole file with mode 0600; false when it cannot.
bool writeWholeFile(const std::string& path, const std::string& text);
