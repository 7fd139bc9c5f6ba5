#include "client/Workers.h"

#include <atomic>
#include <thread>

namespace managehnas {

void runOnWorkers(const std::vector<ArraySession*>& workers, size_t count,
                  const std::function<bool(ArraySession&, size_t)>& work,
                  std::vector<std::vector<KeptLine>>& lines, std::vector<char>& done, bool stopOnFalse) {
    lines.assign(count, std::vector<KeptLine>());
    done.assign(count, 0);
    if (workers.empty()) return;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    auto loop = [&](ArraySession& session) {
        for (size_t i = next++; i < count && !failed; i = next++) {
            session.keepLinesIn(&lines[i]);
            bool ok = false;
            try {
                ok = work(session, i);
            } catch (...) {
                ok = false;
            }
            done[i] = 1;
            if (!ok && stopOnFalse) failed = true;
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
