// Delete: remove each device's snapshot from the array.
#include "engine/EngineMessages.h"
#include "engine/OperationSpecs.h"

namespace {

const char kContext[] = "QZSnapEngineHNAS::qzso_deleteSnaps";

DeviceOutcome deleteDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&, GroupState&,
                           HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    if (device.getStatus() == QZSO::SNAP_STATUS_PREPARE_FAILED || info.snapshotObjectId.empty()) {
        state.log.DebugLvl(spec.context, 0, state.jobId, "%s",
                           "Prepare failed for the snapshot and hence no hardware snapshot was created or the "
                           "snapshot may have been already deleted. Marking delete request as success.");
        device.setStatus(QZSO::SNAP_STATUS_DELETED, 0, "");
        return DeviceOutcome::SucceededSameNumber;
    }
    __HNASFileSystemSnapshot snapshot;
    snapshot.fileSystemId = info.fileSystemId;
    snapshot.name = info.snapUUID;   // the array's name of the snapshot, e.g. "QZHNAS-u1-fs1"
    if (!state.client.deleteFileSystemSnapshot(snapshot, kSnapshotPrefix)) {
        failDevice(state, spec, device, QZSO::SNAP_STATUS_DELETE_FAILED, QZSO::ERROR_DELETE_FAILED,
                   "Failed to delete Snap[" + info.snapshotObjectId + "]");
        return DeviceOutcome::Stop;
    }
    state.log.DebugLvl(spec.context, 0, state.jobId, "Successfully deleted snap: [%s]", info.snapshotObjectId.c_str());
    device.setStatus(QZSO::SNAP_STATUS_DELETED, 0, "");
    return DeviceOutcome::Succeeded;
}

}  // namespace

const OperationSpec kDeleteOperation = {
    HNAS_SNAP_OP_DELETE, kContext, nullptr, "DELETE PHASE",
    /*bannerBeforeInit=*/true, /*stopsOnFailure=*/true, /*alwaysReturnsZero=*/false,
    nullptr, nullptr, deleteDevice, nullptr};
