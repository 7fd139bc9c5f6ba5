#include "client/WireRecords.h"

#include <strings.h>

namespace managehnas {

namespace {

using Settings = __HNASFileSystemShareSettings;

enum class Applies { Cifs, Nfs, Both };

// One settings key: its wire name, the protocols that take it on creation,
// and the one record field it maps to (exactly one pointer is set).
struct SettingsKey {
    const char* wire;
    Applies applies;
    std::string Settings::*text;
    bool Settings::*flag;
    int32_t Settings::*number;
};

const SettingsKey kSettingsKeys[] = {
    {"accessConfig", Applies::Both, &Settings::accessConfig, nullptr, nullptr},
    {"comment", Applies::Cifs, &Settings::comment, nullptr, nullptr},
    {"cacheOption", Applies::Cifs, &Settings::cacheOption, nullptr, nullptr},
    {"snapshotOption", Applies::Both, &Settings::snapshotOption, nullptr, nullptr},
    {"transferToReplicationTargetSetting", Applies::Both, &Settings::transferToReplicationTarget,
     nullptr, nullptr},
    {"userHomeDirectoryMode", Applies::Cifs, &Settings::userHomeDirectoryMode, nullptr, nullptr},
    {"userHomeDirectoryPath", Applies::Cifs, &Settings::userHomeDirectoryPath, nullptr, nullptr},
    {"localReadCacheOption", Applies::Nfs, &Settings::localReadCacheOption, nullptr, nullptr},
    {"maxConcurrentUsers", Applies::Cifs, nullptr, nullptr, &Settings::maxConcurrentUsers},
    {"isScanForVirusesEnabled", Applies::Cifs, nullptr, &Settings::scanForVirusesEnabled, nullptr},
    {"isFollowSymbolicLinks", Applies::Cifs, nullptr, &Settings::followSymLinks, nullptr},
    {"isFollowGlobalSymbolicLinks", Applies::Cifs, nullptr, &Settings::followGlobalSymLinks,
     nullptr},
    {"isForceFileNameToLowercase", Applies::Cifs, nullptr, &Settings::forceFileNameToLowercase,
     nullptr},
    {"isABEEnabled", Applies::Cifs, nullptr, &Settings::abeEnabled, nullptr},
};

bool appliesTo(Applies applies, ShareProtocol protocol) {
    return applies == Applies::Both || (applies == Applies::Cifs) == (protocol == ShareProtocol::Cifs);
}

}  // namespace

bool protocolOf(const std::string& shareType, ShareProtocol& protocol) {
    if (strcasecmp(shareType.c_str(), "CIFS") == 0) {
        protocol = ShareProtocol::Cifs;
        return true;
    }
    if (strcasecmp(shareType.c_str(), "NFS") == 0) {
        protocol = ShareProtocol::Nfs;
        return true;
    }
    return false;
}

const char* protocolName(ShareProtocol protocol) {
    return protocol == ShareProtocol::Cifs ? "CIFS" : "NFS";
}

const char* protocolSegment(ShareProtocol protocol) {
    return protocol == ShareProtocol::Cifs ? "cifs" : "nfs";
}

bool virtualServerFromWire(const Json& object, __HNASVirtualServers& server, std::string& cause) {
    const char* what = "virtual server";
    server.clear();
    return readUnsigned(object, "virtualServerId", true, server.virtualServerId, what, cause) &&
           readText(object, "name", true, server.name, what, cause) &&
           readText(object, "objectId", true, server.objectId, what, cause) &&
           readText(object, "UUID", false, server.uuid, what, cause) &&
           readTextList(object, "ipAddresses", false, server.ipAddresses, what, cause) &&
           readFlag(object, "isEnabled", false, server.isEnabled, what, cause) &&
           readText(object, "status", false, server.status, what, cause) &&
           readText(object, "type", false, server.type, what, cause);
}

bool fileSystemFromWire(const Json& object, __HNASFileSystemInfo& fileSystem, std::string& cause) {
    const char* what = "file system";
    fileSystem.clear();
    return readText(object, "filesystemId", true, fileSystem.fileSystemId, what, cause) &&
           readText(object, "label", true, fileSystem.name, what, cause) &&
           readText(object, "objectId", false, fileSystem.objectId, what, cause) &&
           readText(object, "status", false, fileSystem.status, what, cause) &&
           readUnsigned(object, "virtualServerId", false, fileSystem.virtualServerId, what, cause) &&
           readUnsigned(object, "capacity", false, fileSystem.capacity, what, cause) &&
           readUnsigned(object, "usedCapacity", false, fileSystem.usedCapacity, what, cause) &&
           readUnsigned(object, "freeCapacity", false, fileSystem.freeCapacity, what, cause) &&
           readUnsigned(object, "usedSnapshotCapacity", false, fileSystem.usedSnapshotCapacity,
                        what, cause);
}

bool settingsFromWire(const Json& object, Settings& settings, std::string& cause) {
    const char* what = "share settings";
    for (const SettingsKey& key : kSettingsKeys) {
        const bool read =
            key.text != nullptr     ? readText(object, key.wire, false, settings.*key.text, what, cause)
            : key.flag != nullptr   ? readFlag(object, key.wire, false, settings.*key.flag, what, cause)
                                    : readInt32(object, key.wire, false, settings.*key.number, what, cause);
        if (!read) return false;
    }
    return true;
}

bool shareFromWire(const Json& object, ShareProtocol protocol, __HNASFileSystemShares& share,
                   std::string& cause) {
    const char* what = "share";
    share.clear();
    share.settings = Settings();
    share.shareType = protocolName(protocol);
    if (!(readText(object, "objectId", true, share.objectId, what, cause) &&
          readText(object, "name", true, share.name, what, cause) &&
          readText(object, "filesystemId", true, share.fileSystemId, what, cause) &&
          readText(object, "path", true, share.path, what, cause) &&
          readText(object, "shareId", false, share.shareId, what, cause) &&
          readUnsigned(object, "virtualServerId", false, share.virtualServerId, what, cause)))
        return false;
    const auto settings = object.find("settings");
    if (settings == object.end() || settings->is_null()) return true;
    if (!settings->is_object()) {
        cause = "field [settings] of [share] is not an object";
        return false;
    }
    return settingsFromWire(*settings, share.settings, cause);
}

bool authenticationFromWire(const Json& object, __HNASCIFSAuthentication& entry,
                            std::string& cause) {
    const char* what = "CIFS permission";
    entry.clear();
    return readText(object, "name", true, entry.name, what, cause) &&
           readInt32(object, "permission", true, entry.permission, what, cause) &&
           readText(object, "encodedName", false, entry.encodedName, what, cause) &&
           readText(object, "type", false, entry.type, what, cause);
}

bool snapshotFromWire(const Json& object, __HNASFileSystemSnapshot& snapshot, std::string& cause) {
    const char* what = "snapshot";
    snapshot.clear();
    return readText(object, "objectId", true, snapshot.objectId, what, cause) &&
           readText(object, "displayName", true, snapshot.name, what, cause) &&
           readText(object, "filesystemId", false, snapshot.fileSystemId, what, cause) &&
           readText(object, "state", false, snapshot.state, what, cause) &&
           readText(object, "creationReason", false, snapshot.creationReason, what, cause) &&
           readUnsigned(object, "creationTime", false, snapshot.creationTime, what, cause);
}

bool isGoingState(const std::string& state) {
    static const std::string deleting = "SNAPSHOT_MANAGEMENT_STATE_DELETE";
    return state.compare(0, deleting.size(), deleting) == 0 || state == "SNAPSHOT_MANAGEMENT_STATE_DEAD";
}

Json settingsToWire(const Settings& settings, ShareProtocol protocol) {
    Json wire = Json::object();
    for (const SettingsKey& key : kSettingsKeys) {
        if (!appliesTo(key.applies, protocol)) continue;
        if (key.text != nullptr)
            wire[key.wire] = settings.*key.text;
        else if (key.flag != nullptr)
            wire[key.wire] = settings.*key.flag;
        else
            wire[key.wire] = settings.*key.number;
    }
    return wire;
}

Json authenticationToWire(const __HNASCIFSAuthentication& entry) {
    Json wire = {{"name", entry.name}, {"permission", entry.permission}};
    if (!entry.type.empty()) wire["type"] = entry.type;
    return wire;
}

}  // namespace managehnas
