#include "syskit/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace syskit {
namespace {

long long nowMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void sleepMs(int ms) {
    struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

// Waits for `pid` until `deadline`; true with `status` when it ended.
bool waitUntil(pid_t pid, long long deadline, int& status) {
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return true;
        if (done < 0) {
            status = 0;
            return true;
        }
        if (nowMs() >= deadline) return false;
        sleepMs(10);
    }
}

// A copy of `strings` as exec wants it; the strings stay in `strings`.
std::vector<char*> execArguments(std::vector<std::string>& strings) {
    std::vector<char*> raw;
    for (std::string& s : strings) raw.push_back(&s[0]);
    raw.push_back(nullptr);
    return raw;
}

}  // namespace

pid_t startChild(const ChildSpec& spec) {
    if (spec.argv.empty()) return -1;
    std::vector<std::string> argv = spec.argv;
    std::vector<char*> rawArgv = execArguments(argv);
    std::vector<std::string> environment;
    std::vector<char*> rawEnvironment;
    if (spec.environment != nullptr) {
        environment = *spec.environment;
        rawEnvironment = execArguments(environment);
    }
    char* const* envp = spec.environment != nullptr ? rawEnvironment.data() : environ;
    const pid_t pid = fork();
    if (pid != 0) return pid < 0 ? -1 : pid;
    // Child: only async-signal-safe calls until exec.
    if (spec.dieWithParent) prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (spec.input >= 0) dup2(spec.input, STDIN_FILENO);
    if (spec.output >= 0) dup2(spec.output, STDOUT_FILENO);
    if (spec.error >= 0) dup2(spec.error, STDERR_FILENO);
    execve(rawArgv[0], rawArgv.data(), envp);
    _exit(127);
}

pid_t startProcess(const std::vector<std::string>& argv, const std::string& outputPath) {
    ChildSpec spec;
    spec.argv = argv;
    spec.input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (!outputPath.empty()) {
        spec.output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
        spec.error = spec.output;
    }
    const pid_t pid = startChild(spec);
    if (spec.input >= 0) close(spec.input);
    if (spec.output >= 0) close(spec.output);
    return pid;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& outputPath, int timeoutMs) {
    return waitProcess(startProcess(argv, outputPath), timeoutMs);
}

ProcessResult waitProcess(pid_t pid, int timeoutMs) {
    ProcessResult result;
    if (pid < 0) return result;
    result.started = true;
    int status = 0;
    if (!waitUntil(pid, nowMs() + timeoutMs, status)) {
        result.timedOut = true;
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return result;
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

void stopProcess(pid_t pid, int signalNumber, int graceMs) {
    if (pid <= 0) return;
    kill(pid, signalNumber);
    int status = 0;
    if (!waitUntil(pid, nowMs() + graceMs, status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
}

bool processRunning(pid_t pid) {
    if (pid <= 0) return false;
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

int runCapturing(const std::vector<std::string>& argv, int timeoutMs, std::string& out, std::string& err) {
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
    ChildSpec spec;
    spec.argv = argv;
    spec.output = outPipe[1];
    spec.error = errPipe[1];
    spec.dieWithParent = true;
    const pid_t pid = startChild(spec);
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
    const long long deadline = nowMs() + timeoutMs;
    while (openPipes > 0) {
        const long long left = deadline - nowMs();
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
    if (timedOut) kill(pid, SIGKILL);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || timedOut || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace syskit
