// Prepare: find each device's virtual server, file system and (for shares
// and exports) share path and settings on the array, and store them as the
// descriptor's snap metadata.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "engine/CallsAhead.h"
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

// The look-ups discover will make, each once, in three rounds: the file
// system of each share or export; the label of each file system found;
// the file system of each native path whose label no device before it has
// made known (discover answers those from what the group already read).
// The share's path, settings and permissions are read by discover itself,
// from the share the first look-up read.
void lookUpAhead(OperationState& state, const _HNASArrayToDeviceMap& group, const GroupState& groupState) {
    AheadCalls shares;
    std::vector<int> shareCallOf(group.devices.size(), -1);
    for (size_t d = 0; d < group.devices.size(); ++d) {
        const _HNASDeviceInfo& info = group.devices[d]->deviceRecord();
        if (info.deviceType == kDeviceTypeNative) continue;
        const QzAheadCall call = QzAheadCall::fileSystemIdOfShare(
            groupState.prepare.server, info.share, info.deviceType == kDeviceTypeUnc ? kProtocolCifs : kProtocolNfs);
        if (!shares.add(call)) {
            // The same share as an earlier device: its answer is that one's.
            for (size_t k = 0; k < shares.calls.size(); ++k)
                if (qzAheadKey(shares.calls[k]) == qzAheadKey(call)) shareCallOf[d] = static_cast<int>(k);
        } else {
            shareCallOf[d] = static_cast<int>(shares.calls.size()) - 1;
        }
    }
    if (!shares.calls.empty() && !state.client.runAhead(shares.calls)) return;

    AheadCalls labels;
    std::vector<int> labelCallOf(shares.calls.size(), -1);
    for (size_t k = 0; k < shares.calls.size(); ++k) {
        const QzAheadCall& found = shares.calls[k];
        if (!found.made || !found.succeeded) continue;
        const QzAheadCall call = QzAheadCall::fileSystemInfo(found.fileSystemIdFound);
        labels.add(call);
        for (size_t l = 0; l < labels.calls.size(); ++l)
            if (labels.calls[l].fileSystemId == call.fileSystemId) labelCallOf[k] = static_cast<int>(l);
    }
    if (!labels.calls.empty() && !state.client.runAhead(labels.calls)) return;

    AheadCalls natives;
    std::unordered_set<std::string> known;   // labels the group has read or asked for by then
    for (size_t d = 0; d < group.devices.size(); ++d) {
        const _HNASDeviceInfo& info = group.devices[d]->deviceRecord();
        if (info.deviceType != kDeviceTypeNative) {
            const int k = shareCallOf[d];
            const int l = k >= 0 ? labelCallOf[static_cast<size_t>(k)] : -1;
            if (l < 0) break;   // discover stops there or asks otherwise: plan no further
            const QzAheadCall& label = labels.calls[static_cast<size_t>(l)];
            if (!label.made || !label.succeeded || label.fileSystemsFound.empty()) break;
            known.insert(label.fileSystemsFound.front().name);
            continue;
        }
        if (!known.insert(info.fileSystemName).second) continue;
        natives.add(QzAheadCall::fileSystemIdByLabel(info.fileSystemName));
    }
    if (!natives.calls.empty()) state.client.runAhead(natives.calls);
}

bool beginGroup(OperationState& state, const OperationSpec& spec, _HNASArrayToDeviceMap& group,
                GroupState& groupState) {
    if (!state.client.getVirtualServerInfo(group.arrayId, groupState.prepare.server)) {
        const std::string message = "Failed to get the list of all virtual servers for Host [" + group.arrayId + "].";
        state.log.DebugLvl(spec.context, DebugLevel::kFailure, state.jobId, "%s", message.c_str());
        return false;
    }
    if (makesCallsAhead(state)) lookUpAhead(state, group, groupState);
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
    if (!state.client.getFileSystemID(name, id)) return false;
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
    if (!state.client.getFileSystemID(groupState.prepare.server, share, shareType, id)) return false;
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
    std::vector<__HNASFileSystemInfo> fileSystems;
    // A reported success without an entry is no answer.
    if (!state.client.getFileSystemsInfo(id, fileSystems) || fileSystems.empty()) return false;
    name = fileSystems.front().name;
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
        const std::string shareType = info.deviceType == kDeviceTypeUnc ? kProtocolCifs : kProtocolNfs;
        if (!shareFileSystemIdOf(state, groupState, info.share, shareType, info.fileSystemId)) {
            failure = "Failed to get File System ID for Share [" + info.share + "].";
            return false;
        }
        if (!fileSystemNameOf(state, groupState, info.fileSystemId, info.fileSystemName)) {
            failure = "Failed to get File System Info for File System ID [" + info.fileSystemId + "].";
            return false;
        }

        std::vector<__HNASFileSystemShares> shares;
        __HNASFileSystemShares query;
        query.name = info.share;
        shares.push_back(query);
        if (!state.client.getFilesystemShares(groupState.prepare.server, shareType, shares, true) || shares.empty()) {
            failure = "Failed to get Share Info for Share [" + info.share + "].";
            return false;
        }
        state.utils.removeEscapeChar(shares.front().path, info.sharePath);
        info.shareSettings = shares.front().settings;

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

const OperationSpec kPrepareOperation = [] {
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
