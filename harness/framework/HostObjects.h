// The host objects the plug-in is handed for one job: a snap descriptor per
// device (QZSO::SnapInfo) and the host utility (QZSO::QZOSUtil), the
// in-memory host over copies of what the store holds. Every set* call
// changes the copy and writes it to the store before it returns, so what the
// plug-in was told is stored stays stored whatever happens to the job
// afterwards.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "harness/framework/ArrayClientFailures.h"
#include "harness/framework/HostLog.h"
#include "harness/framework/HostRecords.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/JobProgress.h"
#include "hostkit/HostBuffers.h"
#include "hostkit/MemHost.h"

// With "1", the host counts the size a text needs without its NUL (as some
// hosts do); otherwise with it.
constexpr char kHostSizeWithoutNulVariable[] = "HNAS_HOST_SIZE_WITHOUT_NUL";

// The size convention the environment asks the host to answer with.
hostkit::SizeConvention sizeConventionFromEnvironment();

// Where the plug-in's writes go, and the writes that could not be stored.
struct HostWrites {
    HostStore* store = nullptr;        // null: in memory only
    // The devices that act on an earlier restore point: their writes go to
    // that point (HostStore::savePointState), never to the device's row.
    std::vector<long long> onPoints;
    int failed = 0;
    std::string firstError;            // e.g. "cannot write device d1: database or disk is full"
};

// What every host object of one job shares: the job id, every array the
// host knows and the mount request source, and where log lines and writes go.
struct JobContext : hostkit::HostJob {
    HostLog* log = nullptr;
    HostWrites* writes = nullptr;
    // The last failure line the plug-in logged for each device, by device
    // id: its reason when it sets no error text.
    std::map<long long, std::string>* failureLines = nullptr;
    JobProgress* progress = nullptr;   // told each status the plug-in sets; may be null
    // Told each device the plug-in touches, so that the array client's
    // failures count for the right array; may be null.
    ArrayClientFailures* clientFailures = nullptr;
};

// The in-memory descriptor over a device record that also stores each write
// and writes its log lines to the job's host log.
class HostSnapInfo : public hostkit::MemSnapInfo {
public:
    HostSnapInfo(DeviceRecord& device, const JobContext& job) : MemSnapInfo(device, job), device_(device), job_(job) {}

    int setSnapUUID(const char* uuid) override;
    int setArrayName(const char* name) override;
    int setStatus(int status) override;
    int setSnapDevice(const char* name) override;
    int setMetadata(short type, const char* text) override;
    int setError(int code, const char* message) override;

protected:
    void logLine(int level, const char* context, std::string_view text) override;

private:
    // Stores the device's state, or one metadata text (`type` >= 0); 0 when
    // stored, 1 when the store refused it (logged, counted).
    int stored(int type = -1);
    // Tells the job's ArrayClientFailures that the plug-in is at this device.
    void touched();

    DeviceRecord& device_;
    const JobContext& job_;
};

// The host utility only reads: the in-memory one serves.
using HostOSUtil = hostkit::MemOSUtil;
