// Map and unmap: who asked for the mount, the mount path of a GUI request,
// and the share settings saved at prepare time.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include <string>

#include "device/DeviceMessages.h"
#include "device/HNASSnapDevice.h"
#include "device/HostBufferRead.h"
#include "utils/HNASUtils.h"

namespace {

const char kMapUnmapContext[] = "HNASSnapDevice::preOperationMapUnMap";
const char kMountPathContext[] = "HNASSnapDevice::getMountPath";

// Saved share settings: 16384 bytes first, at most five calls.
const int kShareSettingsFirstSize = 16384;
const int kShareSettingsRetries = 4;

}  // namespace

bool HNASSnapDevice::preOperationMapUnMap() {
    if (!preOperationCommon()) return false;

    const int source = getValueInt(QZSO::GET_VALUE_VOLSNAP_OP_SOURCE);
    if (source == 0) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kMapUnmapContext, "%s", kNoMountRequestInitiator);
        return false;
    }
    snapInfo->logFormatted(QZSO::HostLog::kDetails, kMapUnmapContext, "Mount request source is [%d]", source);

    if (source == QZSO::MOUNT_REQUEST_SOURCE_GUI) {
        snapInfo->logFormatted(QZSO::HostLog::kDetails, kMapUnmapContext, "%s", "Mount/Unmount Request Source: GUI");
        const std::string mountPath = getMountPath();
        if (mountPath.empty()) {
            snapInfo->logFormatted(QZSO::HostLog::kFailure, kMapUnmapContext, "%s",
                                   "Unable to get the mount path. This may be the case where the mount "
                                   "operation was sent by Peekmount and the unmount operation is done "
                                   "manually.");
        }
        deviceInfo.mountPath = mountPath;
    }

    if (deviceInfo.deviceType != kDeviceTypeNative) {
        int size = kShareSettingsFirstSize;
        int retries = kShareSettingsRetries;
        const HostTextRead saved = readShortHostText(size, retries, [&](char* buffer, short* hostSize) {
            return snapInfo->getMetadata(SM_MDT_FS_INFO, buffer, hostSize);
        });
        if (saved.ok() && !saved.text.empty()) {
            snapInfo->logFormatted(QZSO::HostLog::kProgress, kMapUnmapContext,
                                   "Permissions are saved. Will be using the permissions saved in the prepare "
                                   "phase: [%s]",
                                   saved.text.c_str());
            deviceInfo.shareSettingsSaved = true;
            HNASUtils utils(jobId);
            utils.parseMetaData(SM_MDT_FS_INFO, saved.text.c_str(), deviceInfo);
        } else {
            snapInfo->logMessage(QZSO::HostLog::kProgress,
                                 "Permissions are not saved. Will be using the permissions of the parent "
                                 "share/export.");
        }
    }
    return true;
}

std::string HNASSnapDevice::getMountPath() {
    const std::string text =
        "On UNIX the share name for GUI Mount operations is same as the Snap UUID[" + deviceInfo.snapUUID + "]";
    snapInfo->logFormatted(QZSO::HostLog::kDetails, kMountPathContext, "%s", text.c_str());
    return deviceInfo.snapUUID;
}
