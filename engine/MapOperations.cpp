// Map and is-mapped: expose a snapshot as a CIFS share or NFS export (or
// check that it is), and hand the host the snap device name that points at it.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "engine/EarlierShares.h"
#include "engine/EngineMessages.h"
#include "engine/OperationSpecs.h"
#include "utils/DeviceStringKeys.h"

namespace {

const char kIsMappedContext[] = "QZSnapEngineHNAS::qzso_isMapped";
const char kMapContext[] = "QZSnapEngineHNAS::qzso_mapSnaps";

// The virtual server argument of the share calls: only its object ID.
__HNASVirtualServers serverOf(const _HNASDeviceInfo& info) {
    __HNASVirtualServers server;
    server.objectId = info.virtualServerObjectId;
    return server;
}

// e.g. "vortype:cifs," or "vortype:,"
std::string snapDevicePrefix(const _HNASDeviceInfo& info) { return "vortype:" + info.vorType + ","; }

std::string snapDeviceName(HNASUtils& utils, const _HNASDeviceInfo& info, const std::string& share,
                           const std::string& shareType) {
    const std::string& base = info.deviceType == kDeviceTypeNative ? info.snapUUID : share;
    return utils.getSnapDeviceName(snapDevicePrefix(info), info.deviceType, base, info.targetHostName,
                                   info.fileSystemName, info.subDirectory, shareType);
}

void handOverSnapDevice(OperationState& state, const OperationSpec& spec, int level, HNASUtils& utils,
                        HNASSnapDevice& device, const _HNASDeviceInfo& info, const std::string& share,
                        const std::string& shareType) {
    const std::string name = snapDeviceName(utils, info, share, shareType);
    state.log.DebugLvl(spec.context, level, state.jobId, kSettingSnapDeviceFormat, name.c_str());
    device.setSnapDevice(name);
    device.setStatus(QZSO::SNAP_STATUS_MAPPED, 0, "");
}

// The share is-mapped looks for: the mount path when the host gave one,
// else the snap UUID.
const std::string& isMappedShareInput(const _HNASDeviceInfo& info) {
    return info.mountPath.empty() ? info.snapUUID : info.mountPath;
}

// Each device's look-up, made ahead: the request isMappedDevice sends.
bool isMappedAhead(OperationState& state, const OperationSpec&, _HNASArrayToDeviceMap& group, GroupState& groupState) {
    if (!makesReadsAhead(state)) return true;
    std::vector<ArrayRead> reads;
    for (const HNASSnapDevice* device : group.devices) {
        const _HNASDeviceInfo& info = device->deviceRecord();
        std::string shareName;
        std::string shareType;
        if (!HNASUtils::shareNameOnArray(isMappedShareInput(info), info.deviceType, shareName) ||
            !HNASUtils::shareTypeOf(info.deviceType, shareType))
            continue;
        reads.push_back(ArrayRead::sharePresent(shareName, serverOf(info), shareType));
    }
    groupState.ahead.make(state, reads);
    return true;
}

DeviceOutcome isMappedDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&,
                             GroupState& groupState, HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    bool fromMountPath = !info.mountPath.empty();
    const std::string& shareInput = isMappedShareInput(info);
    std::string shareName;
    std::string shareType;
    state.utils.getShareName(shareInput, info.deviceType, fromMountPath, shareName);
    state.utils.getNetworkShareType(info.deviceType, info.mountPath, shareType);
    ArrayRead present = ArrayRead::sharePresent(shareName, serverOf(info), shareType);
    groupState.ahead.read(state, present);
    if (present.succeeded) {
        state.log.DebugLvl(spec.context, DebugLevel::kDetails, state.jobId, "Share [%s] is present.",
                           shareInput.c_str());
        handOverSnapDevice(state, spec, DebugLevel::kDetails, state.utils, device, info, shareInput, shareType);
    } else {
        const std::string message = "Share [" + info.snapUUID + "] not present.";
        state.log.DebugLvl(spec.context, DebugLevel::kFailure, state.jobId, "%s", message.c_str());
        device.setStatus(QZSO::SNAP_STATUS_NOT_MAPPED, 0, "");
    }
    return DeviceOutcome::Visited;
}

