// The server's task queue: each connection gets a thread of its own, up to
// a cap, instead of a fixed pool of workers. With a pool, connections that
// never finish their TLS handshake held every worker until their time-out
// and a legitimate client waited behind them; here they hold only their own
// threads. Past the cap, connections wait for a thread in arrival order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include <httplib.h>

namespace arraysim {

class ConnectionThreads : public httplib::TaskQueue {
public:
    explicit ConnectionThreads(size_t most) : most_(most) {}
    ~ConnectionThreads() override { shutdown(); }

    void enqueue(std::function<void()> task) override;
    // Waits until every task taken has run and every thread has ended.
    void shutdown() override;

private:
    void run(std::function<void()> task);

    const size_t most_;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> waiting_;
    size_t running_ = 0;
};

}  // namespace arraysim
