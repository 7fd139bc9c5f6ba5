// Prepare: find each device's virtual server, file system and (for shares
// and exports) share path and settings on the array, and store them as the
// descriptor's snap metadata.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include <unordered_set>

#include "engine/EngineMessages.h"
#include "engine/OperationSpecs.h"
#include "utils/DeviceStringKeys.h"

namespace {

const char kContext[] = "QZSnapEngineHNAS::qzso_prepareDevices";

// Before init, so that whatever init logs belongs to this array.
void announceGroup(OperationState& state, const OperationSpec& spec, const _HNASArrayToDeviceMap& group) {
    state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId,
                       "Preparing devices for Array [%s] Control Host/Management Host [%s]", group.arrayId.c_str(),
                       group.hostName.c_str());
}

// The share type a share or export device is looked up with.
const char* shareTypeOf(const _HNASDeviceInfo& info) {
    return info.deviceType == kDeviceTypeUnc ? kProtocolCifs : kProtocolNfs;
}

// The reads discover makes, in three rounds, each as often as discover
// asks it (the group's answers below ask each file system once): the file
// system of each share or export and each share device's share (path,
// settings, permissions); the label of each file system found; the file
// system of each native path whose label no device before it made known.
void lookUpAhead(OperationState& state, const _HNASArrayToDeviceMap& group, GroupState& groupState) {
    const __HNASVirtualServers& server = groupState.prepare.server;
    std::vector<ArrayRead> shares;
    // A share's file system and the share itself are read on one worker, in
    // the device's order: the second read finds the share the first looked
    // up, as the device's own two calls do with one connection.
    std::vector<std::vector<size_t>> chains;
    std::vector<int> fileSystemReadOf(group.devices.size(), -1);   // index in `shares`
    std::unordered_set<std::string> sharesAsked;
    for (size_t d = 0; d < group.devices.size(); ++d) {
        const _HNASDeviceInfo& info = group.devices[d]->deviceRecord();
        if (info.deviceType == kDeviceTypeNative) continue;
        chains.emplace_back();
        const ArrayRead fileSystem = ArrayRead::fileSystemIdOfShare(server, info.share, shareTypeOf(info));
        if (sharesAsked.insert(fileSystem.key()).second) {
            fileSystemReadOf[d] = static_cast<int>(shares.size());
            chains.back().push_back(shares.size());
            shares.push_back(fileSystem);
        }
        chains.back().push_back(shares.size());
        shares.push_back(ArrayRead::share(server, shareTypeOf(info), info.share, true));
    }
    groupState.ahead.make(state, shares, chains);

    std::vector<ArrayRead> labels;
    std::vector<int> labelReadOf(group.devices.size(), -1);   // index in `labels`
    std::unordered_map<std::string, int> labelAsked;           // by file-system ID
    for (size_t d = 0; d < group.devices.size(); ++d) {
        if (fileSystemReadOf[d] < 0) continue;
        const ArrayRead& found = shares[static_cast<size_t>(fileSystemReadOf[d])];
        if (!found.made || !found.succeeded) continue;
        const auto asked = labelAsked.emplace(found.fileSystemIdFound, static_cast<int>(labels.size()));
        if (asked.second) labels.push_back(ArrayRead::fileSystemInfo(found.fileSystemIdFound));
        labelReadOf[d] = asked.first->second;
    }
    groupState.ahead.make(state, labels);

    std::vector<ArrayRead> natives;
    std::unordered_set<std::string> known;   // labels the group has read or asked for by then
    for (size_t d = 0; d < group.devices.size(); ++d) {
        const _HNASDeviceInfo& info = group.devices[d]->deviceRecord();
        if (info.deviceType != kDeviceTypeNative) {
            if (labelReadOf[d] < 0) continue;
            const ArrayRead& label = labels[static_cast<size_t>(labelReadOf[d])];
            if (label.made && label.succeeded && !label.fileSystems.empty())
                known.insert(label.fileSystems.front().name);
            continue;
        }
        if (known.insert(info.fileSystemName).second) natives.push_back(ArrayRead::fileSystemIdByLabel(info.fileSystemName));
    }
    groupState.ahead.make(state, natives);
}

bool beginGroup(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap& group,
                GroupState& groupState) {
    if (!state.client.getVirtualServerInfo(group.arrayId, groupState.prepare.server)) {
        const std::string message = "Failed to get the list of all virtual servers for Host [" + group.arrayId + "].";
        state.log.DebugLvl(spec.context, DebugLevel::kFailure, state.jobId, "%s", message.c_str());
        return false;
    }
    if (makesReadsAhead(state)) lookUpAhead(state, group, groupState);
    return true;
}

// The ID of the file system labelled `name`, asked of the array once per
// group: a name the group asked for, or a label the array reported.
bool fileSystemIdOf(OperationState& state, GroupState& groupState, const std::string& name, std::string& id) {
    const auto known = groupState.prepare.fileSystemIdByName.find(name);
    if (known != groupState.prepare.fileSystemIdByName.end()) {
        id = known->second;
        return true;
    }
    ArrayRead read = ArrayRead::fileSystemIdByLabel(name);
    groupState.ahead.read(state, read);
    if (!read.succeeded) return false;
    id = read.fileSystemIdFound;
    groupState.prepare.fileSystemIdByName.emplace(name, id);
    return true;
}