// The share map makes for `info` (e.g. "QZHNAS-u1-fs1-data-sub1-QZShare"),
// its name in the array's form ("/" before an export) and its type, as
// mapDevice works them out but without their log lines; false for a device
// whose work would log a failure there.
bool mapShareOf(const HNASUtils& utils, const _HNASDeviceInfo& info, std::string& candidate, std::string& shareName,
                std::string& shareType) {
    bool hidden = false;
    candidate = utils.uniqueShareName(info, hidden);
    return HNASUtils::shareNameOnArray(candidate, info.deviceType, shareName) &&
           HNASUtils::shareTypeOf(info.deviceType, shareType);
}

// The source share map reads for a share or export device: its path,
// settings and permissions.
ArrayRead sourceShareRead(const _HNASDeviceInfo& info, const std::string& shareType) {
    return ArrayRead::share(serverOf(info), shareType, info.share, true);
}

// The reads mapDevice makes, in two rounds: whether each device's share
// exists; then the source share of each share or export device whose share
// does not.
bool mapAhead(OperationState& state, const OperationSpec&, _HNASArrayToDeviceMap& group, GroupState& groupState) {
    if (!makesReadsAhead(state)) return true;
    std::vector<ArrayRead> present;
    std::vector<const _HNASDeviceInfo*> presentOf;
    for (const HNASSnapDevice* device : group.devices) {
        const _HNASDeviceInfo& info = device->deviceRecord();
        std::string candidate;
        std::string shareName;
        std::string shareType;
        if (!mapShareOf(state.utils, info, candidate, shareName, shareType)) continue;
        present.push_back(ArrayRead::sharePresent(shareName, serverOf(info), shareType));
        presentOf.push_back(&info);
    }
    groupState.ahead.make(state, present);

    std::vector<ArrayRead> sources;
    for (size_t i = 0; i < present.size(); ++i) {
        if (!present[i].made || present[i].succeeded || presentOf[i]->deviceType == kDeviceTypeNative) continue;
        sources.push_back(sourceShareRead(*presentOf[i], present[i].shareType));
    }
    groupState.ahead.make(state, sources);
    return true;
}

