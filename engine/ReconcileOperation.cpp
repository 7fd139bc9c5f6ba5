// Reconcile: mark the snapshots that no longer exist on the array as deleted
// outside the plug-in.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "engine/OperationSpecs.h"

namespace {

const char kContext[] = "QZSnapEngineHNAS::qzso_reconcileSnaps";

// A device whose snapshot is on a file system the array could not list: the
// snapshot may exist, so the device is neither found nor marked deleted, e.g.
// "Snapshot [QZHNAS-u1-fs9] is on file system [fs9], whose snapshots cannot be
// listed (status [NOT_MOUNTED]): its status is kept."
std::string unlistedSnapshotMessage(const std::string& snapshot, const __HNASFileSystemInfo& fileSystem) {
    const std::string& name = fileSystem.name.empty() ? fileSystem.fileSystemId : fileSystem.name;
    return "Snapshot [" + snapshot + "] is on file system [" + name +
           "], whose snapshots cannot be listed (status [" + fileSystem.status + "]): its status is kept.";
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Whether `fileSystem` holds the device's snapshot. The device's file-system
// ID decides; a stored identity without one falls back to the file system's
// label, and one without a label too to the snapshot's name, which ends in
// "-" + the label (e.g. "QZHNAS-u1-fs9").
bool holdsSnapshotOf(const __HNASFileSystemInfo& fileSystem, const _HNASDeviceInfo& info) {
    if (!info.fileSystemId.empty()) return info.fileSystemId == fileSystem.fileSystemId;
    if (!info.fileSystemName.empty()) return info.fileSystemName == fileSystem.name;
    return !fileSystem.name.empty() && endsWith(info.snapUUID, "-" + fileSystem.name);
}

// The unlisted file system that holds the device's snapshot, or null.
const __HNASFileSystemInfo* unlistedFileSystemOf(const GroupState& groupState, const _HNASDeviceInfo& info) {
    for (const __HNASFileSystemInfo& fileSystem : groupState.reconcile.unlistedFileSystems)
        if (holdsSnapshotOf(fileSystem, info)) return &fileSystem;
    return nullptr;
}

DeviceOutcome reconcileDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&,
                              GroupState& groupState, HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    if (device.getStatus() == QZSO::SNAP_STATUS_PREPARE_FAILED) {
        state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "%s",
                           "Prepare failed for the snapshot and hence no hardware snapshot was created. Marking "
                           "delete request as success.");
        return DeviceOutcome::SucceededSameNumber;
    }
    if (!groupState.reconcile.snapshotsRead) {
        if (!state.client.getAllSnapshots(groupState.reconcile.snapshots, groupState.reconcile.unlistedFileSystems)) {
            state.errorText = "Failed to get all the Snapshots";
            state.log.DebugLvl(spec.context, DebugLevel::kFailure, state.jobId, "%s", state.errorText.c_str());
            return DeviceOutcome::Stop;
        }
        groupState.reconcile.snapshotsRead = true;
        for (const __HNASFileSystemSnapshot& snapshot : groupState.reconcile.snapshots)
            groupState.reconcile.snapshotNames.insert(snapshot.name);
    }
    if (groupState.reconcile.snapshotNames.count(info.snapUUID) != 0) {
        const std::string found = "Snapshot " + info.snapUUID + " found.";
        state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "%s", found.c_str());
        return DeviceOutcome::Succeeded;
    }
    // Not in the list, but the list could not show it: it may still exist.
    if (const __HNASFileSystemInfo* unlisted = unlistedFileSystemOf(groupState, info)) {
        const std::string kept = unlistedSnapshotMessage(info.snapUUID, *unlisted);
        state.log.DebugLvl(spec.context, DebugLevel::kFailure, state.jobId, "%s", kept.c_str());
        return DeviceOutcome::NotCounted;
    }
    const std::string missing = "Snapshot " + info.snapUUID + " not found. Marking it as externally deleted.";
    state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "%s", missing.c_str());
    device.setStatus(QZSO::SNAP_STATUS_EXTERNALLY_DELETED, 0, "");
    return DeviceOutcome::NotCounted;
}

}  // namespace

template <>
const OperationSpec* operationSpec<HNAS_SNAP_OP_RECONCILE>() {
    static const OperationSpec operation = [] {
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
    return &operation;
}
