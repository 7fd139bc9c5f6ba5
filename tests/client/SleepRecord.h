// Takes over the platform's sleep (WBSLEEP_InTeRnAl) while it lives: every
// wait is recorded, none is slept, so that a test sees the client's waits
// before a retry without waiting.
#pragma once

#include <mutex>
#include <vector>

#include "standins/wbutils/WbSleepHook.h"

namespace clienttest {

class SleepRecord {
public:
    SleepRecord() {
        WbSleepSetHook([this](int ms) {
            std::lock_guard<std::mutex> lock(mutex_);
            waits_.push_back(ms);
        });
    }
    ~SleepRecord() { WbSleepSetHook(WbSleepHook()); }
    // The milliseconds of each wait, in order.
    std::vector<int> waits() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return waits_;
    }

    SleepRecord(const SleepRecord&) = delete;
    SleepRecord& operator=(const SleepRecord&) = delete;

private:
    mutable std::mutex mutex_;
    std::vector<int> waits_;
};

}  // namespace clienttest
