// What the simulator's request handlers share: the arrays, the state file,
// the faults, the record of calls and the admin credential. One mutex guards
// all of it; handlers hold it while they read or change anything.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "arraysim/model/ArrayTypes.h"
#include "arraysim/server/FaultTable.h"
#include "arraysim/store/SqliteStore.h"

namespace arraysim {

// One storage request as the admin interface reports it.
struct CallEntry {
    std::string operation;   // e.g. "createSnapshot"
    std::string user;        // X-Subsystem-User as sent, cut to kMaxRecordedHeader bytes
    int status = 0;          // 0: the connection was closed without an answer
    uint64_t micros = 0;     // time the simulator spent on it, injected delay excluded
    uint64_t endMicros = 0;  // when it was answered, from the last clear of the record
};

// The longest header value the call record keeps.
constexpr size_t kMaxRecordedHeader = 64;
// Calls kept by default (the oldest go first).
constexpr size_t kDefaultCallsKept = 10000;

// The record of storage calls: the last `kept` of them, and totals since it
// was last cleared.
struct CallRecord {
    size_t kept = kDefaultCallsKept;
    std::deque<CallEntry> entries;
    uint64_t total = 0;          // calls since the last clear
    uint64_t totalMicros = 0;    // their time in the simulator
    std::chrono::steady_clock::time_point cleared = std::chrono::steady_clock::now();

    void add(const char* operation, const std::string& user, int status, uint64_t micros) {
        const auto end = std::chrono::steady_clock::now() - cleared;
        entries.push_back({operation, user.substr(0, kMaxRecordedHeader), status, micros,
                           static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(end).count())});
        while (entries.size() > kept) entries.pop_front();
        ++total;
        totalMicros += micros;
    }
    void clear() {
        entries.clear();
        total = 0;
        totalMicros = 0;
        cleared = std::chrono::steady_clock::now();
    }
};

// Start options that shape how a share is created.
struct ShareCreateOptions {
    bool strictSnapshotPaths = false;        // shares only inside snapshots (catches a wrong clone path)
    bool ignoreNoDefaultSecurity = false;    // every new CIFS share gets the default access entry
};

struct SimContext {
    std::mutex mutex;
    arraymodel::State state;
    SqliteStore* store = nullptr;   // null: the state lives in memory only
    FaultTable faults;
    CallRecord calls;
    std::string adminToken;         // empty: the admin interface is off
    size_t maxBodyBytes = 1 << 20;  // longest request body accepted
    ShareCreateOptions shareCreate;
    // The REST server's connection limits, as file-devices/management-access/rest
    // reports them: as the administrator set it, and the most the server takes.
    int maxAllowedConnections = 20;
    int maxSupportedConnections = 512;
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
