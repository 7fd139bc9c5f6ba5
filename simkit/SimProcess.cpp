#include "simkit/SimProcess.h"

#include "syskit/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace simkit {
namespace {

const char kListening[] = "hnas-arraysim listening on https://";
const char kAdminTokenVariable[] = "HNAS_ARRAYSIM_ADMIN_TOKEN";
const char kLoopback[] = "127.0.0.1";
const int kStartWaitMs = 15000;
const int kStopGraceMs = 5000;
const int kRunOnceWaitMs = 10000;

using Clock = std::chrono::steady_clock;

// The last ":<digits>" of the line, e.g. 40123 from "... https://127.0.0.1:40123".
int portOf(const std::string& line) {
    const size_t colon = line.rfind(':');
    if (line.compare(0, sizeof(kListening) - 1, kListening) != 0 || colon == std::string::npos) return 0;
    int port = 0;
    for (size_t i = colon + 1; i < line.size() && line[i] >= '0' && line[i] <= '9' && port <= 65535; ++i) {
        port = port * 10 + (line[i] - '0');
    }
    return port <= 65535 ? port : 0;
}

int millisecondsLeft(Clock::time_point deadline) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
}

// Reads `fd` into `text` until `done` says so, the pipe closes or the
// deadline passes; false when the deadline passed.
template <typename Done>
bool readUntil(int fd, std::string& text, Clock::time_point deadline, Done done) {
    while (!done()) {
        const int left = millisecondsLeft(deadline);
        struct pollfd p = {fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, left) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n <= 0) return true;
        text.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

bool SimProcess::start(const SimOptions& options, std::string& error) {
    stop();
    options_ = options;
    return launch(error);
}

bool SimProcess::restart(std::string& error) {
    stop();
    // The same port, so that whoever was told it still reaches it.
    options_.port = port_;
    // A port just released may need a moment before it can be bound again.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (launch(error)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
}

bool SimProcess::launch(std::string& error) {
    const std::string seeLog = options_.logFile.empty() ? "" : "; see " + options_.logFile;
    std::vector<std::string> argv = {options_.binary, "--address", kLoopback, "--port", std::to_string(options_.port),
                                     "--cert", options_.certFile, "--key", options_.keyFile};
    argv.insert(argv.end(), options_.args.begin(), options_.args.end());
    std::vector<std::string> environment;
    const std::string tokenPrefix = std::string(kAdminTokenVariable) + "=";
    for (char** e = environ; *e != nullptr; ++e) {
        if (options_.adminToken.empty() || std::strncmp(*e, tokenPrefix.c_str(), tokenPrefix.size()) != 0) {
            environment.push_back(*e);
        }
    }
    if (!options_.adminToken.empty()) environment.push_back(tokenPrefix + options_.adminToken);
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int log = options_.logFile.empty()
                        ? -1
                        : open(options_.logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    int out[2] = {-1, -1};
    const bool piped = pipe2(out, O_CLOEXEC) == 0;
    syskit::ChildSpec child;
    child.argv = argv;
    child.environment = &environment;
    child.input = input;
    child.output = out[1];
    child.error = log;
    child.dieWithParent = true;
    const pid_t pid = piped ? syskit::startChild(child) : -1;
    if (input >= 0) close(input);
    if (out[1] >= 0) close(out[1]);
    if (pid < 0) {
        if (out[0] >= 0) close(out[0]);
        if (log >= 0) close(log);
        error = "cannot start " + options_.binary;
        return false;
    }
    pid_ = pid;
    std::string line;
    const bool inTime = readUntil(out[0], line, Clock::now() + std::chrono::milliseconds(kStartWaitMs),
                                  [&line] { return line.find('\n') != std::string::npos; });
    close(out[0]);
    port_ = portOf(line);
    // The listening line goes to the log with the rest of its output.
    if (log >= 0 && !line.empty() && write(log, line.data(), line.size()) < 0) {
        // The log is for reading afterwards; the simulator runs without it.
    }
    if (log >= 0) close(log);
    if (port_ > 0) return true;
    kill();
    error = (inTime ? "hnas-arraysim ended at start" : "hnas-arraysim did not start within 15 s") + seeLog;
    return false;
}

void SimProcess::reap(int signalNumber, int graceMs) {
    if (pid_ <= 0) return;
    syskit::stopProcess(pid_, signalNumber, graceMs);
    // The port stays known, for a restart on it.
    pid_ = -1;
}

void SimProcess::stop() { reap(SIGTERM, kStopGraceMs); }

void SimProcess::kill() { reap(SIGKILL, kStopGraceMs); }

SimClient SimProcess::client() const { return SimClient(port_, options_.caFile); }

int runSimulatorOnce(const std::string& binary, const std::vector<std::string>& args, std::string& out,
                     std::string& err) {
    std::vector<std::string> argv = {binary};
    argv.insert(argv.end(), args.begin(), args.end());
    return syskit::runCapturing(argv, kRunOnceWaitMs, out, err);
}

}  // namespace simkit
