// Entry points of the plug-in, the grouping of devices by array, and the
// frame every operation runs in.
#include "engine/QzSnapEngineHNAS.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

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
    const bool extraEquals = end && spec.type == HNAS_SNAP_OP_SNAP && std::strcmp(what, "DEVICE") == 0;
    char text[160];
    std::snprintf(text, sizeof(text), "%s%s%s-%s [%d]%s%s", kBannerEquals, end ? "END " : "", spec.phase, what,
                  number, kBannerEquals, extraEquals ? "=" : "");
    state.log.DebugLvl(spec.context, 0, state.jobId, "%s", text);
}

// Releases the devices of a call on every path out of it.
struct DeviceListRelease {
    std::vector<HNASSnapDevice*>& devices;
    ~DeviceListRelease() { HNASSnapDevice::clean(devices); }
};

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
    EvDebug log;
    for (short i = 0; i < count; ++i) {
        const int number = i + 1;
        log.DebugLvl(kGroupingContext, 0, jobId,
                     "=======================BEGIN-CONSOLIDATING ARRAY TO DEVICE MAP FOR DEVICE "
                     "[%d]=======================",
                     number);
        QZSO::SnapInfo* snap = snaps != nullptr ? snaps[i] : nullptr;
        if (snap == nullptr) {
            // Nothing to report to: the descriptor itself is missing.
            log.DebugLvl(kGroupingContext, -1, jobId, "%s", "No snap descriptor at this position; skipped.");
            continue;
        }
        QZSO::SnapStatus statusBefore = QZSO::SnapStatus(0);
        switch (opType) {
            case HNAS_SNAP_OP_PREPARE: snap->setStatus(QZSO::SNAP_STATUS_PREPARE_FAILED); break;
            case HNAS_SNAP_OP_SNAP: snap->setStatus(QZSO::SNAP_STATUS_SNAP_FAILED); break;
            case HNAS_SNAP_OP_ISMAPPED: snap->setStatus(QZSO::SNAP_STATUS_NOT_MAPPED); break;
            case HNAS_SNAP_OP_MAP: snap->setStatus(QZSO::SNAP_STATUS_MAP_FAILED); break;
            case HNAS_SNAP_OP_UNMAP: snap->setStatus(QZSO::SNAP_STATUS_UNMAP_FAILED); break;
            case HNAS_SNAP_OP_DELETE:
                if (snap->getStatus() != QZSO::SNAP_STATUS_PREPARE_FAILED)
                    snap->setStatus(QZSO::SNAP_STATUS_DELETE_FAILED);
                break;
            case HNAS_SNAP_OP_REVERT:
                statusBefore = snap->getStatus();
                if (statusBefore != QZSO::SNAP_STATUS_PREPARE_FAILED) snap->setStatus(QZSO::SNAP_STATUS_REVERT_FAILED);
                break;
            case HNAS_SNAP_OP_RECONCILE: break;
            default: log.DebugLvl(kGroupingContext, -1, jobId, "%s", "Unknown operation type."); break;
        }

        // The utility is the host's own object; the device keeps it as given.
        // Owned from the moment it exists: an exception from a host call or
        // from the list's growth below must not leave it behind.
        std::unique_ptr<HNASSnapDevice> owned(
            new (std::nothrow) HNASSnapDevice(snap, const_cast<QZSO::QZOSUtil*>(osUtil), opType));
        if (owned == nullptr) {
            log.DebugLvl(kGroupingContext, -1, jobId, "%s", "Failed to create HNASSnapDevice object.");
            return false;
        }
        owned->rememberStatusBeforeOperation(statusBefore);
        const bool needsNoProcessing = (opType == HNAS_SNAP_OP_DELETE || opType == HNAS_SNAP_OP_RECONCILE) &&
                                       snap->getStatus() == QZSO::SNAP_STATUS_PREPARE_FAILED;
        log.DebugLvl(kGroupingContext, 5, jobId, "%s", "Successfully created HNASSnapDevice object.");
        devices.push_back(owned.get());
        HNASSnapDevice* device = owned.release();   // the list owns it now

        if (needsNoProcessing) {
            log.DebugLvl(kGroupingContext, 0, jobId, "%s", "No need to process");
        } else if (!device->preOperation()) {
            log.DebugLvl(kGroupingContext, -1, jobId, "%s", "preOperation failed.");
            continue;
        }
        if (!addToArrayToDeviceMap(osUtil, groups, device)) {
            log.DebugLvl(kGroupingContext, -1, jobId, "%s", "Failed to add the array to array-to-device map structure");
        } else {
            log.DebugLvl(kGroupingContext, 0, jobId, "%s", "Added the array to array-to-device map structure");
        }
        log.DebugLvl(kGroupingContext, 0, jobId,
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
            log.DebugLvl(kAddGroupContext, 0, jobId, "%s", "Array already added to array-to-device map structure");
            group.devices.push_back(device);
            return true;
        }
    }
    _HNASArrayToDeviceMap group;
    group.hostId = info.hostId;
    group.hostUserName = info.hostUserName;
    group.hostName = info.hostName;
    group.hostPassword = info.hostPassword;
    group.arrayId = info.arrayId;
    group.metroServerPort = info.metroServerPort;
    group.metroServerIP = info.metroServerIP;
    group.devices.push_back(device);
    groups.push_back(std::move(group));
    return true;
}

