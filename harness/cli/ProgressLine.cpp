#include "harness/cli/ProgressLine.h"

#include <unistd.h>

namespace {

// The first line is drawn within a poll of the job's start; redraws come
// at most every kRedrawInterval, and the time alone changes once a second.
const std::chrono::milliseconds kPollInterval(50);
const std::chrono::milliseconds kRedrawInterval(200);

// Erases from the cursor to the end of the line (the line is drawn after a
// carriage return).
const char kEraseToEnd[] = "\033[K";

}  // namespace

ProgressLine::ProgressLine(FILE* out, const std::string& operation)
    : out_(out), operation_(operation), start_(std::chrono::steady_clock::now()), thread_([this] { run(); }) {}

ProgressLine::~ProgressLine() { finish(); }

void ProgressLine::update(int done, int total) {
    done_.store(done, std::memory_order_relaxed);
    total_.store(total, std::memory_order_relaxed);
}

void ProgressLine::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (drawn_) {
        fprintf(out_, "\r%s", kEraseToEnd);
        fflush(out_);
    }
}

void ProgressLine::draw() {
    const int total = total_.load(std::memory_order_relaxed);
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                  std::chrono::steady_clock::now() - start_)
                                  .count();
    fprintf(out_, "\r%s: %d of %d devices done, %lld s%s", operation_.c_str(), done_.load(std::memory_order_relaxed),
            total, seconds, kEraseToEnd);
    fflush(out_);
    drawn_ = true;
}

void ProgressLine::run() {
    int lastDone = -1;
    long long lastSecond = -1;
    std::chrono::steady_clock::time_point lastDraw;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, kPollInterval, [this] { return stopping_; })) {
        if (total_.load(std::memory_order_relaxed) < 0) continue;   // the job has not started yet
        const auto now = std::chrono::steady_clock::now();
        const int done = done_.load(std::memory_order_relaxed);
        const long long second = std::chrono::duration_cast<std::chrono::seconds>(now - start_).count();
        if (drawn_ && (now - lastDraw < kRedrawInterval || (done == lastDone && second == lastSecond))) continue;
        lastDone = done;
        lastSecond = second;
        lastDraw = now;
        draw();
    }
}

bool wantProgressLine(bool quiet, bool json) { return !quiet && !json && isatty(STDOUT_FILENO) == 1; }
