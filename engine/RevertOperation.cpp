// Revert: roll each device's file system back to its snapshot, then wait for
// the mount path to refresh.
#include <climits>

#include "engine/OperationSpecs.h"
#include "host/WbUtils.h"
#include "utils/SettingsKeys.h"

namespace {

const char kContext[] = "QZSnapEngineHNAS::qzso_revertSnaps";
const int kDefaultRefreshWaitSeconds = 10;

void readRefreshWait(OperationState& state, const OperationSpec& spec) {
    state.revertWaitSeconds = kDefaultRefreshWaitSeconds;
    if (HNASUtils::GetRegInt(nullptr, kRevertMountPathRefreshWait, &state.revertWaitSeconds)) {
        state.log.DebugLvl(spec.context, 0, state.jobId, "Revert Operation mount path refresh time is set to : [%d] secs",
                           state.revertWaitSeconds);
    }
}

DeviceOutcome revertDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&, GroupState&,
                           HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    if (!state.client.recoverFileSystemSnapshot(info.snapshotObjectId)) {
        failDevice(state, spec, device, QZSO::SNAP_STATUS_REVERT_FAILED, QZSO::ERROR_REVERT_FAILED,
                   "Failed to Revert Snap[" + info.snapUUID + "]");
        return DeviceOutcome::Stop;
    }
    state.log.DebugLvl(spec.context, -1, state.jobId, "Successfully Reverted Snap: [%s] ", info.snapUUID.c_str());
    // The grouping preset "revert failed"; a revert that succeeded leaves the
    // descriptor as it was before the call.
    device.setStatus(device.statusBeforeOperation(), 0, "");
    return DeviceOutcome::Succeeded;
}

void waitForRefresh(OperationState& state, const OperationSpec&, bool stopped) {
    if (stopped) return;
    const int seconds = state.revertWaitSeconds > INT_MAX / 1000 ? INT_MAX / 1000 : state.revertWaitSeconds;
    WBSLEEP_InTeRnAl(seconds * 1000, __FILE__, __LINE__);
}

}  // namespace

const OperationSpec kRevertOperation = {
    HNAS_SNAP_OP_REVERT, kContext, "Reverting the given Snap(s). Snap Engine [HNAS].", "REVERT",
    /*bannerBeforeInit=*/true, /*stopsOnFailure=*/true, /*alwaysReturnsZero=*/false,
    readRefreshWait, nullptr, revertDevice, waitForRefresh};
