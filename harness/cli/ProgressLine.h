// The progress line of `run` on a terminal: one line, redrawn in place,
// e.g. "snap: 120 of 1000 devices done, 14 s", and cleared before the table
// is printed. The job's thread only stores the count (two relaxed atomic
// stores per change); a drawing thread redraws at most five times a second,
// and once a second for the time, however many devices the job has. Nothing is
// drawn before the job has started (its devices locked and recorded).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

class ProgressLine {
public:
    // Draws to `out` (a terminal) for a job running `operation`.
    ProgressLine(FILE* out, const std::string& operation);
    // Clears the line (as finish()).
    ~ProgressLine();

    // The job's devices done of its total; cheap, from any thread.
    void update(int done, int total);
    // Stops drawing and clears the line.
    void finish();

    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    void draw();
    void run();

    FILE* out_;
    std::string operation_;
    std::chrono::steady_clock::time_point start_;
    std::atomic<int> done_{0};
    std::atomic<int> total_{-1};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool drawn_ = false;
    std::thread thread_;
};

// Whether `run` shows a progress line: standard output is a terminal and
// neither --quiet nor --json was given.
bool wantProgressLine(bool quiet, bool json);
