// Child processes with bounded waits: the jobs the demo runs and the
// certificate script.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ProcessResult {
    bool started = false;
    bool timedOut = false;     // killed after the time-out
    int exitCode = -1;         // when it exited
    int signal = 0;            // when a signal ended it
};

// Runs `argv` (argv[0] is the program's path) with stdout and stderr
// appended to `outputPath` ("" = inherited) and standard input from
// /dev/null; waits at most `timeoutMs`, then kills it.
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
