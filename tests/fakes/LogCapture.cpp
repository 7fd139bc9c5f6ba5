#include "tests/fakes/LogCapture.h"

namespace fakehost {

LogCapture::LogCapture() {
    EvDebugSetSink([this](const EvLogLine& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
    });
}

LogCapture::~LogCapture() { EvDebugSetSink(EvLogSink()); }

std::vector<EvLogLine> LogCapture::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool LogCapture::has(const std::string& message) const {
    for (const EvLogLine& l : lines())
        if (l.message == message) return true;
    return false;
}

bool LogCapture::has(int level, const std::string& message) const {
    for (const EvLogLine& l : lines())
        if (l.level == level && l.message == message) return true;
    return false;
}

std::string LogCapture::text() const {
    std::string all;
    for (const EvLogLine& l : lines()) all += l.message + "\n";
    return all;
}

}  // namespace fakehost
