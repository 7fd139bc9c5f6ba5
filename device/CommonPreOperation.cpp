// The pre-operation of every operation after prepare: the record from the
// source-device string, the array configuration and the stored snap metadata.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include <initializer_list>
#include <iterator>
#include <string>

#include "device/DeviceMessages.h"
#include "device/DeviceTypes.h"
#include "device/HNASSnapDevice.h"
#include "utils/HNASUtils.h"
#include "utils/MetadataKeys.h"

namespace {
const char kCommonContext[] = "HNASSnapDevice::preOperationCommon";
const char kCutValueStart[] = "The snap metadata holds the value of [";
const char kCutValueMiddle[] = "] cut at a character the metadata text cannot carry: [";
const char kCutValueEnd[] = "]. This operation does not act on a cut value; rename it on the array or in the "
                            "source device and prepare again.";

// The operations that act on each identity value, in the order of
// kMdActedOnKeys, with the field that holds it.
struct ActedOn {
    std::string _HNASDeviceInfo::*field;
    std::initializer_list<_HNASSnapOpType> operations;
};
const ActedOn kActedOn[] = {
    {&_HNASDeviceInfo::fileSystemName, {HNAS_SNAP_OP_SNAP, HNAS_SNAP_OP_ISMAPPED, HNAS_SNAP_OP_MAP, HNAS_SNAP_OP_UNMAP}},
    {&_HNASDeviceInfo::fileSystemId, {HNAS_SNAP_OP_SNAP, HNAS_SNAP_OP_MAP, HNAS_SNAP_OP_DELETE}},
    {&_HNASDeviceInfo::subDirectory, {HNAS_SNAP_OP_ISMAPPED, HNAS_SNAP_OP_MAP, HNAS_SNAP_OP_UNMAP}},
    {&_HNASDeviceInfo::snapshotObjectId, {HNAS_SNAP_OP_DELETE, HNAS_SNAP_OP_REVERT}},
    {&_HNASDeviceInfo::virtualServerId, {HNAS_SNAP_OP_MAP}},
    {&_HNASDeviceInfo::virtualServerObjectId, {HNAS_SNAP_OP_ISMAPPED, HNAS_SNAP_OP_MAP, HNAS_SNAP_OP_UNMAP}},
};
static_assert(std::size(kActedOn) == std::size(kMdActedOnKeys), "one entry per value later jobs act on");

// The first value stored cut that `opType` acts on, as the failure naming
// it; "" when there is none.
std::string cutValueInUse(const _HNASDeviceInfo& info, _HNASSnapOpType opType) {
    for (std::size_t i = 0; i < std::size(kActedOn); ++i) {
        if ((info.cutMetadataValues & (1u << i)) == 0) continue;
        for (const _HNASSnapOpType operation : kActedOn[i].operations) {
            if (operation == opType)
                return kCutValueStart + std::string(kMdActedOnKeys[i]) + kCutValueMiddle + info.*kActedOn[i].field +
                       kCutValueEnd;
        }
    }
    return std::string();
}
}  // namespace

bool HNASSnapDevice::preOperationCommon() {
    std::string source;
    _HNASDeviceIdentifier id;
    if (!readDeviceIdentity(kCommonContext, source, id)) return false;

    _HNASArrayConfigs configs;
    getArrayConfigValues(configs);

    _HNASDeviceType type = HNAS_DEVICE_NONE;
    if (!deviceTypeFromText(id.deviceType, type)) {
        snapInfo->logMessage(QZSO::HostLog::kFailure, kDeviceTypeNotSupported);
        return false;
    }

    HNASUtils utils(jobId);
    useArrayShareName(utils, id);
    initializeDeviceObj(type);

    recordDeviceIdentity(source, id);
    deviceInfo.path = id.path;

    // The stored metadata replaces what the string said.
    if (!getFileSystemAndFilerInfoFromSnap()) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kCommonContext, "%s",
                               "Unable to get the metadata information.");
        return false;
    }

    const std::string cut = cutValueInUse(deviceInfo, opType);
    if (!cut.empty()) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kCommonContext, "%s", cut.c_str());
        return false;
    }

    recordManagementEndpoint(configs);

    // Labels and values are referred to, not copied: these lines are written
    // for every device of every call.
    const std::string hostId = std::to_string(deviceInfo.hostId);
    const struct {
        const char* label;
        const std::string& value;
    } summary[] = {
        {"Target Host: ", deviceInfo.targetHostName},
        {"Management IP: ", deviceInfo.hostName},
        {"SMArray ID: ", deviceInfo.arrayId},
        {"Control Host ID: ", hostId},
        {"File System: ", deviceInfo.fileSystemName},
        {"File System ID: ", deviceInfo.fileSystemId},
        {"Path: ", deviceInfo.sharePath.empty() ? deviceInfo.path : deviceInfo.sharePath},
        {"Sub Directory: ", deviceInfo.subDirectory},
        {"Snap UUID: ", deviceInfo.snapUUID},
        {"Snapshot Object ID: ", deviceInfo.snapshotObjectId},
        {"Device Type: ", deviceInfo.deviceType},
        {"vOR Type: ", deviceInfo.vorType},
        {"Virtual Server ID: ", deviceInfo.virtualServerId},
        {"Virtual Server Object ID: ", deviceInfo.virtualServerObjectId},
    };
    for (const auto& line : summary)
        snapInfo->logFormatted(QZSO::HostLog::kDetails, line.label, "%s", line.value.c_str());
    return true;
}

