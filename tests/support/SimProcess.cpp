#include "tests/support/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/TestCertificates.h"

namespace testsupport {
namespace {

const char kListening[] = "hnas-arraysim listening on https://";

// The last ":<digits>" of the line, e.g. 40123 from "... https://127.0.0.1:40123".
int portOf(const std::string& line) {
    const size_t colon = line.rfind(':');
    if (line.compare(0, sizeof(kListening) - 1, kListening) != 0 || colon == std::string::npos) return 0;
    int port = 0;
    for (size_t i = colon + 1; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        port = port * 10 + (line[i] - '0');
    }
    return port;
}

}  // namespace

bool SimProcess::start(const std::vector<std::string>& args) {
    stop();
    // A request in flight when the simulator dies must fail, not kill the test.
    signal(SIGPIPE, SIG_IGN);
    const std::string certs = certDir();
    if (certs.empty()) return false;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    std::vector<std::string> argv = {HNAS_ARRAYSIM_BINARY, "--port", "0", "--cert", certs + "/server.pem",
                                     "--key", certs + "/server.key"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(&a[0]);
    raw.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(out[0]);
        close(out[1]);
        return false;
    }
    if (pid == 0) {
        // The simulator does not outlive a test that dies.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(out[1], STDOUT_FILENO);
        execv(raw[0], raw.data());
        _exit(127);
    }
    close(out[1]);
    pid_ = pid;
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        struct pollfd p = {out[0], POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buffer[256];
        const ssize_t n = read(out[0], buffer, sizeof(buffer));
        if (n <= 0) break;
        line.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    port_ = portOf(line);
    if (port_ == 0) {
        kill();
        return false;
    }
    return true;
}

void SimProcess::reap(int signalNumber, int graceMs) {
    if (pid_ <= 0) return;
    ::kill(pid_, signalNumber);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    port_ = 0;
}

void SimProcess::stop() { reap(SIGTERM, 5000); }

void SimProcess::kill() { reap(SIGKILL, 5000); }

int runSimulatorOnce(const std::vector<std::string>& args, std::string& out, std::string& err) {
    out.clear();
    err.clear();
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return -1;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return -1;
    }
    std::vector<std::string> argv = {HNAS_ARRAYSIM_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(&a[0]);
    raw.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        execv(raw[0], raw.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return -1;
    }
    // Both pipes are read until they close, so that neither fills up.
    struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* texts[2] = {&out, &err};
    int openPipes = 2;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (openPipes > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || poll(fds, 2, static_cast<int>(left)) <= 0) {
            timedOut = true;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
            if (n > 0) {
                texts[i]->append(buffer, static_cast<size_t>(n));
                continue;
            }
            close(fds[i].fd);
            fds[i].fd = -1;
            --openPipes;
        }
    }
    for (const struct pollfd& p : fds) {
        if (p.fd >= 0) close(p.fd);
    }
    if (timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || timedOut || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::unique_ptr<httplib::SSLClient> SimProcess::client() const {
    auto c = std::make_unique<httplib::SSLClient>("127.0.0.1", port_);
    c->set_ca_cert_path((certDir() + "/ca.pem").c_str());
    c->enable_server_certificate_verification(true);
    c->set_connection_timeout(5, 0);
    c->set_read_timeout(10, 0);
    c->set_write_timeout(10, 0);
    return c;
}

}  // namespace testsupport
