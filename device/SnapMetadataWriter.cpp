// The writer of the snap metadata texts that later jobs read back:
// SM_MDT_SNAP_UUID (identity of file system, share and snapshot) and
// SM_MDT_FS_INFO (settings and permissions of the source share or export).
// The texts of this file are a contract with the metadata the host stores
// and with its log readers: keep them character for character, typos included.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "device/HNASSnapDevice.h"
#include "utils/MetadataKeys.h"

namespace {
const char kSettingSnapUUID[] = "Setting Metadata[SM_MDT_SNAP_UUID]: ";
const char kSettingFsInfo[] = "Setting Metadata[SM_MDT_FS_INFO]: ";
const char kUnknownTypeStart[] = "Unknown Meta Data type [";
const char kSetFailedStart[] = "Failed to set/update metadata to [";
// Closes the bracketed value of every refusal line.
const char kBracketClose[] = "].";

// The text form has no escaping: a value with one of these bytes would be
// cut on reading or would stand in for a later key, and a NUL byte would end
// the text the host receives.
const std::string kReservedInValues(",{}\0", 4);
// Inside a permission entry "|" also splits the block, and "]e" ends it.
const std::string kReservedInPermissions(",{}|\0", 5);
const char kNotStoredStart[] = "Metadata not stored: ";
const char kUnsafeValueStart[] = "the value of [";
const char kUnsafeValueMiddle[] = "] holds ";
const char kUnsafeValueEnd[] = ", which the metadata text cannot carry: [";

// One pair of a metadata text, in the order it is written.
using Pair = std::pair<std::string, std::string>;

std::string flagText(bool flag) { return flag ? kMdTrue : kMdFalse; }

// "{Key:value,Key:value}".
std::string joinPairs(const std::vector<Pair>& pairs) {
    std::string text = "{";
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i > 0) text += ",";
        text += pairs[i].first + ":" + pairs[i].second;
    }
    return text + "}";
}

std::vector<Pair> snapUUIDPairs(const _HNASDeviceInfo& info) {
    return {
        {kMdFileSystemName, info.fileSystemName},
        {kMdFileSystemId, info.fileSystemId},
        {kMdPath, info.sharePath.empty() ? info.path : info.sharePath},
        {kMdSubDirectory, info.subDirectory},
        {kMdSnapshotObjectId, info.snapshotObjectId},
        {kMdVirtualServerId, info.virtualServerId},
        {kMdVirtualServerObjectId, info.virtualServerObjectId},
        {kMdTargetHostName, info.targetHostName},
        {kMdFileSystemName, info.fileSystemName},
        {kMdSnapshotName, info.snapUUID},
    };
}

std::vector<Pair> permissionPairs(const __HNASCIFSAuthentication& entry) {
    return {
        {kMdPermission, std::to_string(entry.permission)},
        {kMdEncodedName, entry.encodedName},
        {kMdName, entry.name},
        {kMdType, entry.type},
    };
}

// "s[" entry "|" entry "]e", or "" without entries.
std::string permissionsBlock(const std::vector<__HNASCIFSAuthentication>& permissions) {
    if (permissions.empty()) return std::string();
    std::string block = kMdPermissionsOpen;
    for (std::size_t i = 0; i < permissions.size(); ++i) {
        if (i > 0) block += kMdPermissionsSeparator;
        block += joinPairs(permissionPairs(permissions[i]));
    }
    return block + kMdPermissionsClose;
}

// A free-text comment is stored up to its first reserved character, e.g.
// "Sales, EMEA" as "Sales": exactly what a reader would have returned, and
// no key can be smuggled in. Names and paths are refused instead, since
// cutting them would point at other data.
std::string storableComment(const std::string& comment) {
    return comment.substr(0, comment.find_first_of(kReservedInValues));
}

std::vector<Pair> fsInfoPairs(const __HNASFileSystemShareSettings& s) {
    return {
        {kMdAbeEnabled, flagText(s.abeEnabled)},
        {kMdFollowGlobalSymLinks, flagText(s.followGlobalSymLinks)},
        {kMdFollowSymLinks, flagText(s.followSymLinks)},
        {kMdForceFileNameToLowercase, flagText(s.forceFileNameToLowercase)},
        {kMdScanForVirusesEnabled, flagText(s.scanForVirusesEnabled)},
        {kMdMaxConcurrentUsers, std::to_string(s.maxConcurrentUsers)},
        {kMdAccessConfig, s.accessConfig},
        {kMdCacheOption, s.cacheOption},
        {kMdComment, storableComment(s.comment)},
        {kMdLocalReadCacheOption, s.localReadCacheOption},
        {kMdSnapshotOption, s.snapshotOption},
        {kMdTransferToReplicationTarget, s.transferToReplicationTarget},
        {kMdUserHomeDirectoryMode, s.userHomeDirectoryMode},
        {kMdUserHomeDirectoryPath, s.userHomeDirectoryPath},
        {kMdPermissions, permissionsBlock(s.permissions)},
    };
}

