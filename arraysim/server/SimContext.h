// What the simulator's request handlers share: the arrays, the state file,
// the faults, the record of calls and the admin credential. One mutex guards
// all of it; handlers hold it while they read or change anything.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "arraysim/model/ArrayTypes.h"
#include "arraysim/server/FaultTable.h"
#include "arraysim/store/SqliteStore.h"

namespace arraysim {

// One storage request as the admin interface reports it.
struct CallEntry {
    std::string operation;   // e.g. "createSnapshot"
    std::string user;        // X-Subsystem-User as sent
    int status = 0;          // 0: the connection was closed without an answer
};

struct SimContext {
    std::mutex mutex;
    arraymodel::State state;
    SqliteStore* store = nullptr;   // null: the state lives in memory only
    FaultTable faults;
    std::vector<CallEntry> calls;
    std::string adminToken;         // empty: the admin interface is off
    bool stopping = false;          // set once; cuts injected delays short
    std::condition_variable stopped;

    // Waits `ms` milliseconds, or less when the simulator is stopping.
    void delay(int ms) {
        std::unique_lock<std::mutex> lock(mutex);
        stopped.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
    }
    void stop() {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        stopped.notify_all();
    }
};

}  // namespace arraysim
