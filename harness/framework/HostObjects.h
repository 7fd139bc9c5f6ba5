// The host objects the plug-in is handed for one job: a snap descriptor per
// device (QZSO::SnapInfo) and the host utility (QZSO::QZOSUtil), over copies
// of what the store holds. Every set* call changes the copy and writes it to
// the store before it returns, so what the plug-in was told is stored stays
// stored whatever happens to the job afterwards.
#pragma once

#include <string>
#include <vector>

#include "harness/framework/HostLog.h"
#include "harness/framework/HostRecords.h"
#include "harness/framework/HostStore.h"
#include "host/QZOSUtil.h"
#include "host/SnapInfo.h"

// Where the plug-in's writes go, and the writes that could not be stored.
struct HostWrites {
    HostStore* store = nullptr;        // null: in memory only
    int failed = 0;
    std::string firstError;            // e.g. "cannot write device d1: database or disk is full"
};

// What every host object of one job shares.
struct JobContext {
    unsigned long long jobId = 0;
    std::vector<ArrayRecord> arrays;   // every array the host knows, in the order added
    // Answer to GET_VALUE_VOLSNAP_OP_SOURCE (2 = a request from the GUI);
    // 0 means the host has no value for it.
    int mountRequestSource = 0;
    HostLog* log = nullptr;
    HostWrites* writes = nullptr;
};

// The array called `name`, or null.
const ArrayRecord* findArrayByName(const JobContext& job, const std::string& name);

class HostSnapInfo : public QZSO::SnapInfo {
public:
    HostSnapInfo(DeviceRecord& device, const JobContext& job) : device_(device), job_(job) {}

    int getSnapUUID(char* buffer, short* size) override;
    int setSnapUUID(const char* uuid) override;
    int getArrayInfo(char* buffer, short* size) override;
    // "hnas1" or "10.0.0.5|10.0.0.6|evs1|hnas1": attaches the first name of
    // the list that the host knows.
    int setArrayName(const char* name) override;
    QZSO::SnapStatus getStatus() override;
    int setStatus(int status) override;
    int getSourceDevice(char* buffer, short* size) override;
    int setSnapDevice(const char* name) override;
    int getMetadata(short type, char* buffer, short* size) override;
    int setMetadata(short type, const char* text) override;
    int setError(int code, const char* message) override;
    int getError(int* code, char* message, short size) override;
    void logMessage(int level, const char* text) override;
    void logFormatted(int level, const char* context, const char* format, ...) override
        __attribute__((format(printf, 4, 5)));
    int getArrayConfigInt(const char* name, int* value) override;
    int getArrayConfigString(const char* name, char* buffer, int* size) override;
    int getValueInt(short key, int* value) override;
    int getValueString(short key, char* buffer, short* size) override;

private:
    const ArrayRecord* attachedArray() const;
    // Stores the device's state, or one metadata text (`type` >= 0); 0 when
    // stored, 1 when the store refused it (logged, counted).
    int stored(int type = -1);

    DeviceRecord& device_;
    const JobContext& job_;
};

class HostOSUtil : public QZSO::QZOSUtil {
public:
    explicit HostOSUtil(const JobContext& job) : job_(job) {}

    int listArrays(const char* vendor, char separator, int size, char* buffer) override;
    int getArrayInfoByName(const char* name, char* buffer, short* size) override;
    unsigned long long getJobId() const override;
    int getArrayConfigInt(int controlHostId, int reserved, const char* name, int* value) override;
    int getArrayConfigString(int controlHostId, int reserved, const char* name, char* buffer,
                             short* size) override;

private:
    const ArrayRecord* arrayByControlHost(int controlHostId) const;

    const JobContext& job_;
};

// An array configuration value as an int: the whole text must be a decimal
// integer in range, e.g. "8444"; false otherwise.
bool parseConfigInt(const std::string& text, int& value);
