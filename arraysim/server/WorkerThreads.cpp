#include "arraysim/server/WorkerThreads.h"

#include <chrono>
#include <thread>
#include <utility>

namespace arraysim {
namespace {

// How long a thread waits for work before it ends.
const std::chrono::seconds kIdleEnd(30);

}  // namespace

void WorkerThreads::enqueue(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
    if (tasks_.size() <= idle_) {
        work_.notify_one();
        return;
    }
    if (threads_ >= most_) return;
    ++threads_;
    std::thread([this] { run(); }).detach();
}

void WorkerThreads::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idle_;
        work_.wait_for(lock, kIdleEnd, [this] { return !tasks_.empty() || stopping_; });
        --idle_;
        if (tasks_.empty()) break;
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        task = nullptr;
        lock.lock();
    }
    --threads_;
    ended_.notify_all();
}

void WorkerThreads::shutdown() {
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    work_.notify_all();
    ended_.wait(lock, [this] { return threads_ == 0; });
}

}  // namespace arraysim