DeviceOutcome mapDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&,
                        GroupState& groupState, HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    HNASUtils utils(state.jobId);
    bool fromMountPath = !info.mountPath.empty();
    const std::string candidate = utils.getUniqueShareForPath(info, fromMountPath, HNAS_SNAP_OP_MAP);
    std::string shareName;
    std::string shareType;
    utils.getShareName(candidate, info.deviceType, fromMountPath, shareName);
    utils.getNetworkShareType(info.deviceType, info.mountPath, shareType);
    __HNASVirtualServers server = serverOf(info);

    ArrayRead present = ArrayRead::sharePresent(shareName, server, shareType);
    groupState.ahead.read(state, present);
    if (present.succeeded) {
        if (fromMountPath) {
            failDevice(state, spec, device, QZSO::SNAP_STATUS_MAP_FAILED, QZSO::ERROR_MAP_FAILED,
                       "Share: " + candidate + " already exists on the array. Please use a different name.");
            return DeviceOutcome::Stop;
        }
        // Mapped by an earlier call: hand the host the name again.
        handOverSnapDevice(state, spec, DebugLevel::kDetails, utils, device, info, candidate, shareType);
        return DeviceOutcome::SucceededNoBanner;
    }
    // Mapped by an earlier version, under the name it gave a long share name.
    std::string earlierCandidate;
    std::string earlierShareName;
    if (!fromMountPath && findEarlierShare(state, spec, utils, info, shareType, earlierCandidate, earlierShareName)) {
        handOverSnapDevice(state, spec, DebugLevel::kDetails, utils, device, info, earlierCandidate, shareType);
        return DeviceOutcome::SucceededNoBanner;
    }
    const std::string absent = "Share [" + shareName + "] not present.";
    state.log.DebugLvl(spec.context, DebugLevel::kDetails, state.jobId, "%s", absent.c_str());

    const bool native = info.deviceType == kDeviceTypeNative;
    ArrayRead source = sourceShareRead(info, shareType);
    if (!native) groupState.ahead.read(state, source);
    // A reported success without an entry is no answer.
    if (!native && (!source.succeeded || source.shares.empty())) {
        failDevice(state, spec, device, QZSO::SNAP_STATUS_MAP_FAILED, QZSO::ERROR_MAP_FAILED,
                   "Unable to get the share Path on the File System for Snap: " + info.snapUUID);
        return DeviceOutcome::Stop;
    }
    const __HNASFileSystemShares sourceShare = native ? __HNASFileSystemShares() : source.shares.front();
    std::string clonePath;
    std::string snapName = info.snapUUID;   // the clone-path builder takes these as modifiable
    std::string sharePath = sourceShare.path;
    std::string subDirectory = info.subDirectory;
    if (!utils.getClonePath(info.deviceType, snapName, sharePath, subDirectory, info.mountPath, clonePath)) {
        failDevice(state, spec, device, QZSO::SNAP_STATUS_MAP_FAILED, QZSO::ERROR_MAP_FAILED,
                   "Unable to get the Clone Path for Snap: " + info.snapUUID);
        return DeviceOutcome::Stop;
    }
    __HNASFileSystemShares toCreate;
    if (!native) {
        toCreate.objectId = sourceShare.objectId;
        // Settings saved at prepare win over the source share's current ones.
        toCreate.settings = info.shareSettingsSaved ? info.shareSettings : sourceShare.settings;
    }
    const bool created = state.client.createFileSystemShare(candidate, info.virtualServerId, info.fileSystemId,
                                                            clonePath, shareType, toCreate, !native);
    // The array now holds a share of this name, or may: a read made ahead
    // of a share the array counts as the same name is no longer an answer.
    groupState.ahead.shareChanged(shareType, shareName);
    if (!created) {
        failDevice(state, spec, device, QZSO::SNAP_STATUS_MAP_FAILED, QZSO::ERROR_MAP_FAILED,
                   "Failed to create a share for snapshot:[" + info.snapUUID + "]");
        return DeviceOutcome::Stop;
    }
    state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId,
                       "Successfully created a share[%s] from Snap: [%s] ", candidate.c_str(), info.snapUUID.c_str());
    handOverSnapDevice(state, spec, DebugLevel::kFlow, utils, device, info, candidate, shareType);
    return DeviceOutcome::Succeeded;
}

}  // namespace

template <>
const OperationSpec* operationSpec<HNAS_SNAP_OP_ISMAPPED>() {
    static const OperationSpec operation = [] {
        OperationSpec spec;
        spec.type = HNAS_SNAP_OP_ISMAPPED;
        spec.context = kIsMappedContext;
        spec.openingMessage = "Checking if the given Snap(s) are mapped. Snap Engine [HNAS].";
        spec.stopsOnFailure = false;
        spec.alwaysReturnsZero = true;
        spec.presetStatus = QZSO::SNAP_STATUS_NOT_MAPPED;
        spec.beginGroup = isMappedAhead;
        spec.deviceWork = isMappedDevice;
        return spec;
    }();
    return &operation;
}

template <>
const OperationSpec* operationSpec<HNAS_SNAP_OP_MAP>() {
    static const OperationSpec operation = [] {
        OperationSpec spec;
        spec.type = HNAS_SNAP_OP_MAP;
        spec.context = kMapContext;
        spec.openingMessage = "Mapping the given Snap(s). Snap Engine [HNAS].";
        spec.phase = "MAP PHASE";
        spec.presetStatus = QZSO::SNAP_STATUS_MAP_FAILED;
        spec.beginGroup = mapAhead;
        spec.deviceWork = mapDevice;
        return spec;
    }();
    return &operation;
}