void failDevice(OperationState& state, const OperationSpec& spec, HNASSnapDevice& device,
                QZSO::SnapStatus status, int errorCode, const std::string& message) {
    state.errorText = message;
    device.setStatus(status, errorCode, state.errorText);
    state.log.DebugLvl(spec.context, -1, state.jobId, "%s", state.errorText.c_str());
}

void logThenFailDevice(OperationState& state, const OperationSpec& spec, HNASSnapDevice& device,
                       QZSO::SnapStatus status, int errorCode, const std::string& message) {
    state.errorText = message;
    state.log.DebugLvl(spec.context, -1, state.jobId, "%s", state.errorText.c_str());
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

    bool stopped = false;
    if (!getArrayToDeviceMap(spec.type, snaps, count, osUtil, devices, groups)) {
        state.log.DebugLvl(spec.context, 0, jobId, "%s", "Failed to build array-to-device map.");
    } else {
        if (spec.beforeArrays != nullptr) spec.beforeArrays(state, spec);
        for (_HNASArrayToDeviceMap& group : groups) {
            if (spec.bannerBeforeInit) logBanner(state, spec, false, "ARRAY", state.arrayIndex + 1);
            if (spec.beforeInit != nullptr) spec.beforeInit(state, spec, group);
            state.client.init(group.hostUserName, group.hostPassword, "FILE", group.hostName, group.metroServerIP,
                              group.metroServerPort);
            if (!spec.bannerBeforeInit) logBanner(state, spec, false, "ARRAY", state.arrayIndex + 1);

            GroupState groupState;
            if (spec.beginGroup != nullptr && !spec.beginGroup(state, spec, group, groupState)) {
                stopped = true;
                break;
            }
            state.deviceIndex = 0;
            for (HNASSnapDevice* device : group.devices) {
                logBanner(state, spec, false, "DEVICE", state.deviceIndex + 1);
                const DeviceOutcome outcome =
                    spec.deviceWork(state, spec, group, groupState, *device, device->deviceRecord());
                switch (outcome) {
                    case DeviceOutcome::Succeeded:
                        ++state.successCount;
                        logBanner(state, spec, true, "DEVICE", state.deviceIndex + 1);
                        ++state.deviceIndex;
                        break;
                    case DeviceOutcome::SucceededNoBanner:
                        ++state.successCount;
                        ++state.deviceIndex;
                        break;
                    case DeviceOutcome::SucceededSameNumber:
                        ++state.successCount;
                        break;
                    case DeviceOutcome::NotCounted:
                        logBanner(state, spec, true, "DEVICE", state.deviceIndex + 1);
                        ++state.deviceIndex;
                        break;
                    case DeviceOutcome::Visited:
                        break;
                    case DeviceOutcome::Stop:
                        stopped = spec.stopsOnFailure;
                        break;
                }
                if (stopped) break;
            }
            if (stopped) break;
            logBanner(state, spec, true, "ARRAY", state.arrayIndex + 1);
            ++state.arrayIndex;
        }
        if (spec.afterArrays != nullptr) spec.afterArrays(state, spec, stopped);
    }
    if (spec.alwaysReturnsZero) return 0;
    return returnCode(state.successCount, count);
}

extern "C" {

void qzso_version(short* major, short* minor, short* patch) {
    *major = 1;
    *minor = 0;
    *patch = 0;
}

int qzso_isSupported(void*, int, void*, void*, short) { return 1; }

int qzso_unprepareDevices(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) {
    EvEvent log;
    log.DebugLvl(kUnprepareContext, 0, "%s", "Nothing to be done here.");
    return 0;
}

int qzso_prepareDevices(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil) {
    return runOperation(kPrepareOperation, snaps, count, osUtil);
}
int qzso_snapDevices(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil) {
    return runOperation(kSnapOperation, snaps, count, osUtil);
}
int qzso_isMapped(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil) {
    return runOperation(kIsMappedOperation, snaps, count, osUtil);
}
int qzso_mapSnaps(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil) {
    return runOperation(kMapOperation, snaps, count, osUtil);
}
int qzso_unmapSnaps(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil) {
    return runOperation(kUnmapOperation, snaps, count, osUtil);
}
int qzso_deleteSnaps(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil) {
    return runOperation(kDeleteOperation, snaps, count, osUtil);
}
int qzso_revertSnaps(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil) {
    return runOperation(kRevertOperation, snaps, count, osUtil);
}
int qzso_reconcileSnaps(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil) {
    return runOperation(kReconcileOperation, snaps, count, osUtil);
}

}
