// Captures every EvDebug line written while it lives.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "standins/qzlib/EvDebugSink.h"

namespace fakehost {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();

    std::vector<EvLogLine> lines() const;
    // True when some line has exactly this message (and level, when given).
    bool has(const std::string& message) const;
    bool has(int level, const std::string& message) const;
    // Messages in order, one per line.
    std::string text() const;

    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

private:
    mutable std::mutex mutex_;
    std::vector<EvLogLine> lines_;
};

}  // namespace fakehost
