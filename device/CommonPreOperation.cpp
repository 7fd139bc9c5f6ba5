// The pre-operation of every operation after prepare: the record from the
// source-device string, the array configuration and the stored snap metadata.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include <string>

#include "device/DeviceMessages.h"
#include "device/DeviceTypes.h"
#include "device/HNASSnapDevice.h"
#include "utils/HNASUtils.h"

namespace {
const char kCommonContext[] = "HNASSnapDevice::preOperationCommon";
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

