// Revert: roll each device's file system back to its snapshot, then wait for
// the mount path to refresh.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include <climits>

#include "engine/OperationSpecs.h"
#include "host/SettingsKeys.h"
#include "host/WbUtils.h"

namespace {

const char kContext[] = "QZSnapEngineHNAS::qzso_revertSnaps";
const int kDefaultRefreshWaitSeconds = 10;

// The wait in milliseconds: a negative setting waits not at all, and a
// large one stops at the longest wait an int can carry (no overflow).
int refreshWaitMilliseconds(int seconds) {
    if (seconds <= 0) return 0;
    if (seconds > INT_MAX / 1000) return INT_MAX / 1000 * 1000;
    return seconds * 1000;
}

void readRefreshWait(OperationState& state, const OperationSpec& spec) {
    state.revertWaitSeconds = kDefaultRefreshWaitSeconds;
    if (HNASUtils::GetRegInt(nullptr, kRevertMountPathRefreshWait, &state.revertWaitSeconds)) {
        state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId,
                           "Revert Operation mount path refresh time is set to : [%d] secs", state.revertWaitSeconds);
    }
}

// A status that says an earlier operation failed. After a successful revert
// such a status would be untrue: there was a snapshot to revert to.
bool isFailureStatus(QZSO::SnapStatus status) {
    switch (status) {
        case QZSO::SNAP_STATUS_PREPARE_FAILED:
        case QZSO::SNAP_STATUS_SNAP_FAILED:
        case QZSO::SNAP_STATUS_MAP_FAILED:
        case QZSO::SNAP_STATUS_NOT_MAPPED:
        case QZSO::SNAP_STATUS_UNMAP_FAILED:
        case QZSO::SNAP_STATUS_DELETE_FAILED:
        case QZSO::SNAP_STATUS_REVERT_FAILED: return true;
        default: return false;
    }
}

// Each distinct snapshot is rolled back once per call: the array discards a
// file system's snapshots when a roll-back completes, so a second roll-back
// of the same snapshot would fail. Every device that shares it gets that one
// result, with its own lines and banners.
DeviceOutcome revertDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&, GroupState&,
                           HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    const std::string key = snapshotKey(info, info.snapshotObjectId);
    if (state.snapshotsDone.count(key) == 0) {
        if (!state.client.recoverFileSystemSnapshot(info.snapshotObjectId)) {
            // A device whose prepare failed keeps saying so, with the revert's error.
            const QZSO::SnapStatus failed = device.statusBeforeOperation() == QZSO::SNAP_STATUS_PREPARE_FAILED
                                                ? QZSO::SNAP_STATUS_PREPARE_FAILED
                                                : QZSO::SNAP_STATUS_REVERT_FAILED;
            failDevice(state, spec, device, failed, QZSO::ERROR_REVERT_FAILED,
                       "Failed to Revert Snap[" + info.snapUUID + "]");
            return DeviceOutcome::Stop;
        }
        state.snapshotsDone.insert(key);
    }
    state.log.DebugLvl(spec.context, DebugLevel::kFailure, state.jobId, "Successfully Reverted Snap: [%s] ",
                       info.snapUUID.c_str());
    // The grouping preset "revert failed"; a revert that succeeded restores
    // the status from before the call, or "snapped" where that was a failure.
    // "Prepare failed" stays: later delete and reconcile jobs must keep
    // treating the device as one without a snapshot of its own.
    const QZSO::SnapStatus before = device.statusBeforeOperation();
    const bool keep = before == QZSO::SNAP_STATUS_PREPARE_FAILED || !isFailureStatus(before);
    device.setStatus(keep ? before : QZSO::SNAP_STATUS_SNAPPED, 0, "");
    return DeviceOutcome::Succeeded;
}

void waitForRefresh(OperationState& state, const OperationSpec&, bool stopped) {
    if (stopped) return;
    WBSLEEP_InTeRnAl(refreshWaitMilliseconds(state.revertWaitSeconds), __FILE__, __LINE__);
}

}  // namespace

template <>
const OperationSpec* operationSpec<HNAS_SNAP_OP_REVERT>() {
    static const OperationSpec operation = [] {
        OperationSpec spec;
        spec.type = HNAS_SNAP_OP_REVERT;
        spec.context = kContext;
        spec.openingMessage = "Reverting the given Snap(s). Snap Engine [HNAS].";
        spec.phase = "REVERT";
        spec.presetRule = PresetRule::UnlessPrepareFailed;
        spec.presetStatus = QZSO::SNAP_STATUS_REVERT_FAILED;
        spec.beforeArrays = readRefreshWait;
        spec.deviceWork = revertDevice;
        spec.afterArrays = waitForRefresh;
        return spec;
    }();
    return &operation;
}
