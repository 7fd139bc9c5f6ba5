// Reconcile: mark the snapshots that no longer exist on the array as deleted
// outside the plug-in.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "engine/OperationSpecs.h"

namespace {

const char kContext[] = "QZSnapEngineHNAS::qzso_reconcileSnaps";

DeviceOutcome reconcileDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&,
                              GroupState& groupState, HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    if (device.getStatus() == QZSO::SNAP_STATUS_PREPARE_FAILED) {
        state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "%s",
                           "Prepare failed for the snapshot and hence no hardware snapshot was created. Marking "
                           "delete request as success.");
        return DeviceOutcome::SucceededSameNumber;
    }
    if (!groupState.snapshotsRead) {
        if (!state.client.getAllSnapshots(groupState.snapshots)) {
            state.errorText = "Failed to get all the Snapshots";
            state.log.DebugLvl(spec.context, DebugLevel::kFailure, state.jobId, "%s", state.errorText.c_str());
            return DeviceOutcome::Stop;
        }
        groupState.snapshotsRead = true;
        for (const __HNASFileSystemSnapshot& snapshot : groupState.snapshots)
            groupState.snapshotNames.insert(snapshot.name);
    }
    if (groupState.snapshotNames.count(info.snapUUID) != 0) {
        const std::string found = "Snapshot " + info.snapUUID + " found.";
        state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "%s", found.c_str());
        return DeviceOutcome::Succeeded;
    }
    const std::string missing = "Snapshot " + info.snapUUID + " not found. Marking it as externally deleted.";
    state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "%s", missing.c_str());
    device.setStatus(QZSO::SNAP_STATUS_EXTERNALLY_DELETED, 0, "");
    return DeviceOutcome::NotCounted;
}

}  // namespace

const OperationSpec kReconcileOperation = [] {
    OperationSpec spec;
    spec.type = HNAS_SNAP_OP_RECONCILE;
    spec.context = kContext;
    spec.openingMessage = "Initiating the Snap Reconcile Operation. Snap Engine [HNAS].";
    spec.phase = "RECONCILE";
    spec.bannerBeforeInit = false;
    spec.presetRule = PresetRule::None;
    spec.skipsPrepareFailed = true;
    spec.deviceWork = reconcileDevice;
    return spec;
}();
