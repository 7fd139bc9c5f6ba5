#include "client/Workers.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace managehnas {

void InFlightWindow::reset(int most) {
    std::lock_guard<std::mutex> lock(mutex_);
    most_ = most > 1 ? most : 1;
    current_ = most_;
    changed_.notify_all();
}

int InFlightWindow::current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return current_;
}

void InFlightWindow::busy() {
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = current_ > 1 ? current_ / 2 : 1;
}

void InFlightWindow::success() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_ < most_) {
        ++current_;
        changed_.notify_all();
    }
}

void InFlightWindow::enter() {
    std::unique_lock<std::mutex> lock(mutex_);
    // A timed wait: condition_variable::wait is a symbol of GCC 12's
    // libstdc++ (GLIBCXX_3.4.30), which hosts with an older one lack; the
    // timed one is compiled in. The wait ends at a notify as before.
    while (!(running_ < current_)) changed_.wait_for(lock, std::chrono::seconds(1));
    ++running_;
}

void InFlightWindow::leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_ > 0) --running_;
    changed_.notify_all();
}

void runOnWorkers(const std::vector<ArraySession*>& workers, size_t count,
                  const std::function<bool(ArraySession&, size_t)>& work,
                  std::vector<std::vector<KeptLine>>& lines, std::vector<char>& done, bool stopOnFalse) {
    lines.assign(count, std::vector<KeptLine>());
    done.assign(count, 0);
    if (workers.empty()) return;
    InFlightWindow* window = workers.front()->window();
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    auto loop = [&](ArraySession& session) {
        for (;;) {
            if (window != nullptr) window->enter();
            const size_t i = next++;
            if (i >= count || failed) {
                if (window != nullptr) window->leave();
                break;
            }
            session.keepLinesIn(&lines[i]);
            bool ok = false;
            try {
                ok = work(session, i);
            } catch (...) {
                ok = false;
            }
            done[i] = 1;
            if (!ok && stopOnFalse) failed = true;
            if (window != nullptr) window->leave();
        }
        session.keepLinesIn(nullptr);
    };
    std::vector<std::thread> threads;
    threads.reserve(workers.size());
    try {
        for (size_t w = 1; w < workers.size(); ++w) threads.emplace_back(loop, std::ref(*workers[w]));
    } catch (...) {
        // No thread to be had: the threads started and this one do the work.
    }
    loop(*workers[0]);
    for (std::thread& thread : threads) thread.join();
}

}  // namespace managehnas
