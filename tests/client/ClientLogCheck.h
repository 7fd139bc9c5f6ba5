// What the client tests read from the captured log.
#pragma once

#include <string>
#include <vector>

#include "tests/fakes/LogCapture.h"

namespace clienttest {

// Messages of the lines at `level` whose context is the client's.
inline std::vector<std::string> clientLines(const fakehost::LogCapture& log, int level) {
    std::vector<std::string> found;
    for (const EvLogLine& line : log.lines())
        if (line.level == level && line.context.rfind("QzManageHNAS::", 0) == 0) found.push_back(line.message);
    return found;
}

// The failure lines (level -1) of the client.
inline std::vector<std::string> failureLines(const fakehost::LogCapture& log) { return clientLines(log, -1); }

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace clienttest
