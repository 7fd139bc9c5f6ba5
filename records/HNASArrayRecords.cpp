#include "records/HNASArrayRecords.h"

void __HNASVirtualServers::clear() {
    uuid.clear();
    status.clear();
    name.clear();
    objectId.clear();
    type.clear();
    ipAddresses.clear();
    isEnabled = false;
    virtualServerId = 0;
}

void __HNASCIFSAuthentication::clear() {
    name.clear();
    encodedName.clear();
    permission = 0;
    type.clear();
}

void __HNASFileSystemShareSettings::clear() {
    accessConfig = "*";
    comment.clear();
    userHomeDirectoryPath.clear();
    cacheOption = "CACHING_OFF";
    snapshotOption = "SHOW_AND_ALLOW_ACCESS";
    transferToReplicationTarget = "DO_NOT_TRANSFER";
    userHomeDirectoryMode = "OFF";
    localReadCacheOption = "DISABLED";
    followSymLinks = false;
    followGlobalSymLinks = false;
    abeEnabled = false;
    forceFileNameToLowercase = false;
    scanForVirusesEnabled = false;
    maxConcurrentUsers = 100;
    permissions.clear();
}

void __HNASFileSystemShares::clear() {
    objectId.clear();
    shareId.clear();
    name.clear();
    virtualServerId = 0;
    fileSystemId.clear();
    path.clear();
    shareType.clear();
}

void __HNASFileSystemSnapshot::clear() {
    objectId.clear();
    name.clear();
    fileSystemId.clear();
    state.clear();
    creationReason.clear();
    creationTime = 0;
}

void __HNASFileSystemInfo::clear() {
    objectId.clear();
    name.clear();
    fileSystemId.clear();
    status.clear();
    virtualServerId = 0;
    capacity = 0;
    usedCapacity = 0;
    freeCapacity = 0;
    usedSnapshotCapacity = 0;
}
