// The in-memory host: a snap descriptor (QZSO::SnapInfo) and the host utility
// (QZSO::QZOSUtil) that answer every operation the plug-in calls from the
// plain values of HostState.h, and answer text reads through HostBuffers.h.
// The hosts that play the backup framework derive from them and override
// what they do besides: keep each write in a store, record the calls and
// script answers, or keep nothing at all.
#pragma once

#include <cstdarg>
#include <string_view>

#include "host/QZOSUtil.h"
#include "host/SnapInfo.h"
#include "hostkit/HostState.h"

namespace hostkit {

class MemSnapInfo : public QZSO::SnapInfo {
public:
    // Works over `state` and `job`, which the owner keeps; both must outlive
    // the descriptor.
    MemSnapInfo(SnapState& state, const HostJob& job) : state_(&state), job_(&job) {}

    int getSnapUUID(char* buffer, short* size) override;
    int setSnapUUID(const char* uuid) override;
    // The information of the attached array; 1 when none is attached.
    int getArrayInfo(char* buffer, short* size) override;
    // "hnas1" or "10.0.0.5|10.0.0.6|evs1|hnas1": attaches the first name of
    // the list that the host knows; 1 when it knows none.
    int setArrayName(const char* name) override;
    QZSO::SnapStatus getStatus() override;
    int setStatus(int status) override;
    int getSourceDevice(char* buffer, short* size) override;
    int setSnapDevice(const char* name) override;
    int getMetadata(short type, char* buffer, short* size) override;   // 1 when none of that type
    int setMetadata(short type, const char* text) override;            // 1 for a null text
    int setError(int code, const char* message) override;
    int getError(int* code, char* message, short size) override;
    // Both hand the line to logLine.
    void logMessage(int level, const char* text) override;
    void logFormatted(int level, const char* context, const char* format, ...) override
        __attribute__((format(printf, 4, 5)));
    // The attached array's settings; 1 when it has none of that name (or,
    // for the int, none that is a whole number).
    int getArrayConfigInt(const char* name, int* value) override;
    int getArrayConfigString(const char* name, char* buffer, int* size) override;
    // Only GET_VALUE_VOLSNAP_OP_SOURCE, from the job; 1 otherwise.
    int getValueInt(short key, int* value) override;
    int getValueString(short key, char* buffer, short* size) override;   // always 1

protected:
    // Where the descriptor's log lines go: nowhere, unless a host keeps them.
    // `context` is "" for logMessage.
    virtual void logLine(int level, const char* context, std::string_view text);
    // logFormatted's work, for hosts that override it to do more.
    void logFormattedV(int level, const char* context, const char* format, va_list args)
        __attribute__((format(printf, 4, 0)));

private:
    const HostArray* attachedArray() const;

    SnapState* state_;
    const HostJob* job_;
};

class MemOSUtil : public QZSO::QZOSUtil {
public:
    // Works over `job`, which must outlive the utility.
    explicit MemOSUtil(const HostJob& job) : job_(&job) {}

    // The vendor's arrays in the order added, joined by `separator`.
    int listArrays(const char* vendor, char separator, int size, char* buffer) override;
    // -1 for a name the host does not know.
    int getArrayInfoByName(const char* name, char* buffer, short* size) override;
    unsigned long long getJobId() const override;
    // The settings of the array with that control host ID; 1 when none.
    int getArrayConfigInt(int controlHostId, int reserved, const char* name, int* value) override;
    int getArrayConfigString(int controlHostId, int reserved, const char* name, char* buffer,
                             short* size) override;

private:
    const HostArray* arrayByControlHost(int controlHostId) const;

    const HostJob* job_;
};

}  // namespace hostkit
