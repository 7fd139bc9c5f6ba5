// The writer of the snap metadata texts that later jobs read back:
// SM_MDT_SNAP_UUID (identity of file system, share and snapshot) and
// SM_MDT_FS_INFO (settings and permissions of the source share or export).
// The texts of this file are a contract with the metadata the host stores
// and with its log readers: keep them character for character, typos included.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "device/HNASSnapDevice.h"
#include "utils/HNASUtils.h"
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
const char kUnsafeValueStart[] = "the value of [";
const char kUnsafeValueMiddle[] = "] holds ";
const char kUnsafeValueEnd[] = ", which the metadata text cannot carry: [";
const char kStoredCutStart[] = " It is stored cut to [";
const char kSettingsDropped[] =
    " No share settings are stored: map will use the live settings and permissions of the source share/export.";

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

// The identity values that later jobs only log (or do not read at all): a
// cut costs nothing but a shorter log line. Every other value is acted on.
bool onlyLogged(const std::string& key) {
    return key == kMdPath || key == kMdTargetHostName || key == kMdSnapshotName;
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

// Every settings value is handed by map to the array when it creates the
// snapshot's share or export. The access configuration and the permissions
// decide who reaches the copy; the flags, the user limit, the cache, snapshot,
// replication and home-directory options and the home-directory path decide
// how it behaves. Those are stored whole or not at all. The comment only
// describes the share: a shortened one changes neither access nor behaviour.
bool descriptiveOnly(const std::string& key) { return key == kMdComment; }

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

// How a reserved character is named: "\",\"" or "a NUL byte".
std::string reservedCharacterName(const std::string& value, std::size_t at) {
    if (value[at] == '\0') return "a NUL byte";
    if (value.compare(at, 2, kMdPermissionsClose) == 0) return std::string("\"") + kMdPermissionsClose + "\"";
    return std::string("\"") + value[at] + "\"";
}

// e.g. "the value of [AccessConfig] holds \",\", which the metadata text
// cannot carry: [10.1.0.0/16(rw,no_root_squash)]." The value is shown up to
// a NUL byte.
std::string unsafeValueMessage(const std::string& key, const std::string& value, std::size_t at) {
    return kUnsafeValueStart + key + kUnsafeValueMiddle + reservedCharacterName(value, at) + kUnsafeValueEnd +
           value.c_str() + kBracketClose;
}

// How a value stored cut is described, e.g. "the value of [Comment] holds
// \",\", which the metadata text cannot carry: [Sales, EMEA]. It is stored cut
// to [Sales]."
std::string cutValueNote(const std::string& key, const std::string& value, std::size_t at) {
    return unsafeValueMessage(key, value, at) + kStoredCutStart + value.substr(0, at) + kBracketClose;
}

// The first settings value that map acts on and that would not read back as
// written, as a phrase naming it; "" when every such value is safe.
// Permission entries are named "Permissions[<n>].<Key>", counted from 1.
std::string findUnsafeSetting(const std::vector<Pair>& pairs, const __HNASFileSystemShareSettings& settings) {
    for (const Pair& pair : pairs) {
        // The permissions are checked entry by entry below; a comment is cut.
        if (pair.first == kMdPermissions || descriptiveOnly(pair.first)) continue;
        const std::size_t at = pair.second.find_first_of(kReservedInValues);
        if (at != std::string::npos) return unsafeValueMessage(pair.first, pair.second, at);
    }
    for (std::size_t i = 0; i < settings.permissions.size(); ++i) {
        for (const Pair& pair : permissionPairs(settings.permissions[i])) {
            const std::size_t at =
                std::min(pair.second.find_first_of(kReservedInPermissions), pair.second.find(kMdPermissionsClose));
            if (at != std::string::npos) {
                const std::string key = std::string(kMdPermissions) + "[" + std::to_string(i + 1) + "]." + pair.first;
                return unsafeValueMessage(key, pair.second, at);
            }
        }
    }
    return std::string();
}

// The keys of the values an earlier write stored cut.
std::vector<std::string> keysCutBefore(uint8_t cutValues) {
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < std::size(kMdActedOnKeys); ++i)
        if ((cutValues & (1u << i)) != 0) keys.push_back(kMdActedOnKeys[i]);
    return keys;
}

// True when `value` holds "{" + `key` + ":" at `at`, where the key lookup
// would take it for the pair of `key`.
bool opensPairAt(const std::string& value, std::size_t at, const std::string& key) {
    return value.size() - at > key.size() + 1 && value.compare(at + 1, key.size(), key) == 0 &&
           value[at + 1 + key.size()] == ':';
}

// True when `value` holds "{" + a key + ":" for a key of the identity text or
// for the closing marker. The key lookup takes the first "{" + key + ":" of a
// text before any "," + key + ":", so such a value stands in for that key's
// own pair (or creates a marker where there is none) wherever it stands, even
// when it says the same as the pair.
bool standsInForAKey(const std::string& value, const std::vector<Pair>& pairs) {
    for (std::size_t at = value.find('{'); at != std::string::npos; at = value.find('{', at + 1)) {
        if (opensPairAt(value, at, kMdCutValues)) return true;
        for (const Pair& pair : pairs)
            if (opensPairAt(value, at, pair.first)) return true;
    }
    return false;
}