// The ID of the file system that holds the share or export, asked of the
// array once per group (devices below one share differ in sub-directory).
bool shareFileSystemIdOf(OperationState& state, GroupState& groupState, const std::string& share,
                         const std::string& shareType, std::string& id) {
    const std::string key = shareType + ":" + share;
    const auto known = groupState.prepare.fileSystemIdByShare.find(key);
    if (known != groupState.prepare.fileSystemIdByShare.end()) {
        id = known->second;
        return true;
    }
    ArrayRead read = ArrayRead::fileSystemIdOfShare(groupState.prepare.server, share, shareType);
    groupState.ahead.read(state, read);
    if (!read.succeeded) return false;
    id = read.fileSystemIdFound;
    groupState.prepare.fileSystemIdByShare.emplace(key, id);
    return true;
}

// The array's label of the file system `id`, asked of the array once per
// group. Only a label the array reported is kept for an ID: a name a device
// string gave may differ from it in case.
bool fileSystemNameOf(OperationState& state, GroupState& groupState, const std::string& id, std::string& name) {
    const auto known = groupState.prepare.fileSystemNameById.find(id);
    if (known != groupState.prepare.fileSystemNameById.end()) {
        name = known->second;
        return true;
    }
    ArrayRead read = ArrayRead::fileSystemInfo(id);
    groupState.ahead.read(state, read);
    // A reported success without an entry is no answer.
    if (!read.succeeded || read.fileSystems.empty()) return false;
    name = read.fileSystems.front().name;
    groupState.prepare.fileSystemNameById.emplace(id, name);
    groupState.prepare.fileSystemIdByName.emplace(name, id);
    return true;
}

// Works out the array-side identity of one device into `info`; on failure
// returns the message.
bool discover(OperationState& state, GroupState& groupState, HNASSnapDevice& device, _HNASDeviceInfo& info,
              std::string& failure) {
    info.virtualServerId = std::to_string(groupState.prepare.server.virtualServerId);
    info.virtualServerObjectId = groupState.prepare.server.objectId;

    if (info.deviceType == kDeviceTypeNative) {
        if (!fileSystemIdOf(state, groupState, info.fileSystemName, info.fileSystemId)) {
            failure = "Failed to get File System ID for FS [" + info.fileSystemName + "].";
            return false;
        }
    } else {
        const std::string shareType = shareTypeOf(info);
        if (!shareFileSystemIdOf(state, groupState, info.share, shareType, info.fileSystemId)) {
            failure = "Failed to get File System ID for Share [" + info.share + "].";
            return false;
        }
        if (!fileSystemNameOf(state, groupState, info.fileSystemId, info.fileSystemName)) {
            failure = "Failed to get File System Info for File System ID [" + info.fileSystemId + "].";
            return false;
        }

        ArrayRead share = ArrayRead::share(groupState.prepare.server, shareType, info.share, true);
        groupState.ahead.read(state, share);
        if (!share.succeeded || share.shares.empty()) {
            failure = "Failed to get Share Info for Share [" + info.share + "].";
            return false;
        }
        state.utils.removeEscapeChar(share.shares.front().path, info.sharePath);
        info.shareSettings = share.shares.front().settings;

        if (!device.setMetadata(info, SM_MDT_FS_INFO)) {
            failure = metadataNotStoredMessage(SM_MDT_FS_INFO, info);
            return false;
        }
    }
    if (!device.setMetadata(info, SM_MDT_SNAP_UUID)) {
        failure = metadataNotStoredMessage(SM_MDT_SNAP_UUID, info);
        return false;
    }
    return true;
}

DeviceOutcome prepareDevice(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap&,
                            GroupState& groupState, HNASSnapDevice& device, const _HNASDeviceInfo& record) {
    // The metadata this device stores is built on a copy; the device keeps its record.
    _HNASDeviceInfo info = record;
    std::string failure;
    if (!discover(state, groupState, device, info, failure)) {
        logThenFailDevice(state, spec, device, QZSO::SNAP_STATUS_PREPARE_FAILED, QZSO::ERROR_PREPARE_FAILED, failure);
        return DeviceOutcome::Stop;
    }
    device.setStatus(QZSO::SNAP_STATUS_PREPARED, 0, "");
    return DeviceOutcome::Succeeded;
}

}  // namespace

template <>
const OperationSpec* operationSpec<HNAS_SNAP_OP_PREPARE>() {
    static const OperationSpec operation = [] {
        OperationSpec spec;
        spec.type = HNAS_SNAP_OP_PREPARE;
        spec.context = kContext;
        spec.openingMessage = "Preparing devices. Snap Engine [HNAS].";
        spec.phase = "PREPARE PHASE";
        spec.presetStatus = QZSO::SNAP_STATUS_PREPARE_FAILED;
        spec.beforeInit = announceGroup;
        spec.beginGroup = beginGroup;
        spec.deviceWork = prepareDevice;
        return spec;
    }();
    return &operation;
}
