// Map and is-mapped: expose a snapshot as a CIFS share or NFS export (or
// check that it is), and hand the host the snap device name that points at it.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "engine/CallsAhead.h"
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

// The look-ups isMappedDevice will make, each share once: from the mount
// path when the host gave one, else from the snap UUID.
bool isMappedAhead(OperationState& state, const OperationSpec&, _HNASArrayToDeviceMap& group, GroupState&) {
    if (!makesCallsAhead(state)) return true;
    AheadCalls ahead;
    for (const HNASSnapDevice* device : group.devices) {
        const _HNASDeviceInfo& info = device->deviceRecord();
        const std::string& input = info.mountPath.empty() ? info.snapUUID : info.mountPath;
        QzAheadCall call;
        call.kind = QzAheadKind::IsSharePresent;
        if (input.empty()) continue;
        if (info.deviceType == kDeviceTypeUnc) {
            call.name = input;
            call.shareType = kProtocolCifs;
        } else if (info.deviceType == kDeviceTypeNfs || info.deviceType == kDeviceTypeNative) {
            call.name = "/" + input;
            call.shareType = kProtocolNfs;
        } else {
            continue;
        }
        call.server = serverOf(info);
        ahead.add(call);
    }
    state.client.runAhead(ahead.calls);
    return true;
}

