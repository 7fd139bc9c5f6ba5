// Unmap: remove the share or export that map created for a snapshot, and
// clear the host's snap device name.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "engine/CallsAhead.h"
#include "engine/OperationSpecs.h"

namespace {

const char kContext[] = "QZSnapEngineHNAS::qzso_unmapSnaps";

// The share deletes unmapDevice will send, each share once.
bool deleteSharesAhead(OperationState& state, const OperationSpec&, _HNASArrayToDeviceMap& group, GroupState&) {
    if (!makesCallsAhead(state)) return true;
    AheadCalls ahead;
    for (const HNASSnapDevice* device : group.devices) {
        const _HNASDeviceInfo& info = device->deviceRecord();
        QzAheadCall call;
        std::string candidate;
        if (!plannedShare(state.utils, info, candidate, call.name, call.shareType)) continue;
        call.kind = QzAheadKind::DeleteShare;
        call.server.objectId = info.virtualServerObjectId;
        ahead.add(call);
    }
    state.client.runAhead(ahead.calls);
    return true;
}

DeviceOutcome unmapDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&, GroupState&,
                          HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    bool fromMountPath = !info.mountPath.empty();
    // The same name map gave the share, from the same record fields.
    const std::string candidate = state.utils.getUniqueShareForPath(info, fromMountPath, HNAS_SNAP_OP_UNMAP);
    std::string shareName;
    std::string shareType;
    state.utils.getShareName(candidate, info.deviceType, fromMountPath, shareName);
    state.utils.getNetworkShareType(info.deviceType, info.mountPath, shareType);
    state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "Deleting share: [%s]. Type[%s] ",
                       candidate.c_str(), shareType.c_str());

    __HNASVirtualServers server;
    server.objectId = info.virtualServerObjectId;
    if (!state.client.deleteFileSystemShare(shareName, server, shareType)) {
        failDevice(state, spec, device, QZSO::SNAP_STATUS_UNMAP_FAILED, QZSO::ERROR_UNMAP_FAILED,
                   "Failed to delete Share[" + candidate + "]");
        return DeviceOutcome::Stop;
    }
    state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "Successfully deleted share: [%s] ",
                       candidate.c_str());
    device.setStatus(QZSO::SNAP_STATUS_UNMAPPED, 0, "");
    device.setSnapDevice("");
    return DeviceOutcome::Succeeded;
}

}  // namespace

const OperationSpec kUnmapOperation = [] {
    OperationSpec spec;
    spec.type = HNAS_SNAP_OP_UNMAP;
    spec.context = kContext;
    spec.openingMessage = "Unmapping the given Snap(s). Snap Engine [HNAS].";
    spec.phase = "UNMAP PHASE";
    spec.presetStatus = QZSO::SNAP_STATUS_UNMAP_FAILED;
    spec.beginGroup = deleteSharesAhead;
    spec.deviceWork = unmapDevice;
    return spec;
}();
