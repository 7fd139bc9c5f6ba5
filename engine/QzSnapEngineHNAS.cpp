// Entry points of the plug-in, the grouping of devices by array, and the
// frame every operation runs in.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "engine/QzSnapEngineHNAS.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "engine/EngineMessages.h"
#include "engine/OperationFrame.h"
#include "engine/OperationSpecs.h"
#include "host/EvDebug.h"

namespace {

const char kUnprepareContext[] = "QZSnapEngineHNAS::qzso_unprepareDevices";
const char kGroupingContext[] = "QZSnapEngineHNAS::GetArrayToDeviceMap";
const char kAddGroupContext[] = "QZSnapEngineHNAS::AddToArrayToDeviceMap";
const char kBannerEquals[] = "=================";

// "=================SNAP PHASE-DEVICE [3]=================" and its kin.
// The end of a snap device carries one "=" more. Built on the stack: two
// banners per device would otherwise cost a handful of heap strings each.
void logBanner(OperationState& state, const OperationSpec& spec, bool end, const char* what, int number) {
    if (spec.phase == nullptr) return;
    const bool extraEquals = end && spec.endDeviceBannerExtraEquals && std::strcmp(what, "DEVICE") == 0;
    char text[160];
    std::snprintf(text, sizeof(text), "%s%s%s-%s [%d]%s%s", kBannerEquals, end ? "END " : "", spec.phase, what,
                  number, kBannerEquals, extraEquals ? "=" : "");
    state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "%s", text);
}

// Releases the devices of a call on every path out of it.
struct DeviceListRelease {
    std::vector<HNASSnapDevice*>& devices;
    ~DeviceListRelease() { HNASSnapDevice::clean(devices); }
};

// Presets the descriptor's status to the operation's failure status (see
// PresetRule); returns the status read before, 0 when none was read. Null
// `spec` (an unknown operation type): nothing is set.
QZSO::SnapStatus presetStatus(const OperationSpec* spec, QZSO::SnapInfo& snap) {
    if (spec == nullptr || spec->presetRule == PresetRule::None) return QZSO::SnapStatus(0);
    if (spec->presetRule == PresetRule::Always) {
        snap.setStatus(spec->presetStatus);
        return QZSO::SnapStatus(0);
    }
    const QZSO::SnapStatus before = snap.getStatus();
    if (before != QZSO::SNAP_STATUS_PREPARE_FAILED) snap.setStatus(spec->presetStatus);
    return before;
}

// What the frame does after a device's work, by its outcome (in the order of
// DeviceOutcome).
struct OutcomeEffect {
    bool counted;      // one more success
    bool endBanner;    // end-of-device banner
    bool nextNumber;   // the next device shows the next number
    bool stops;        // the operation ends here when it stops on failure
};
const OutcomeEffect kOutcomeEffects[] = {
    {true, true, true, false},      // Succeeded
    {true, false, true, false},     // SucceededNoBanner
    {true, false, false, false},    // SucceededSameNumber
    {false, true, true, false},     // NotCounted
    {false, false, false, false},   // Visited
    {false, false, false, true},    // Stop
};
static_assert(sizeof(kOutcomeEffects) / sizeof(kOutcomeEffects[0]) == static_cast<size_t>(DeviceOutcome::Stop) + 1,
              "one effect for each DeviceOutcome");

// Runs the work of every device of one group; true when the operation stops.
bool runGroupDevices(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap& group,
                     GroupState& groupState) {
    state.deviceIndex = 0;
    for (HNASSnapDevice* device : group.devices) {
        logBanner(state, spec, false, "DEVICE", state.deviceIndex + 1);
        const DeviceOutcome outcome = spec.deviceWork(state, spec, group, groupState, *device, device->deviceRecord());
        const OutcomeEffect& effect = kOutcomeEffects[static_cast<int>(outcome)];
        if (effect.stops && spec.stopsOnFailure) return true;
        if (effect.counted) ++state.successCount;
        if (effect.endBanner) logBanner(state, spec, true, "DEVICE", state.deviceIndex + 1);
        if (effect.nextNumber) ++state.deviceIndex;
    }
    return false;
}

