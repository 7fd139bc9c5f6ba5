// Child processes with bounded waits: started with exec (only
// async-signal-safe calls between fork and exec), their standard streams
// where the caller says, waited for with a deadline, stopped with a grace
// period and always reaped. The demo's jobs and certificate script, the
// simulator's launcher and the tests' commands all start theirs here.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace syskit {

struct ProcessResult {
    bool started = false;
    bool timedOut = false;     // killed after the time-out
    int exitCode = -1;         // when it exited
    int signal = 0;            // when a signal ended it
};

// How a child starts. The descriptors stay the caller's (close them after
// the start); -1 leaves that stream as ours.
struct ChildSpec {
    std::vector<std::string> argv;                       // argv[0] is the program's path
    const std::vector<std::string>* environment = nullptr;   // "NAME=value" lines; null: ours
    int input = -1;
    int output = -1;
    int error = -1;
    bool dieWithParent = false;   // killed when the thread that started it ends
};

// Starts `spec`; its process id, or -1 when it could not start.
pid_t startChild(const ChildSpec& spec);

// Runs `argv` with stdout and stderr appended to `outputPath` ("" =
// inherited) and standard input from /dev/null; waits at most `timeoutMs`,
// then kills it.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& outputPath, int timeoutMs);

// Starts `argv` in the background, output appended to `outputPath`;
// -1 when it could not start.
pid_t startProcess(const std::vector<std::string>& argv, const std::string& outputPath);

// Sends `signalNumber`, waits up to `graceMs` for the end, then SIGKILL; reaps.
void stopProcess(pid_t pid, int signalNumber, int graceMs);

// True while the child `pid` has not ended (reaps it when it has).
bool processRunning(pid_t pid);

// Waits up to `timeoutMs` for the child `pid` to end and reaps it (killing
// it when the time is up).
ProcessResult waitProcess(pid_t pid, int timeoutMs);

// Runs `argv` (our environment, our standard input) and waits at most
// `timeoutMs` for it: its exit status (-1 when it could not run or had to
// be killed), with its standard output and standard error in `out` and
// `err`. E.g. runCapturing({"/bin/echo", "hi"}, 10000, out, err) == 0, out == "hi\n".
int runCapturing(const std::vector<std::string>& argv, int timeoutMs, std::string& out, std::string& err);

}  // namespace syskit
