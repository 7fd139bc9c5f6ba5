// Unmap: remove the share or export that map created for a snapshot, and
// clear the host's snap device name.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "engine/EarlierShares.h"
#include "engine/OperationSpecs.h"

namespace {

const char kContext[] = "QZSnapEngineHNAS::qzso_unmapSnaps";

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
    // Deletes one share, e.g. "QZHNAS-u1-data-QZShare" ("/" before an
    // export in `arrayName`); a failure fails the device.
    auto deleteShare = [&](const std::string& name, const std::string& arrayName) {
        if (!state.client.deleteFileSystemShare(arrayName, server, shareType)) {
            failDevice(state, spec, device, QZSO::SNAP_STATUS_UNMAP_FAILED, QZSO::ERROR_UNMAP_FAILED,
                       "Failed to delete Share[" + name + "]");
            return false;
        }
        state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, "Successfully deleted share: [%s] ",
                           name.c_str());
        return true;
    };
    if (!deleteShare(candidate, shareName)) return DeviceOutcome::Stop;
    // A share an earlier version made of this snapshot, under the name it
    // gave a long share name, goes as well: left, it would go on exposing
    // the snapshot after the host was told it is unmapped.
    std::string earlierCandidate;
    std::string earlierShareName;
    if (findEarlierShare(state, spec, state.utils, info, shareType, earlierCandidate, earlierShareName) &&
        !deleteShare(earlierCandidate, earlierShareName))
        return DeviceOutcome::Stop;
    device.setStatus(QZSO::SNAP_STATUS_UNMAPPED, 0, "");
    device.setSnapDevice("");
    return DeviceOutcome::Succeeded;
}

}  // namespace

template <>
const OperationSpec* operationSpec<HNAS_SNAP_OP_UNMAP>() {
    static const OperationSpec operation = [] {
        OperationSpec spec;
        spec.type = HNAS_SNAP_OP_UNMAP;
        spec.context = kContext;
        spec.openingMessage = "Unmapping the given Snap(s). Snap Engine [HNAS].";
        spec.phase = "UNMAP PHASE";
        spec.presetStatus = QZSO::SNAP_STATUS_UNMAP_FAILED;
        spec.deviceWork = unmapDevice;
        return spec;
    }();
    return &operation;
}
