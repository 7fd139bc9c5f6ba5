// Snap: one snapshot per file system of a group, shared by every device of
// the group on it; each device's snap is renamed after the snapshot and its
// identity metadata rewritten.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "engine/EngineMessages.h"
#include "engine/OperationSpecs.h"

namespace {

const char kContext[] = "QZSnapEngineHNAS::qzso_snapDevices";

// Indexes the group's devices by file system once, so that sharing a new
// snapshot touches only the devices on its file system.
bool beginGroup(OperationState&, const OperationSpec&, _HNASArrayToDeviceMap& group, GroupState& groupState) {
    for (HNASSnapDevice* device : group.devices)
        groupState.snap.devicesByFileSystem[device->deviceRecord().fileSystemId].push_back(device);
    return true;
}

// Deletes the snapshot just made for a device whose identity could not be
// stored; if that fails too, its name goes to the failure level, so that an
// administrator can find it.
void removeUnrecordedSnapshot(OperationState& state, const OperationSpec& spec, const _HNASDeviceInfo& info) {
    __HNASFileSystemSnapshot snapshot;
    snapshot.fileSystemId = info.fileSystemId;
    snapshot.name = info.snapUUID;
    if (state.client.deleteFileSystemSnapshot(snapshot, kSnapshotPrefix)) {
        state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId,
                           "Deleted the snapshot [%s] again: its metadata could not be stored.", info.snapUUID.c_str());
    } else {
        state.log.DebugLvl(spec.context, DebugLevel::kFailure, state.jobId,
                           "Failed to delete the snapshot [%s] whose metadata could not be stored. It stays on the "
                           "array and must be deleted by hand.",
                           info.snapUUID.c_str());
    }
}

DeviceOutcome snapDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&,
                         GroupState& groupState, HNASSnapDevice& device, const _HNASDeviceInfo& record) {
    // The metadata this device stores is built on a copy; the device keeps its record.
    _HNASDeviceInfo info = record;
    // e.g. "u1-fs1", created as "QZHNAS-u1-fs1"
    const std::string requestedName = info.snapUUID + "-" + info.fileSystemName;
    bool createdHere = false;
    if (info.fileSystemSnapped) {
        state.log.DebugLvl(spec.context, DebugLevel::kDetails, state.jobId,
                           "Looks like there are multiple sub client paths using the same File System. Using "
                           "Snapshot [%s] for Source Device [%s] under Filesystem [%s].",
                           info.snapUUID.c_str(), info.sourceDevice.c_str(), info.fileSystemName.c_str());
    } else {
        __HNASFileSystemSnapshot snapshot;
        if (!state.client.createFileSystemSnapshot(requestedName, info.fileSystemId, kSnapshotPrefix, snapshot)) {
            logThenFailDevice(state, spec, device, QZSO::SNAP_STATUS_SNAP_FAILED, QZSO::ERROR_SNAP_FAILED,
                              "Failed to create snapshot.");
            return DeviceOutcome::Stop;
        }
        createdHere = true;
        state.log.DebugLvl(
            spec.context, DebugLevel::kDetails, state.jobId,
            "Successfully created Snapshot [%s] for Source Device [%s] under Filesystem [%s], State [%s]",
            snapshot.name.c_str(), info.sourceDevice.c_str(), info.fileSystemName.c_str(), snapshot.state.c_str());
        info.snapshotObjectId = snapshot.objectId;
        info.snapUUID = std::string(kSnapshotPrefix) + "-" + requestedName;
        state.utils.markFileSystemSnapped(info.fileSystemId, groupState.snap.devicesByFileSystem[info.fileSystemId],
                                          info.snapUUID, info.snapshotObjectId);
    }

    device.setStatus(QZSO::SNAP_STATUS_SNAPPED, 0, "");
    state.log.DebugLvl(spec.context, DebugLevel::kDetails, state.jobId,
                       "******************Resetting the Snap UUID to [%s]******************", info.snapUUID.c_str());
    device.resetSnapUUID(info.snapUUID);
    state.log.DebugLvl(spec.context, DebugLevel::kDetails, state.jobId,
                       "******************Rewritting metadata with the new Snap UUID[%s] and Snapshot Object "
                       "ID[%s]******************",
                       info.snapUUID.c_str(), info.snapshotObjectId.c_str());
    if (!device.setMetadata(info, SM_MDT_SNAP_UUID)) {
        logThenFailDevice(state, spec, device, QZSO::SNAP_STATUS_SNAP_FAILED, QZSO::ERROR_SNAP_FAILED,
                          metadataNotStoredMessage(SM_MDT_SNAP_UUID, info));
        // Without its identity no later job could find the snapshot again.
        // One this device made is shared by no device that succeeded (the
        // operation stops here), so it goes again.
        if (createdHere) removeUnrecordedSnapshot(state, spec, info);
        return DeviceOutcome::Stop;
    }
    device.setStatus(QZSO::SNAP_STATUS_SNAPPED, 0, "");
    return DeviceOutcome::Succeeded;
}

}  // namespace

template <>
const OperationSpec* operationSpec<HNAS_SNAP_OP_SNAP>() {
    static const OperationSpec operation = [] {
        OperationSpec spec;
        spec.type = HNAS_SNAP_OP_SNAP;
        spec.context = kContext;
        spec.openingMessage = "Creating Snap. Snap Engine [HNAS].";
        spec.phase = "SNAP PHASE";
        spec.bannerBeforeInit = false;
        spec.endDeviceBannerExtraEquals = true;
        spec.presetStatus = QZSO::SNAP_STATUS_SNAP_FAILED;
        spec.beginGroup = beginGroup;
        spec.deviceWork = snapDevice;
        return spec;
    }();
    return &operation;
}
