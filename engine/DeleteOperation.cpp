// Delete: remove each device's snapshot from the array.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "engine/EngineMessages.h"
#include "engine/OperationSpecs.h"

namespace {

const char kContext[] = "QZSnapEngineHNAS::qzso_deleteSnaps";

DeviceOutcome nothingToDelete(OperationState& state, const OperationSpec& spec, HNASSnapDevice& device) {
    state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "%s",
                       "Prepare failed for the snapshot and hence no hardware snapshot was created or the "
                       "snapshot may have been already deleted. Marking delete request as success.");
    device.setStatus(QZSO::SNAP_STATUS_DELETED, 0, "");
    return DeviceOutcome::SucceededSameNumber;
}

// Each distinct snapshot (file system and name) is deleted once per call;
// every device that shares it gets that one result. A device whose stored
// identity lacks the snapshot's object ID is deleted by name and file
// system, so that no snapshot it made stays on the array while it reports
// "deleted": by its snap UUID when that names one of our snapshots
// ("QZHNAS-u1-fs1": its metadata was cut short or could not be stored after
// the snap), else by the name a snap of its UUID asks for (a snap job that
// ended while the array made the snapshot leaves the UUID the host gave it,
// "u1", and the identity of prepare: the snapshot "QZHNAS-u1-fs1" may exist).
// The client counts a snapshot that is already gone as deleted.
DeviceOutcome deleteDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&, GroupState&,
                           HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    if (device.getStatus() == QZSO::SNAP_STATUS_PREPARE_FAILED) return nothingToDelete(state, spec, device);
    std::string name = info.snapUUID;
    if (info.snapshotObjectId.empty() && !isPluginSnapshotName(name)) {
        // Without a file system there is no name a snap could have made.
        if (name.empty() || info.fileSystemName.empty() || info.fileSystemId.empty())
            return nothingToDelete(state, spec, device);
        name = std::string(kSnapshotPrefix) + "-" + name + "-" + info.fileSystemName;
    }

    // Named in the messages by its object ID, or by its name when the
    // identity holds none.
    const std::string& label = info.snapshotObjectId.empty() ? name : info.snapshotObjectId;
    const std::string failure = "Failed to delete Snap[" + label + "]";
    __HNASFileSystemSnapshot snapshot;
    snapshot.fileSystemId = info.fileSystemId;
    snapshot.name = name;   // the array's name of the snapshot, e.g. "QZHNAS-u1-fs1"
    // A cut-short identity may name the file system but not its ID.
    if (snapshot.fileSystemId.empty() &&
        (info.fileSystemName.empty() || !state.client.getFileSystemID(info.fileSystemName, snapshot.fileSystemId))) {
        failDevice(state, spec, device, QZSO::SNAP_STATUS_DELETE_FAILED, QZSO::ERROR_DELETE_FAILED, failure);
        return DeviceOutcome::Stop;
    }
    const std::string key = snapshotKey(info, snapshot.fileSystemId + "\n" + snapshot.name);
    if (state.snapshotsDone.count(key) == 0) {
        if (!state.client.deleteFileSystemSnapshot(snapshot, kSnapshotPrefix)) {
            failDevice(state, spec, device, QZSO::SNAP_STATUS_DELETE_FAILED, QZSO::ERROR_DELETE_FAILED, failure);
            return DeviceOutcome::Stop;
        }
        state.snapshotsDone.insert(key);
    }
    state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "Successfully deleted snap: [%s]", label.c_str());
    device.setStatus(QZSO::SNAP_STATUS_DELETED, 0, "");
    return DeviceOutcome::Succeeded;
}

}  // namespace

template <>
const OperationSpec* operationSpec<HNAS_SNAP_OP_DELETE>() {
    static const OperationSpec operation = [] {
        OperationSpec spec;
        spec.type = HNAS_SNAP_OP_DELETE;
        spec.context = kContext;
        spec.phase = "DELETE PHASE";
        spec.presetRule = PresetRule::UnlessPrepareFailed;
        spec.presetStatus = QZSO::SNAP_STATUS_DELETE_FAILED;
        spec.skipsPrepareFailed = true;
        spec.deviceWork = deleteDevice;
        return spec;
    }();
    return &operation;
}
