// Threads that run the handlers of requests already read whole. A handler
// may wait (an injected latency), so each running one holds a thread of
// its own, up to a cap; past it, requests wait in arrival order. A thread
// that finds no work for a while ends, so a burst leaves nothing behind.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace arraysim {

class WorkerThreads {
public:
    explicit WorkerThreads(size_t most) : most_(most) {}
    ~WorkerThreads() { shutdown(); }

    void enqueue(std::function<void()> task);
    // Runs what is queued, then waits until every thread has ended.
    void shutdown();

    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

private:
    void run();

    const size_t most_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable ended_;
    std::deque<std::function<void()>> tasks_;
    size_t threads_ = 0;
    size_t idle_ = 0;
    bool stopping_ = false;
};

}  // namespace arraysim
