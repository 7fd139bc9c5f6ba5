#include "records/HNASDeviceRecords.h"

void _HNASDeviceInfo::clear() {
    arrayId.clear();
    hostName.clear();
    hostUserName.clear();
    hostPassword.clear();
    hostId = 0;
    metroServerIP.clear();
    metroServerPort = 0;
    fileSystemName.clear();
    share.clear();
    sharePath.clear();
    subDirectory.clear();
    deviceType.clear();
    fileSystemId.clear();
    snapUUID.clear();
    snapshotObjectId.clear();
    virtualServerId.clear();
    virtualServerObjectId.clear();
    vorType.clear();
    sourceDevice.clear();
    targetHostName.clear();
    mountPath.clear();
    path.clear();
    fileSystemSnapped = false;
    shareSettingsSaved = false;
}

void _HNASArrayToDeviceMap::clear() {
    arrayId.clear();
    hostName.clear();
    hostUserName.clear();
    hostPassword.clear();
    hostId = 0;
    metroServerIP.clear();
    metroServerPort = 0;
    devices.clear();
}

void _HNASDeviceIdentifier::clear() {
    vorType.clear();
    deviceType.clear();
    filer.clear();
    share.clear();
    subDirectory.clear();
    fileSystem.clear();
    path.clear();
}

void _HNASArrayConfigs::clear() {
    metroServerPort = 0;
    metroServerIP.clear();
}
