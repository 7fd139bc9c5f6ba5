// Work spread over sessions of their own connection, several at once: the
// file systems' snapshot lists of getAllSnapshots, and the items of
// QzManageHNAS::runConcurrently. Lines are kept per item for the host's
// thread to log.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "client/ArraySession.h"

namespace managehnas {

// The requests one client may have in flight to its array at once: up to
// `most` (the setting, below the array's cap), halved by each busy answer
// (503 or 429) and one added back by each answer that is not busy, e.g.
// 8 -> busy -> 4 -> busy -> 2 -> success -> 3. Shared by the client's
// sessions, each on its own thread.
class InFlightWindow {
public:
    // Starts over at `most` (at least 1).
    void reset(int most);
    int current() const;
    void busy();
    void success();
    // Waits until fewer than current() items run, then counts one more.
    void enter();
    // Counts one item less.
    void leave();

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int most_ = 1;
    int current_ = 1;
    int running_ = 0;
};

// Runs work(session, i) for i in [0, count) on the `workers`, each on its
// own thread (the first on this one), as many at once as there are workers
// and as the first worker's in-flight window allows (ArraySession::window;
// none: as many as there are workers), taking the next item as one ends.
// Every line of item i is kept in lines[i]. `stopOnFalse`: no item is
// started after one returned false (those in flight still end). done[i]
// tells whether item i ran. The workers must be open (openLike); an
// exception ends its item as a false.
void runOnWorkers(const std::vector<ArraySession*>& workers, size_t count,
                  const std::function<bool(ArraySession&, size_t)>& work,
                  std::vector<std::vector<KeptLine>>& lines, std::vector<char>& done, bool stopOnFalse = true);

}  // namespace managehnas