// One array group: banner, client init, the group's devices, end banner.
// True when the operation stops.
bool runGroup(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap& group) {
    if (spec.bannerBeforeInit) logBanner(state, spec, false, "ARRAY", state.arrayIndex + 1);
    if (spec.beforeInit != nullptr) spec.beforeInit(state, spec, group);
    state.client.init(group.hostUserName, group.hostPassword, kArrayTypeFile, group.hostName, group.metroServerIP,
                      group.metroServerPort);
    if (!spec.bannerBeforeInit) logBanner(state, spec, false, "ARRAY", state.arrayIndex + 1);

    GroupState groupState;
    bool stopped = spec.beginGroup != nullptr && !spec.beginGroup(state, spec, group, groupState);
    if (!stopped) stopped = runGroupDevices(state, spec, group, groupState);
    // What was read ahead for devices the group did not reach is only logged.
    groupState.ahead.settle(state, spec.context);
    if (stopped) return true;
    logBanner(state, spec, true, "ARRAY", state.arrayIndex + 1);
    ++state.arrayIndex;
    return false;
}

int returnCode(int successCount, short count) {
    if (successCount <= 0) return 1;
    if (successCount < count) return 2;
    return 0;
}

}  // namespace

bool getArrayToDeviceMap(_HNASSnapOpType opType, QZSO::SnapInfo** snaps, short count,
                         QZSO::QZOSUtil const* osUtil, std::vector<HNASSnapDevice*>& devices,
                         std::vector<_HNASArrayToDeviceMap>& groups) {
    const unsigned long long jobId = osUtil != nullptr ? osUtil->getJobId() : 0;
    const OperationSpec* spec = operationSpecFor(opType);
    EvDebug log;
    for (short i = 0; i < count; ++i) {
        const int number = i + 1;
        log.DebugLvl(kGroupingContext, DebugLevel::kFlow, jobId,
                     "=======================BEGIN-CONSOLIDATING ARRAY TO DEVICE MAP FOR DEVICE "
                     "[%d]=======================",
                     number);
        QZSO::SnapInfo* snap = snaps != nullptr ? snaps[i] : nullptr;
        if (snap == nullptr) {
            // Nothing to report to: the descriptor itself is missing.
            log.DebugLvl(kGroupingContext, DebugLevel::kFailure, jobId, "%s",
                         "No snap descriptor at this position; skipped.");
            continue;
        }
        const QZSO::SnapStatus statusBefore = presetStatus(spec, *snap);
        if (spec == nullptr)
            log.DebugLvl(kGroupingContext, DebugLevel::kFailure, jobId, "%s", "Unknown operation type.");

        // The utility is the host's own object; the device keeps it as given.
        // Owned from the moment it exists: an exception from a host call or
        // from the list's growth below must not leave it behind.
        std::unique_ptr<HNASSnapDevice> owned(
            new (std::nothrow) HNASSnapDevice(snap, const_cast<QZSO::QZOSUtil*>(osUtil), opType));
        if (owned == nullptr) {
            log.DebugLvl(kGroupingContext, DebugLevel::kFailure, jobId, "%s",
                         "Failed to create HNASSnapDevice object.");
            return false;
        }
        owned->rememberStatusBeforeOperation(statusBefore);
        const bool needsNoProcessing =
            spec != nullptr && spec->skipsPrepareFailed && snap->getStatus() == QZSO::SNAP_STATUS_PREPARE_FAILED;
        log.DebugLvl(kGroupingContext, DebugLevel::kMostVerbose, jobId, "%s",
                     "Successfully created HNASSnapDevice object.");
        devices.push_back(owned.get());
        HNASSnapDevice* device = owned.release();   // the list owns it now

        if (needsNoProcessing) {
            log.DebugLvl(kGroupingContext, DebugLevel::kFlow, jobId, "%s", "No need to process");
        } else if (!device->preOperation()) {
            log.DebugLvl(kGroupingContext, DebugLevel::kFailure, jobId, "%s", "preOperation failed.");
            continue;
        }
        if (!addToArrayToDeviceMap(osUtil, groups, device)) {
            log.DebugLvl(kGroupingContext, DebugLevel::kFailure, jobId, "%s",
                         "Failed to add the array to array-to-device map structure");
        } else {
            log.DebugLvl(kGroupingContext, DebugLevel::kFlow, jobId, "%s",
                         "Added the array to array-to-device map structure");
        }
        log.DebugLvl(kGroupingContext, DebugLevel::kFlow, jobId,
                     "=======================END-CONSOLIDATING ARRAY TO DEVICE MAP FOR DEVICE "
                     "[%d]=======================",
                     number);
    }
    return !devices.empty();
}

