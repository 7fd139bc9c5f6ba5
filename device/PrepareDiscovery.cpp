// Filling the device record: at prepare time from the source-device string
// and the host's information on the filer's array; afterwards from the snap
// metadata stored with the descriptor.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "device/DeviceMessages.h"
#include "device/DeviceTypes.h"
#include "device/HNASSnapDevice.h"
#include "device/HostBufferRead.h"
#include "host/ArrayConfigNames.h"
#include "utils/HNASUtils.h"
#include "utils/MetadataKeys.h"

namespace {

const char kPrepareContext[] = "HNASSnapDevice::prePrepareDevice";
const char kFromSnapContext[] = "HNASSnapDevice::GetFileSystemAndFilerInfoFromSnap";
const char kNoSnapMetadata[] = "Unable to get the snap metadata";

// Source-device strings and metadata: 1024 bytes first, at most five calls.
const int kFirstReadSize = 1024;
const int kReadRetries = 4;

}  // namespace

unsigned long long HNASSnapDevice::currentJobId() const {
    return osUtil != nullptr ? osUtil->getJobId() : jobId;
}

bool HNASSnapDevice::readSourceDevice(const char* context, std::string& source) {
    int size = kFirstReadSize;
    int retries = kReadRetries;
    const HostTextRead read = readShortHostText(size, retries, [&](char* buffer, short* hostSize) {
        return snapInfo->getSourceDevice(buffer, hostSize);
    });
    if (!read.ok()) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, context, "%s", kNoSnapSourceDevice);
        return false;
    }
    source = read.text;
    snapInfo->logFormatted(QZSO::HostLog::kDetails, context, kSnapSourceDeviceFormat, source.c_str());
    return true;
}

bool HNASSnapDevice::readDeviceIdentity(const char* context, std::string& source, _HNASDeviceIdentifier& id) {
    if (!readSourceDevice(context, source)) return false;
    HNASUtils utils(jobId);
    if (!utils.getDeviceInfo(source, id)) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, context, "%s%s", kNoFilerInfoFromSource, source.c_str());
        return false;
    }
    return true;
}

void HNASSnapDevice::useArrayShareName(HNASUtils& utils, _HNASDeviceIdentifier& id) {
    if (id.share.empty()) return;
    bool flag = false;
    std::string shareName = id.share;
    if (utils.getShareName(id.share, id.deviceType, flag, shareName)) id.share = shareName;
}

void HNASSnapDevice::recordDeviceIdentity(const std::string& source, const _HNASDeviceIdentifier& id) {
    deviceInfo.share = id.share;
    deviceInfo.subDirectory = id.subDirectory;
    deviceInfo.vorType = id.vorType;
    deviceInfo.deviceType = id.deviceType;
    deviceInfo.sourceDevice = source;
    deviceInfo.targetHostName = id.filer;
    deviceInfo.fileSystemName = id.fileSystem;
}

void HNASSnapDevice::recordManagementEndpoint(const _HNASArrayConfigs& configs) {
    deviceInfo.metroServerIP = configs.metroServerIP.empty() ? deviceInfo.hostName : configs.metroServerIP;
    deviceInfo.metroServerPort =
        configs.metroServerPort == 0 ? QZSO::kDefaultManagementPort : configs.metroServerPort;
}

bool HNASSnapDevice::prePrepareDevice() {
    std::string source;
    _HNASDeviceIdentifier id;
    if (!readDeviceIdentity(kPrepareContext, source, id)) return false;
    if (!setArrayInfo(id.filer)) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kPrepareContext, "%s%s", "Unable to set the array info.",
                               source.c_str());
        return false;
    }
    snapInfo->logFormatted(QZSO::HostLog::kDetails, kPrepareContext,
                           "Successfully set the array credentials for Array [%s]", id.filer.c_str());

    _HNASArrayConfigs configs;
    getArrayConfigValues(configs);

    std::string arrayId, hostName, hostUserName, hostPassword;
    int hostId = 0;
    if (!getArrayNameAndCredentials(jobId, arrayId, hostName, hostUserName, hostPassword, hostId)) {
        int recordedCode = 0;
        snapInfo->getError(&recordedCode, nullptr, 0);
        if (recordedCode == 0) {
            const std::string text = std::string(kPrepareContext) + kUnableToSetCredentialsPrefix + id.filer +
                                     "].Please make sure array information has been entered for device [" +
                                     source + "] in the DB using array management.";
            snapInfo->logMessage(QZSO::HostLog::kFailure, text.c_str());
        }
        return false;
    }

    HNASUtils utils(jobId);
    useArrayShareName(utils, id);

    _HNASDeviceType type = HNAS_DEVICE_NONE;
    if (!deviceTypeFromText(id.deviceType, type)) {
        snapInfo->logMessage(QZSO::HostLog::kFailure, kDeviceTypeNotSupported);
        return false;
    }

    initializeDeviceObj(type);

    recordDeviceIdentity(source, id);
    deviceInfo.arrayId = arrayId;
    deviceInfo.hostName = hostName;
    deviceInfo.hostUserName = hostUserName;
    deviceInfo.hostPassword = hostPassword;
    deviceInfo.hostId = hostId;
    recordManagementEndpoint(configs);
    return true;
}

bool HNASSnapDevice::getFileSystemAndFilerInfoFromSnap() {
    // One size and one budget of five calls serve the metadata read and the
    // snap-UUID read.
    int size = kFirstReadSize;
    int retries = kReadRetries;
    const HostTextRead metadata = readShortHostText(size, retries, [&](char* buffer, short* hostSize) {
        return snapInfo->getMetadata(SM_MDT_SNAP_UUID, buffer, hostSize);
    });
    if (!metadata.ok()) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kFromSnapContext, "%s", kNoSnapMetadata);
        return false;
    }
    snapInfo->logMessage(QZSO::HostLog::kProgress, metadata.text.c_str());

    HNASUtils utils(jobId);
    // A text without even its first key names no file system or snapshot at
    // all; going on would let delete and reconcile report a snapshot they
    // cannot see as deleted.
    std::string firstValue;
    if (!utils.getJsonVal(metadata.text, kMdFileSystemName, firstValue)) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kFromSnapContext, "%s", kNoSnapMetadata);
        return false;
    }
    // A missing key stops the reading there; what was read stays.
    utils.parseMetaData(SM_MDT_SNAP_UUID, metadata.text.c_str(), deviceInfo);

    if (!getArrayNameAndCredentials(currentJobId(), deviceInfo.arrayId, deviceInfo.hostName,
                                    deviceInfo.hostUserName, deviceInfo.hostPassword, deviceInfo.hostId)) {
        const std::string text = std::string(kFromSnapContext) + kUnableToSetCredentialsPrefix +
                                 deviceInfo.arrayId + "].Please make sure array information has been entered.";
        snapInfo->logMessage(QZSO::HostLog::kFailure, text.c_str());
        return false;
    }

    const HostTextRead uuid = readShortHostText(size, retries, [&](char* buffer, short* hostSize) {
        return snapInfo->getSnapUUID(buffer, hostSize);
    });
    // A failed read leaves the UUID empty rather than whatever a buffer held,
    // and fails the device: every later operation finds its snapshot, share
    // or export by this name, and an empty one would make a delete or unmap
    // of something absent look done.
    deviceInfo.snapUUID = uuid.text;
    if (!uuid.ok() || uuid.text.empty()) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kFromSnapContext, "%s", "Unable to get the snap UUID.");
        return false;
    }
    return true;
}
