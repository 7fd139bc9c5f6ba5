// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "device/HNASSnapDevice.h"

#include "device/DeviceMessages.h"
#include "device/HostBufferRead.h"

namespace {
const char kGetValueIntContext[] = "HNASSnapDevice::getValueInt";


// Host text reads that announce 1024 bytes and allow at most five calls.
const int kValueStringFirstSize = 1024;
const int kValueStringRetries = 4;
}  // namespace

// A batch allocates one device per descriptor. glibc serves requests of up to
// 1000 bytes from its small bins; a larger one first merges every free fast
// chunk of the heap, which for a large batch means walking cold memory once
// per device.
static_assert(sizeof(HNASSnapDevice) <= 1000, "keep a device within glibc's small-bin sizes");

HNASSnapDevice::HNASSnapDevice(QZSO::SnapInfo* hostSnapInfo, QZSO::QZOSUtil* hostOsUtil,
                               _HNASSnapOpType operationType)
    : snapInfo(hostSnapInfo), osUtil(hostOsUtil), opType(operationType), jobId(0),
      deviceTypeCode(HNAS_DEVICE_NONE), statusBefore(QZSO::SnapStatus(0)) {
    if (osUtil != nullptr) jobId = osUtil->getJobId();
}

HNASSnapDevice::~HNASSnapDevice() {}

bool HNASSnapDevice::initializeDeviceObj(const _HNASDeviceType& type) {
    deviceTypeCode = type;
    return true;
}

_HNASDeviceInfo HNASSnapDevice::getDeviceInfo() { return deviceInfo; }

const _HNASDeviceInfo& HNASSnapDevice::deviceRecord() const { return deviceInfo; }

void HNASSnapDevice::setStatus(QZSO::SnapStatus status, int errorCode, std::string message) {
    snapInfo->setStatus(status);
    if (errorCode != 0) snapInfo->setError(errorCode, message.c_str());
}

QZSO::SnapStatus HNASSnapDevice::getStatus() { return snapInfo->getStatus(); }

void HNASSnapDevice::rememberStatusBeforeOperation(QZSO::SnapStatus status) { statusBefore = status; }

QZSO::SnapStatus HNASSnapDevice::statusBeforeOperation() const { return statusBefore; }

void HNASSnapDevice::resetSnapUUID(const std::string& uuid) {
    deviceInfo.snapUUID = uuid;
    snapInfo->setSnapUUID(uuid.c_str());
}

void HNASSnapDevice::setSnapshotObjectId(const std::string& id) { deviceInfo.snapshotObjectId = id; }

void HNASSnapDevice::markFileSystemSnapped() { deviceInfo.fileSystemSnapped = true; }

void HNASSnapDevice::setSnapDevice(const std::string& name) { snapInfo->setSnapDevice(name.c_str()); }

int HNASSnapDevice::getValueInt(const int& key) {
    int value = 0;
    if (snapInfo->getValueInt(static_cast<short>(key), &value) == 1) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kGetValueIntContext, "%s", kNoMountRequestInitiator);
        return 0;
    }
    return value;
}

std::string HNASSnapDevice::getValueString(const int& key) {
    int size = kValueStringFirstSize;
    int retries = kValueStringRetries;
    const HostTextRead read = readShortHostText(size, retries, [&](char* buffer, short* hostSize) {
        return snapInfo->getValueString(static_cast<short>(key), buffer, hostSize);
    });
    return read.text;
}

void HNASSnapDevice::clean(std::vector<HNASSnapDevice*>& devices) {
    for (HNASSnapDevice* device : devices) delete device;
    devices.clear();
}
