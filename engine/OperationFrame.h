// The frame every operation entry point runs in: job id, opening message,
// grouping of the devices by array, the per-array and per-device loops with
// their banners, the stop rule, the return code, and the release of every
// device. Each operation supplies only its per-array and per-device work.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "device/HNASSnapDevice.h"
#include "engine/CallsAhead.h"
#include "host/EvDebug.h"
#include "host/QZOSUtil.h"
#include "host/QzManageHNAS.h"
#include "host/SnapInfo.h"
#include "records/HNASDeviceRecords.h"
#include "utils/HNASUtils.h"

// What the per-device work of an operation tells the frame.
enum class DeviceOutcome {
    Succeeded,             // counted; end-of-device banner; next device number
    SucceededNoBanner,     // counted; no end-of-device banner; next device number
    // Exists for delete and reconcile: a device whose prepare failed is done without using up a number.
    SucceededSameNumber,   // counted; no banner; the next device shows the same number
    NotCounted,            // not counted; end-of-device banner; next device number
    Visited,               // no banners at all (is-mapped); not counted
    Stop                   // failed: the whole operation ends here
};

// Prepare: the virtual server found, and each file-system look-up made, so
// that each is asked once per group.
struct PrepareGroupState {
    __HNASVirtualServers server;
    // File-system IDs by the name asked for, and the array's label of each ID read.
    std::unordered_map<std::string, std::string> fileSystemIdByName;
    std::unordered_map<std::string, std::string> fileSystemNameById;
    std::unordered_map<std::string, std::string> fileSystemIdByShare;   // by "CIFS:data", "NFS:/exp1"
};

// Snap: the group's devices by file-system ID, in group order.
struct SnapGroupState {
    std::unordered_map<std::string, std::vector<HNASSnapDevice*>> devicesByFileSystem;
};

// Reconcile: the array's snapshots, listed once per group.
struct ReconcileGroupState {
    std::vector<__HNASFileSystemSnapshot> snapshots;
    std::unordered_set<std::string> snapshotNames;   // of `snapshots`, for lookup
    // The file systems whose snapshots the array could not list (not
    // mounted): `snapshots` holds none of theirs.
    std::vector<__HNASFileSystemInfo> unlistedFileSystems;
    bool snapshotsRead = false;
};

// Per-group values, each under the operation that keeps them.
struct GroupState {
    // The reads made ahead for the group's devices (prepare, is-mapped, map).
    ReadsAhead ahead;
    PrepareGroupState prepare;
    SnapGroupState snap;
    ReconcileGroupState reconcile;
};

// Everything one entry-point call uses; nothing survives the call.
struct OperationState {
    explicit OperationState(unsigned long long operationJobId)
        : jobId(operationJobId), client(operationJobId), utils(operationJobId) {}

    unsigned long long jobId;
    std::string errorText;
    int successCount = 0;
    int arrayIndex = 0;
    int deviceIndex = 0;
    EvEvent log;
    QzManageHNAS client;
    HNASUtils utils;
    int revertWaitSeconds = 0;
    // Revert and delete: the snapshots already rolled back or deleted in this
    // call (see snapshotKey), so that devices sharing one get its one result.
    std::unordered_set<std::string> snapshotsDone;
};

// Names one snapshot of one array within a call, e.g. "evs1" + "\n" + the
// object ID: the same snapshot reached through two control hosts of one
// array is still one snapshot.
inline std::string snapshotKey(const _HNASDeviceInfo& info, const std::string& snapshot) {
    return info.arrayId + "\n" + snapshot;
}

struct OperationSpec;

// The function slots of an operation; each is optional but the device work.
// After the array banner and before init: a line that belongs to the group
// whose init follows.
using AnnounceGroupFn = void (*)(OperationState&, const OperationSpec&, const _HNASArrayToDeviceMap&);
// Once before the arrays (after a successful grouping).
using BeforeArraysFn = void (*)(OperationState&, const OperationSpec&);
// After banner and init of a group; false stops the operation.
using BeginGroupFn = bool (*)(OperationState&, const OperationSpec&, _HNASArrayToDeviceMap&, GroupState&);
// One device: gets the device's own record, read-only (an operation that
// builds on it works on a copy), sets the device's status and says how it went.
using DeviceWorkFn = DeviceOutcome (*)(OperationState&, const OperationSpec&, _HNASArrayToDeviceMap&,
                                       GroupState&, HNASSnapDevice&, const _HNASDeviceInfo&);
// After the arrays, told whether the operation was stopped.
using AfterArraysFn = void (*)(OperationState&, const OperationSpec&, bool stopped);

// How the grouping presets a descriptor's status before its device exists.
enum class PresetRule {
    None,                  // reconcile: the descriptor keeps its status
    Always,                // set presetStatus
    UnlessPrepareFailed    // delete, revert: set presetStatus unless the status is the prepare failure
};

// Everything the frame and the grouping need to know of one operation; the
// frame reads these fields and holds no branch on the operation itself.
struct OperationSpec {
    _HNASSnapOpType type = HNAS_SNAP_OP_INVALID;
    const char* context = nullptr;          // e.g. "QZSnapEngineHNAS::qzso_snapDevices"
    // Opening line before " Device count[<n>]", e.g. "Creating Snap. Snap
    // Engine [HNAS]."; null: none.
    const char* openingMessage = nullptr;
    const char* phase = nullptr;            // banner phase word, e.g. "SNAP PHASE"; null: no banners
    bool bannerBeforeInit = true;
    // Snap's end-of-device banner carries one "=" more than the others.
    bool endDeviceBannerExtraEquals = false;
    bool stopsOnFailure = true;             // false only for is-mapped
    bool alwaysReturnsZero = false;         // is-mapped

    PresetRule presetRule = PresetRule::Always;
    QZSO::SnapStatus presetStatus = QZSO::SnapStatus(0);   // the operation's failure status
    // "Nothing to process": a device whose descriptor already holds the
    // prepare failure is grouped without a pre-operation (delete, reconcile).
    bool skipsPrepareFailed = false;

    AnnounceGroupFn beforeInit = nullptr;
    BeforeArraysFn beforeArrays = nullptr;
    BeginGroupFn beginGroup = nullptr;
    DeviceWorkFn deviceWork = nullptr;
    AfterArraysFn afterArrays = nullptr;
};

// Runs one operation over the host's descriptors and returns its code:
// 0 all succeeded, 1 none did, 2 some did.
int runOperation(const OperationSpec& spec, QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil);

// Two helpers that differ only in order: each operation keeps its own order of status and log line.
// Sets the failure on the device and logs it at level -1 (in that order).
void failDevice(OperationState& state, const OperationSpec& spec, HNASSnapDevice& device,
                QZSO::SnapStatus status, int errorCode, const std::string& message);
// Logs the failure at level -1, then sets it on the device.
void logThenFailDevice(OperationState& state, const OperationSpec& spec, HNASSnapDevice& device,
                       QZSO::SnapStatus status, int errorCode, const std::string& message);

// Grouping of the descriptors by the control host that serves them.
bool getArrayToDeviceMap(_HNASSnapOpType opType, QZSO::SnapInfo** snaps, short count,
                         QZSO::QZOSUtil const* osUtil, std::vector<HNASSnapDevice*>& devices,
                         std::vector<_HNASArrayToDeviceMap>& groups);
bool addToArrayToDeviceMap(QZSO::QZOSUtil const* osUtil, std::vector<_HNASArrayToDeviceMap>& groups,
                           HNASSnapDevice* device);
