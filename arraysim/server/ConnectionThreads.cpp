#include "arraysim/server/ConnectionThreads.h"

#include <thread>
#include <utility>

namespace arraysim {

void ConnectionThreads::enqueue(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_ >= most_) {
        waiting_.push_back(std::move(task));
        return;
    }
    ++running_;
    std::thread([this, task = std::move(task)]() mutable { run(std::move(task)); }).detach();
}

// Runs the task, then the waiting ones, until none is left.
void ConnectionThreads::run(std::function<void()> task) {
    for (;;) {
        task();
        std::lock_guard<std::mutex> lock(mutex_);
        if (waiting_.empty()) {
            --running_;
            idle_.notify_all();
            return;
        }
        task = std::move(waiting_.front());
        waiting_.pop_front();
    }
}

void ConnectionThreads::shutdown() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return running_ == 0 && waiting_.empty(); });
}

}  // namespace arraysim