bool addToArrayToDeviceMap(QZSO::QZOSUtil const* osUtil, std::vector<_HNASArrayToDeviceMap>& groups,
                           HNASSnapDevice* device) {
    const unsigned long long jobId = osUtil != nullptr ? osUtil->getJobId() : 0;
    const _HNASDeviceInfo& info = device->deviceRecord();
    for (_HNASArrayToDeviceMap& group : groups) {
        if (group.hostId == info.hostId) {
            EvDebug log;
            log.DebugLvl(kAddGroupContext, DebugLevel::kFlow, jobId, "%s",
                         "Array already added to array-to-device map structure");
            group.devices.push_back(device);
            return true;
        }
    }
    _HNASArrayToDeviceMap group;
    arrayLogin(group) = arrayLogin(info);
    group.devices.push_back(device);
    groups.push_back(std::move(group));
    return true;
}

void failDevice(OperationState& state, const OperationSpec& spec, HNASSnapDevice& device,
                QZSO::SnapStatus status, int errorCode, const std::string& message) {
    state.errorText = message;
    device.setStatus(status, errorCode, state.errorText);
    state.log.DebugLvl(spec.context, DebugLevel::kFailure, state.jobId, "%s", state.errorText.c_str());
}

void logThenFailDevice(OperationState& state, const OperationSpec& spec, HNASSnapDevice& device,
                       QZSO::SnapStatus status, int errorCode, const std::string& message) {
    state.errorText = message;
    state.log.DebugLvl(spec.context, DebugLevel::kFailure, state.jobId, "%s", state.errorText.c_str());
    device.setStatus(status, errorCode, state.errorText);
}

int runOperation(const OperationSpec& spec, QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil) {
    const unsigned long long jobId = osUtil != nullptr ? osUtil->getJobId() : 0;
    OperationState state(jobId);
    std::vector<_HNASArrayToDeviceMap> groups;
    std::vector<HNASSnapDevice*> devices;
    DeviceListRelease release{devices};

    if (spec.openingMessage != nullptr)
        state.log.DebugJob(spec.context, jobId, "%s Device count[%d]", spec.openingMessage, count);

    if (!getArrayToDeviceMap(spec.type, snaps, count, osUtil, devices, groups)) {
        state.log.DebugLvl(spec.context, DebugLevel::kFlow, jobId, "%s", "Failed to build array-to-device map.");
    } else {
        if (spec.beforeArrays != nullptr) spec.beforeArrays(state, spec);
        bool stopped = false;
        for (_HNASArrayToDeviceMap& group : groups) {
            stopped = runGroup(state, spec, group);
            if (stopped) break;
        }
        if (spec.afterArrays != nullptr) spec.afterArrays(state, spec, stopped);
    }
    if (spec.alwaysReturnsZero) return 0;
    return returnCode(state.successCount, count);
}

template <>
const OperationSpec* operationSpec<HNAS_SNAP_OP_INVALID>() {
    return nullptr;
}

const OperationSpec* operationSpecFor(_HNASSnapOpType type) {
    switch (type) {
#define HNAS_SPEC_OF_TYPE(entry, operation, ...) \
    case HNAS_SNAP_OP_##operation:               \
        return operationSpec<HNAS_SNAP_OP_##operation>();
        QZSO_OPERATIONS(HNAS_SPEC_OF_TYPE)
#undef HNAS_SPEC_OF_TYPE
    }
    return nullptr;
}

namespace {

// The entry point of an operation type: the frame over the descriptors.
template <_HNASSnapOpType type>
int entryPoint(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil) {
    return runOperation(*operationSpec<type>(), snaps, count, osUtil);
}

// qzso_unprepareDevices, which has no operation type: nothing to do.
template <>
int entryPoint<HNAS_SNAP_OP_INVALID>(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) {
    EvEvent log;
    log.DebugLvl(kUnprepareContext, DebugLevel::kFlow, "%s", "Nothing to be done here.");
    return 0;
}

}  // namespace

extern "C" {

void qzso_version(short* major, short* minor, short* patch) {
    *major = 1;
    *minor = 0;
    *patch = 0;
}

int qzso_isSupported(void*, int, void*, void*, short) { return 1; }

// One thunk per row of QZSO_OPERATIONS, e.g. qzso_snapDevices ->
// entryPoint<HNAS_SNAP_OP_SNAP>.
#define HNAS_ENTRY_POINT_THUNK(entry, type, ...)                                  \
    int entry(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil) {     \
        return entryPoint<HNAS_SNAP_OP_##type>(snaps, count, osUtil);            \
    }
QZSO_OPERATIONS(HNAS_ENTRY_POINT_THUNK)
#undef HNAS_ENTRY_POINT_THUNK

}
