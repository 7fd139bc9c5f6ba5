// Logging facility of the base library (libQzLib). One line per call: the
// context names the function, the level is -1 (failure), 0 (flow), 1
// (details), 3 or 5 (most verbose). Values from the host, the array or a
// device string are always passed as arguments of a fixed format, never as
// the format itself.
#pragma once

#include "host/QzExport.h"

// The levels of EvDebug lines, from the failure up to the most verbose.
namespace DebugLevel {
constexpr int kFailure = -1;     // every failure message
constexpr int kFlow = 0;         // banners and the main steps
constexpr int kDetails = 1;      // values found on the way
constexpr int kVerbose = 3;      // sizes and counts of what was read
constexpr int kMostVerbose = 5;  // each object made, each block parsed
}  // namespace DebugLevel

class QZ_API EvDebug {
public:
    EvDebug();
    // A logger bound to a named file instance; the stand-in treats every
    // instance alike.
    explicit EvDebug(const char* fileInstance);
    virtual ~EvDebug();

    void DebugLvl(const char* context, int level, unsigned long long jobId, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    // The form without a job id.
    void DebugLvl(const char* context, int level, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    // The opening line of a job's operation.
    void DebugJob(const char* context, unsigned long long jobId, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    // A plain text, logged as it stands.
    void Debug(const char* context, const char* text);

    EvDebug(const EvDebug&) = delete;
    EvDebug& operator=(const EvDebug&) = delete;
};

// The event logger; it writes where EvDebug writes.
class QZ_API EvEvent : public EvDebug {
public:
    EvEvent();
    ~EvEvent() override;
};
