// Records exchanged with the array-management client (QzManageHNAS).
// Plain values: default construction calls clear(); copies are memberwise.
// The default setting texts are a contract with the array client and the
// metadata the host stores: keep them character for character.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One virtual server (EVS) of an array.
struct __HNASVirtualServers {
    std::string uuid;                       // client's own
    std::string status;                     // client's own, e.g. "ONLINE"
    std::string name;                       // matched against a filer name
    std::string objectId;                   // array object ID, e.g. "333a3a3a..."
    std::string type;                       // client's own, e.g. "File services"
    std::vector<std::string> ipAddresses;   // in the array's order
    bool isEnabled;                         // client's own
    uint64_t virtualServerId;               // numeric EVS ID

    __HNASVirtualServers() { clear(); }
    void clear() {
        uuid.clear();
        status.clear();
        name.clear();
        objectId.clear();
        type.clear();
        ipAddresses.clear();
        isEnabled = false;
        virtualServerId = 0;
    }
};

// One CIFS permission entry.
struct __HNASCIFSAuthentication {
    std::string name;          // e.g. "BUILTIN\Administrators"
    std::string encodedName;   // the array's encoded form of the name
    int32_t permission;        // 0 none, 8 read, 24 change, 56 full; 1, 3, 7 denies
    std::string type;          // USER, GROUP, ...

    __HNASCIFSAuthentication() { clear(); }
    void clear() {
        name.clear();
        encodedName.clear();
        permission = 0;
        type.clear();
    }
};

// Settings of one CIFS share or NFS export.
struct __HNASFileSystemShareSettings {
    std::string accessConfig;
    std::string comment;
    std::string userHomeDirectoryPath;
    std::string cacheOption;
    std::string snapshotOption;
    std::string transferToReplicationTarget;
    std::string userHomeDirectoryMode;
    std::string localReadCacheOption;
    bool followSymLinks;
    bool followGlobalSymLinks;
    bool abeEnabled;
    bool forceFileNameToLowercase;
    bool scanForVirusesEnabled;
    int32_t maxConcurrentUsers;
    std::vector<__HNASCIFSAuthentication> permissions;

    __HNASFileSystemShareSettings() { clear(); }
    void clear() {
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
};

// One CIFS share or NFS export.
struct __HNASFileSystemShares {
    std::string objectId;        // client's own; map copies it from the source share
    std::string shareId;         // client's own
    std::string name;            // share name, or "/export" for NFS
    uint64_t virtualServerId;    // client's own
    std::string fileSystemId;    // client's own
    std::string path;            // path on the file system, e.g. "\\home\\frank"
    std::string shareType;       // client's own: "CIFS" or "NFS"
    __HNASFileSystemShareSettings settings;

    __HNASFileSystemShares() { clear(); }
    // Resets every field except `settings`, which keeps what it holds.
    void clear() {
        objectId.clear();
        shareId.clear();
        name.clear();
        virtualServerId = 0;
        fileSystemId.clear();
        path.clear();
        shareType.clear();
    }
};

// One snapshot of a file system.
struct __HNASFileSystemSnapshot {
    std::string objectId;        // stored as "SnapshotObjectID"
    std::string name;            // stored name, e.g. "QZHNAS-<uuid>-fs1"
    std::string fileSystemId;
    std::string state;           // e.g. "SNAPSHOT_MANAGEMENT_STATE_USABLE"
    std::string creationReason;  // client's own
    uint64_t creationTime;       // client's own, Unix seconds

    __HNASFileSystemSnapshot() { clear(); }
    void clear() {
        objectId.clear();
        name.clear();
        fileSystemId.clear();
        state.clear();
        creationReason.clear();
        creationTime = 0;
    }
};

// One file system as the array reports it.
struct __HNASFileSystemInfo {
    std::string objectId;        // client's own
    std::string name;            // the file system's label
    std::string fileSystemId;    // client's own
    std::string status;          // client's own, e.g. "MOUNTED"
    uint64_t virtualServerId;    // client's own
    uint64_t capacity;
    uint64_t usedCapacity;
    uint64_t freeCapacity;
    uint64_t usedSnapshotCapacity;

    __HNASFileSystemInfo() { clear(); }
    void clear() {
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
};
