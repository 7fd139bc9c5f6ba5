// Reconcile: mark the snapshots that no longer exist on the array as deleted
// outside the plug-in.
#include "engine/OperationSpecs.h"

namespace {

const char kContext[] = "QZSnapEngineHNAS::qzso_reconcileSnaps";

DeviceOutcome reconcileDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&,
                              GroupState& groupState, HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    if (device.getStatus() == QZSO::SNAP_STATUS_PREPARE_FAILED) {
        state.log.DebugLvl(spec.context, 0, state.jobId, "%s",
                           "Prepare failed for the snapshot and hence no hardware snapshot was created. Marking "
                           "delete request as success.");
        return DeviceOutcome::SucceededSameNumber;
    }
    if (!groupState.snapshotsRead) {
        if (!state.client.getAllSnapshots(groupState.snapshots)) {
            state.errorText = "Failed to get all the Snapshots";
            state.log.DebugLvl(spec.context, -1, state.jobId, "%s", state.errorText.c_str());
            return DeviceOutcome::Stop;
        }
        groupState.snapshotsRead = true;
        for (const __HNASFileSystemSnapshot& snapshot : groupState.snapshots)
            groupState.snapshotNames.insert(snapshot.name);
    }
    if (groupState.snapshotNames.count(info.snapUUID) != 0) {
        const std::string found = "Snapshot " + info.snapUUID + " found.";
        state.log.DebugLvl(spec.context, 0, state.jobId, "%s", found.c_str());
        return DeviceOutcome::Succeeded;
    }
    const std::string missing = "Snapshot " + info.snapUUID + " not found. Marking it as externally deleted.";
    state.log.DebugLvl(spec.context, 0, state.jobId, "%s", missing.c_str());
    device.setStatus(QZSO::SNAP_STATUS_EXTERNALLY_DELETED, 0, "");
    return DeviceOutcome::NotCounted;
}

}  // namespace

const OperationSpec kReconcileOperation = {
    HNAS_SNAP_OP_RECONCILE, kContext, "Initiating the Snap Reconcile Operation. Snap Engine [HNAS].", "RECONCILE",
    /*bannerBeforeInit=*/false, /*beforeInit=*/nullptr, /*stopsOnFailure=*/true, /*alwaysReturnsZero=*/false,
    nullptr, nullptr, reconcileDevice, nullptr};