// How a reserved character is named in a refusal: "\",\"" or "a NUL byte".
std::string reservedCharacterName(const std::string& value, std::size_t at) {
    if (value[at] == '\0') return "a NUL byte";
    if (value.compare(at, 2, kMdPermissionsClose) == 0) return std::string("\"") + kMdPermissionsClose + "\"";
    return std::string("\"") + value[at] + "\"";
}

// e.g. "the value of [Path] holds \",\", which the metadata text cannot
// carry: [/a,SnapshotObjectID:9]." The value is shown up to a NUL byte.
std::string unsafeValueMessage(const std::string& key, const std::string& value, std::size_t at) {
    return kUnsafeValueStart + key + kUnsafeValueMiddle + reservedCharacterName(value, at) + kUnsafeValueEnd +
           value.c_str() + kBracketClose;
}

// The first value that would not read back as written, as its refusal;
// "" when every value is safe. Permission entries are named
// "Permissions[<n>].<Key>", counted from 1.
std::string findUnsafeValue(const std::vector<Pair>& pairs,
                            const std::vector<__HNASCIFSAuthentication>* permissions) {
    for (const Pair& pair : pairs) {
        if (pair.first == kMdPermissions) continue;   // checked entry by entry below
        const std::size_t at = pair.second.find_first_of(kReservedInValues);
        if (at != std::string::npos) return unsafeValueMessage(pair.first, pair.second, at);
    }
    if (permissions == nullptr) return std::string();
    for (std::size_t i = 0; i < permissions->size(); ++i) {
        for (const Pair& pair : permissionPairs((*permissions)[i])) {
            const std::size_t at =
                std::min(pair.second.find_first_of(kReservedInPermissions), pair.second.find(kMdPermissionsClose));
            if (at != std::string::npos) {
                const std::string key = std::string(kMdPermissions) + "[" +
                                        std::to_string(i + 1) + "]." + pair.first;
                return unsafeValueMessage(key, pair.second, at);
            }
        }
    }
    return std::string();
}

// The pairs of `type` and, for type 16, the permissions checked apart; false
// for an unknown type.
bool pairsOf(const _HNASDeviceInfo& info, int type, std::vector<Pair>& pairs,
             const std::vector<__HNASCIFSAuthentication>*& permissions) {
    permissions = nullptr;
    if (type == SM_MDT_SNAP_UUID) {
        pairs = snapUUIDPairs(info);
        return true;
    }
    if (type == SM_MDT_FS_INFO) {
        pairs = fsInfoPairs(info.shareSettings);
        permissions = &info.shareSettings.permissions;
        return true;
    }
    return false;
}
}  // namespace

std::string unstorableMetadataValue(const _HNASDeviceInfo& info, int type) {
    std::vector<Pair> pairs;
    const std::vector<__HNASCIFSAuthentication>* permissions = nullptr;
    if (!pairsOf(info, type, pairs, permissions)) return std::string();
    return findUnsafeValue(pairs, permissions);
}

bool HNASSnapDevice::setMetadata(_HNASDeviceInfo& info, int type) {
    std::vector<Pair> pairs;
    const std::vector<__HNASCIFSAuthentication>* permissions = nullptr;
    if (!pairsOf(info, type, pairs, permissions)) {
        const std::string message = kUnknownTypeStart + std::to_string(type) + kBracketClose;
        snapInfo->logMessage(QZSO::HostLog::kFailure, message.c_str());
        return false;
    }
    const char* settingLine = type == SM_MDT_SNAP_UUID ? kSettingSnapUUID : kSettingFsInfo;

    const std::string unsafe = findUnsafeValue(pairs, permissions);
    if (!unsafe.empty()) {
        snapInfo->logMessage(QZSO::HostLog::kFailure, (kNotStoredStart + unsafe).c_str());
        return false;
    }

    const std::string text = joinPairs(pairs);
    snapInfo->logMessage(QZSO::HostLog::kDetails, (settingLine + text).c_str());
    if (snapInfo->setMetadata(static_cast<short>(type), text.c_str()) == 0) return true;
    const std::string message = kSetFailedStart + text + kBracketClose;
    snapInfo->logMessage(QZSO::HostLog::kFailure, message.c_str());
    return false;
}