// "{Key:value,...}" with the closing "CutValues" pair when keys were cut.
std::string snapUUIDText(std::vector<Pair> pairs, const std::vector<std::string>& cutKeys) {
    if (!cutKeys.empty()) {
        std::string joined;
        for (const std::string& key : cutKeys) joined += (joined.empty() ? "" : kMdCutValuesSeparator) + key;
        pairs.emplace_back(kMdCutValues, joined);
    }
    return joinPairs(pairs);
}

// The identity text as it can be stored. A value that is only logged is cut
// at its first reserved character. A value that later jobs act on is kept
// whole when it reads back exactly from the whole text (a brace inside a
// sub-directory such as "Team {A}" does); otherwise it is cut there too and
// its key goes into the closing "CutValues" pair, after any key an earlier
// write cut, so that those jobs refuse it instead of acting on it.
//
// The text is verified as a reader of any version sees it: each key of the
// text, and the marker, looked up with the one key lookup, must give the
// value of its own pair (the marker: the keys named, or nothing when none
// were cut). A value that would make the lookup of any key find it instead
// ("{VirtualServerID:7" in a sub-directory, "{CutValues:none" in a file
// system label) cannot be carried, whatever it says. Each cut is described
// in `notes`.
std::string storableSnapUUIDText(const _HNASDeviceInfo& info, HNASUtils& utils, std::vector<std::string>& notes) {
    std::vector<Pair> pairs = snapUUIDPairs(info);
    std::vector<std::string> cutKeys = keysCutBefore(info.cutMetadataValues);
    // Cuts every pair of `key` (a file system name stands in the text twice).
    const auto cut = [&](const std::string& key, const std::string& value, std::size_t at) {
        notes.push_back(cutValueNote(key, value, at));
        const std::string kept = value.substr(0, at);
        for (Pair& pair : pairs)
            if (pair.first == key) pair.second = kept;
        if (!onlyLogged(key) && std::find(cutKeys.begin(), cutKeys.end(), key) == cutKeys.end())
            cutKeys.push_back(key);
    };
    for (const Pair& pair : pairs) {
        if (!onlyLogged(pair.first)) continue;
        const std::size_t at = pair.second.find_first_of(kReservedInValues);
        if (at != std::string::npos) cut(pair.first, std::string(pair.second), at);
    }
    // Only a value with a reserved character can make a lookup go wrong: its
    // own (a "," ends it early) or another key's (it stands in for that key,
    // the marker included). So the values checked are those, and each round
    // cuts one of them to none, until every key reads back; the rounds end.
    std::string text = snapUUIDText(pairs, cutKeys);
    for (std::size_t round = 0; round <= pairs.size(); ++round) {
        const auto wrong = std::find_if(pairs.begin(), pairs.end(), [&](const Pair& pair) {
            if (pair.second.find_first_of(kReservedInValues) == std::string::npos) return false;
            std::string read;
            // A NUL byte reads back here but would end the text the host receives.
            return pair.second.find('\0') != std::string::npos || standsInForAKey(pair.second, pairs) ||
                   !(utils.getJsonVal(text, pair.first, read) && read == pair.second);
        });
        if (wrong == pairs.end()) break;
        cut(wrong->first, std::string(wrong->second), wrong->second.find_first_of(kReservedInValues));
        text = snapUUIDText(pairs, cutKeys);
    }
    return text;
}
}  // namespace

bool HNASSnapDevice::setMetadata(_HNASDeviceInfo& info, int type) {
    if (type != SM_MDT_SNAP_UUID && type != SM_MDT_FS_INFO) {
        const std::string message = kUnknownTypeStart + std::to_string(type) + kBracketClose;
        snapInfo->logMessage(QZSO::HostLog::kFailure, message.c_str());
        return false;
    }
    // What cannot be carried never fails the device: it is described at the
    // progress level and stored in the form that later jobs can trust.
    std::vector<std::string> notes;
    std::string text;
    const char* settingLine = nullptr;
    if (type == SM_MDT_SNAP_UUID) {
        HNASUtils utils(jobId);
        text = storableSnapUUIDText(info, utils, notes);
        settingLine = kSettingSnapUUID;
    } else {
        // Settings that map acts on are used whole or not at all: an access
        // configuration cut to "10.1.0.0/16(rw" would give the snapshot's
        // export other access than its source. An empty text replaces what an
        // earlier prepare stored, and reads back as "not saved". A comment is
        // stored cut instead, so that it never costs the saved permissions.
        std::vector<Pair> pairs = fsInfoPairs(info.shareSettings);
        const std::string unsafe = findUnsafeSetting(pairs, info.shareSettings);
        if (unsafe.empty()) {
            for (Pair& pair : pairs) {
                if (!descriptiveOnly(pair.first)) continue;
                const std::size_t at = pair.second.find_first_of(kReservedInValues);
                if (at == std::string::npos) continue;
                notes.push_back(cutValueNote(pair.first, pair.second, at));
                pair.second.erase(at);
            }
            text = joinPairs(pairs);
        } else {
            notes.push_back(unsafe + kSettingsDropped);
        }
        settingLine = kSettingFsInfo;
    }
    for (const std::string& note : notes)
        snapInfo->logMessage(QZSO::HostLog::kProgress, (settingLine + note).c_str());

    snapInfo->logMessage(QZSO::HostLog::kDetails, (settingLine + text).c_str());
    if (snapInfo->setMetadata(static_cast<short>(type), text.c_str()) == 0) return true;
    const std::string message = kSetFailedStart + text + kBracketClose;
    snapInfo->logMessage(QZSO::HostLog::kFailure, message.c_str());
    return false;
}
