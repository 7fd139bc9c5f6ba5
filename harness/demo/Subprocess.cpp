#include "harness/demo/Subprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

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

}  // namespace

pid_t startProcess(const std::vector<std::string>& argv, const std::string& outputPath) {
    if (argv.empty()) return -1;
    std::vector<std::string> copy = argv;
    std::vector<char*> raw;
    for (std::string& a : copy) raw.push_back(&a[0]);
    raw.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid < 0 ? -1 : pid;
    // Child: only async-signal-safe calls until exec.
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (input >= 0) dup2(input, STDIN_FILENO);
    if (!outputPath.empty()) {
        const int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (output >= 0) {
            dup2(output, STDOUT_FILENO);
            dup2(output, STDERR_FILENO);
        }
    }
    execv(raw[0], raw.data());
    _exit(127);
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