DeviceOutcome isMappedDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&,
                             GroupState&, HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    bool fromMountPath = !info.mountPath.empty();
    const std::string shareInput = fromMountPath ? info.mountPath : info.snapUUID;
    std::string shareName;
    std::string shareType;
    state.utils.getShareName(shareInput, info.deviceType, fromMountPath, shareName);
    state.utils.getNetworkShareType(info.deviceType, info.mountPath, shareType);
    __HNASVirtualServers server = serverOf(info);
    if (state.client.isSharePresent(shareName, server, shareType)) {
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

// What map plans for one device ahead: its share, and the calls made for it.
struct MapPlan {
    const _HNASDeviceInfo* info = nullptr;
    std::string candidate;
    std::string shareName;
    std::string shareType;
    int presentCall = -1;   // index in the round of look-ups, -1: none of its own
    int shareCall = -1;     // index in the round of source-share look-ups
};

// The calls mapDevice will make, in three rounds, each request once: whether
// each snapshot share exists; the source share of each device whose share
// does not (its path, settings and permissions); the creates of the shares
// that can then be built.
bool mapAhead(OperationState& state, const OperationSpec&, _HNASArrayToDeviceMap& group, GroupState&) {
    if (!makesCallsAhead(state)) return true;
    std::vector<MapPlan> plans;
    AheadCalls present;
    for (const HNASSnapDevice* device : group.devices) {
        MapPlan plan;
        plan.info = &device->deviceRecord();
        if (!plannedShare(state.utils, *plan.info, plan.candidate, plan.shareName, plan.shareType)) continue;
        if (present.add(QzAheadCall::isSharePresent(plan.shareName, serverOf(*plan.info), plan.shareType))) plan.presentCall = static_cast<int>(present.calls.size()) - 1;
        plans.push_back(plan);
    }
    if (!state.client.runAhead(present.calls)) return true;

    AheadCalls sources;
    for (MapPlan& plan : plans) {
        if (plan.presentCall < 0 || !present.calls[plan.presentCall].made ||
            present.calls[plan.presentCall].succeeded)
            continue;
        if (plan.info->deviceType == kDeviceTypeNative) continue;
        __HNASFileSystemShares source;
        source.name = plan.info->share;
        // Two devices on one source share read it once ahead: the second
        // reads it again itself, after the first device's create.
        if (sources.add(QzAheadCall::getShare(serverOf(*plan.info), plan.shareType, source, true))) plan.shareCall = static_cast<int>(sources.calls.size()) - 1;
    }
    if (!sources.calls.empty() && !state.client.runAhead(sources.calls)) return true;

    AheadCalls creates;
    for (const MapPlan& plan : plans) {
        if (plan.presentCall < 0 || !present.calls[plan.presentCall].made ||
            present.calls[plan.presentCall].succeeded)
            continue;
        const _HNASDeviceInfo& info = *plan.info;
        const bool native = info.deviceType == kDeviceTypeNative;
        const QzAheadCall* source = plan.shareCall >= 0 ? &sources.calls[plan.shareCall] : nullptr;
        if (!native && (source == nullptr || !source->made || !source->succeeded || source->sharesFound.empty()))
            continue;
        QzAheadCall call;
        if (info.snapUUID.empty() ||
            !state.utils.composeClonePath(info.deviceType, info.snapUUID,
                                          native ? std::string() : source->sharesFound.front().path,
                                          info.subDirectory, info.mountPath, call.path))
            continue;
        call.kind = QzAheadKind::CreateShare;
        call.name = plan.candidate;
        call.virtualServerId = info.virtualServerId;
        call.fileSystemId = info.fileSystemId;
        call.shareType = plan.shareType;
        call.flag = !native;
        if (!native) {
            call.share.objectId = source->sharesFound.front().objectId;
            call.share.settings = info.shareSettingsSaved ? info.shareSettings : source->sharesFound.front().settings;
        }
        creates.add(call);
    }
    if (!creates.calls.empty()) state.client.runAhead(creates.calls);
    return true;
}

DeviceOutcome mapDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&, GroupState&,
                        HNASSnapDevice& device, const _HNASDeviceInfo& info) {
    HNASUtils utils(state.jobId);
    bool fromMountPath = !info.mountPath.empty();
    const std::string candidate = utils.getUniqueShareForPath(info, fromMountPath, HNAS_SNAP_OP_MAP);
    std::string shareName;
    std::string shareType;
    utils.getShareName(candidate, info.deviceType, fromMountPath, shareName);
    utils.getNetworkShareType(info.deviceType, info.mountPath, shareType);
    __HNASVirtualServers server = serverOf(info);

    if (state.client.isSharePresent(shareName, server, shareType)) {
        if (fromMountPath) {
            failDevice(state, spec, device, QZSO::SNAP_STATUS_MAP_FAILED, QZSO::ERROR_MAP_FAILED,
                       "Share: " + candidate + " already exists on the array. Please use a different name.");
            return DeviceOutcome::Stop;
        }
        // Mapped by an earlier call: hand the host the name again.
        handOverSnapDevice(state, spec, DebugLevel::kDetails, utils, device, info, candidate, shareType);
        return DeviceOutcome::SucceededNoBanner;
    }
    const std::string absent = "Share [" + shareName + "] not present.";
    state.log.DebugLvl(spec.context, DebugLevel::kDetails, state.jobId, "%s", absent.c_str());

    const bool native = info.deviceType == kDeviceTypeNative;
    std::vector<__HNASFileSystemShares> shares;
    __HNASFileSystemShares seed;
    seed.name = info.share;
    shares.push_back(seed);
    // A reported success without an entry is no answer.
    if (!native && (!state.client.getFilesystemShares(server, shareType, shares, true) || shares.empty())) {
        failDevice(state, spec, device, QZSO::SNAP_STATUS_MAP_FAILED, QZSO::ERROR_MAP_FAILED,
                   "Unable to get the share Path on the File System for Snap: " + info.snapUUID);
        return DeviceOutcome::Stop;
    }
    std::string clonePath;
    std::string snapName = info.snapUUID;   // the clone-path builder takes these as modifiable
    std::string subDirectory = info.subDirectory;
    if (!utils.getClonePath(info.deviceType, snapName, shares.front().path, subDirectory, info.mountPath,
                            clonePath)) {
        failDevice(state, spec, device, QZSO::SNAP_STATUS_MAP_FAILED, QZSO::ERROR_MAP_FAILED,
                   "Unable to get the Clone Path for Snap: " + info.snapUUID);
        return DeviceOutcome::Stop;
    }
    __HNASFileSystemShares toCreate;
    if (!native) {
        toCreate.objectId = shares.front().objectId;
        // Settings saved at prepare win over the source share's current ones.
        toCreate.settings = info.shareSettingsSaved ? info.shareSettings : shares.front().settings;
    }
    if (!state.client.createFileSystemShare(candidate, info.virtualServerId, info.fileSystemId, clonePath, shareType,
                                            toCreate, !native)) {
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

const OperationSpec kIsMappedOperation = [] {
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

const OperationSpec kMapOperation = [] {
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
