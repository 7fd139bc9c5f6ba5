// The writer of the snap metadata texts that later jobs read back:
// SM_MDT_SNAP_UUID (identity of file system, share and snapshot) and
// SM_MDT_FS_INFO (settings and permissions of the source share or export).
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
const char kReservedListValues[] = "\",\" \"{\" \"}\" or a NUL byte";
const char kReservedListPermissions[] = "\",\" \"{\" \"}\" \"|\" \"]e\" or a NUL byte";
const char kUnsafeValueStart[] = "Metadata not stored: the value of [";
const char kUnsafeValueMiddle[] = "] holds a character the metadata text cannot carry (";
const char kUnsafeValueEnd[] = "): [";

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
        {kMdComment, s.comment},
        {kMdLocalReadCacheOption, s.localReadCacheOption},
        {kMdSnapshotOption, s.snapshotOption},
        {kMdTransferToReplicationTarget, s.transferToReplicationTarget},
        {kMdUserHomeDirectoryMode, s.userHomeDirectoryMode},
        {kMdUserHomeDirectoryPath, s.userHomeDirectoryPath},
        {kMdPermissions, permissionsBlock(s.permissions)},
    };
}

// The refusal line for a value that cannot be read back whole, e.g.
// "Metadata not stored: the value of [Comment] holds a character the metadata
// text cannot carry ("," "{" "}" or a NUL byte): [Sales, EMEA]."
std::string unsafeValueMessage(const std::string& key, const char* reservedList,
                               const std::string& value) {
    return kUnsafeValueStart + key + kUnsafeValueMiddle + reservedList + kUnsafeValueEnd +
           value.c_str() + kBracketClose;
}

// The first value that would not read back as written, as its refusal line;
// "" when every value is safe. Permission entries are named
// "Permissions[<n>].<Key>", counted from 1.
std::string findUnsafeValue(const std::vector<Pair>& pairs,
                            const std::vector<__HNASCIFSAuthentication>* permissions) {
    for (const Pair& pair : pairs) {
        if (pair.first == kMdPermissions) continue;   // checked entry by entry below
        if (pair.second.find_first_of(kReservedInValues) != std::string::npos) {
            return unsafeValueMessage(pair.first, kReservedListValues, pair.second);
        }
    }
    if (permissions == nullptr) return std::string();
    for (std::size_t i = 0; i < permissions->size(); ++i) {
        for (const Pair& pair : permissionPairs((*permissions)[i])) {
            if (pair.second.find_first_of(kReservedInPermissions) != std::string::npos ||
                pair.second.find(kMdPermissionsClose) != std::string::npos) {
                const std::string key = std::string(kMdPermissions) + "[" +
                                        std::to_string(i + 1) + "]." + pair.first;
                return unsafeValueMessage(key, kReservedListPermissions, pair.second);
            }
        }
    }
    return std::string();
}
}  // namespace

bool HNASSnapDevice::setMetadata(_HNASDeviceInfo& info, int type) {
    std::vector<Pair> pairs;
    const std::vector<__HNASCIFSAuthentication>* permissions = nullptr;
    const char* settingLine = nullptr;
    if (type == SM_MDT_SNAP_UUID) {
        pairs = snapUUIDPairs(info);
        settingLine = kSettingSnapUUID;
    } else if (type == SM_MDT_FS_INFO) {
        pairs = fsInfoPairs(info.shareSettings);
        permissions = &info.shareSettings.permissions;
        settingLine = kSettingFsInfo;
    } else {
        const std::string message = kUnknownTypeStart + std::to_string(type) + kBracketClose;
        snapInfo->logMessage(2, message.c_str());
        return false;
    }

    const std::string unsafe = findUnsafeValue(pairs, permissions);
    if (!unsafe.empty()) {
        snapInfo->logMessage(2, unsafe.c_str());
        return false;
    }

    const std::string text = joinPairs(pairs);
    snapInfo->logMessage(1, (settingLine + text).c_str());
    if (snapInfo->setMetadata(static_cast<short>(type), text.c_str()) == 0) return true;
    const std::string message = kSetFailedStart + text + kBracketClose;
    snapInfo->logMessage(2, message.c_str());
    return false;
}
