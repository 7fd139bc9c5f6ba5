// Test and harness hook of the logging stand-in: every line EvDebug writes is
// also handed to the installed sink. Not part of the real base library.
#pragma once

#include <functional>
#include <string>

#include "host/QzExport.h"

struct EvLogLine {
    int level;
    unsigned long long jobId;
    std::string context;
    std::string message;
};

using EvLogSink = std::function<void(const EvLogLine&)>;

// Installs `sink` (an empty function removes it). Thread-safe.
QZ_API void EvDebugSetSink(EvLogSink sink);

// Name of the environment variable that holds the log file's path. Without
// it lines go only to the sink.
constexpr char kQzLogFileVariable[] = "QZ_LOG_FILE";
