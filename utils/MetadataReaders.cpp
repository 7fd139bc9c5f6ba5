// The one key lookup of brace-and-comma texts and the readers of the snap
// metadata and of the host's array-info text.
// The texts of this file are a contract with the metadata the host stores
// and with its log readers: keep them character for character, typos included.
#include <iterator>

#include <boost/tokenizer.hpp>

#include "host/EvDebug.h"
#include "utils/HNASUtils.h"
#include "utils/LeadingInteger.h"
#include "utils/MetadataKeys.h"
#include "utils/UtilsMessages.h"

namespace {
const char kParseMetaDataContext[] = "HNASUtils::parseMetaData";
const char kParsePermissionsContext[] = "parsePermissionsMetaData";
const char kParseArrayInfoContext[] = "HNASUtils::parseArrayInfo";

const char kInvalidInput[] = "Invalid input parameters.";
const char kNotPresentInMetadata[] = " is not present in the metadata.";
const char kPermissionsLog[] = "Permissions: %s";
const char kPermissionNotPresent[] = "Permission is not present.";
const char kEncodedNameNotPresent[] = "Encoded Name is not present.";
const char kNameNotPresent[] = "Name is not present.";

// Array-info keys, in the order they are read, with their messages.
const char kArrayId[] = "arrayId";
const char kHostName[] = "hostName";
const char kHostUserName[] = "hostUserName";
const char kHostPassword[] = "hostPassword";
const char kHostId[] = "hostid";
const char kArrayIdMissing[] = "Array ID is not present in the metadata.";
const char kHostNameMissing[] = "Host Name is not present in the metadata.";
const char kHostUserNameMissing[] = "Host User Name is not present in the metadata.";
const char kHostPasswordMissing[] = "Host Password is not present in the metadata.";
const char kHostIdMissing[] = "Control Host ID is not present in the metadata.";

// Where the permissions block of a type-16 text starts: its "[" is the last
// byte of this marker.
const std::string kPermissionsBlockStart =
    std::string(",") + kMdPermissions + ":" + kMdPermissionsOpen;

// One required text key of a metadata type, read straight into its field.
struct TextKey {
    const char* key;
    std::string _HNASDeviceInfo::*field;
    const char* missing;   // message when absent
};

const TextKey kSnapUUIDKeys[] = {
    {kMdFileSystemName, &_HNASDeviceInfo::fileSystemName,
     "FileSystemName is not present in the metadata."},
    {kMdFileSystemId, &_HNASDeviceInfo::fileSystemId,
     "FileSystemID is not present in the metadata."},
    {kMdPath, &_HNASDeviceInfo::sharePath, "Share Path is not present in the metadata."},
    {kMdSubDirectory, &_HNASDeviceInfo::subDirectory,
     "SubDirectory is not present in the metadata."},
    {kMdSnapshotObjectId, &_HNASDeviceInfo::snapshotObjectId,
     "SnapshotObjectID is not present in the metadata."},
    {kMdVirtualServerId, &_HNASDeviceInfo::virtualServerId,
     "VirtualServerID is not present in the metadata."},
    {kMdVirtualServerObjectId, &_HNASDeviceInfo::virtualServerObjectId,
     "VirtualServerObjectID is not present in the metadata."},
};

// One required key of the share settings, with how its value is stored.
struct SettingsKey {
    const char* key;
    bool __HNASFileSystemShareSettings::*flag;          // "true" -> true
    int32_t __HNASFileSystemShareSettings::*number;     // leading integer
    std::string __HNASFileSystemShareSettings::*text;   // as it stands
};

using S = __HNASFileSystemShareSettings;
const SettingsKey kFsInfoKeys[] = {
    {kMdAbeEnabled, &S::abeEnabled, nullptr, nullptr},
    {kMdFollowGlobalSymLinks, &S::followGlobalSymLinks, nullptr, nullptr},
    {kMdFollowSymLinks, &S::followSymLinks, nullptr, nullptr},
    {kMdForceFileNameToLowercase, &S::forceFileNameToLowercase, nullptr, nullptr},
    {kMdScanForVirusesEnabled, &S::scanForVirusesEnabled, nullptr, nullptr},
    {kMdMaxConcurrentUsers, nullptr, &S::maxConcurrentUsers, nullptr},
    {kMdAccessConfig, nullptr, nullptr, &S::accessConfig},
    {kMdCacheOption, nullptr, nullptr, &S::cacheOption},
    {kMdComment, nullptr, nullptr, &S::comment},
    {kMdLocalReadCacheOption, nullptr, nullptr, &S::localReadCacheOption},
    {kMdSnapshotOption, nullptr, nullptr, &S::snapshotOption},
    {kMdTransferToReplicationTarget, nullptr, nullptr, &S::transferToReplicationTarget},
    {kMdUserHomeDirectoryMode, nullptr, nullptr, &S::userHomeDirectoryMode},
    {kMdUserHomeDirectoryPath, nullptr, nullptr, &S::userHomeDirectoryPath},
};

// The bracketed permissions block of a type-16 text, e.g. "[{...}|{...}]",
// or "" when the text has none. The block ends at the first "]e" of the whole
// text; when that stands before the block's "[", the block runs to the end.
std::string permissionsBlock(const std::string& text) {
    const std::size_t marker = text.find(kPermissionsBlockStart);
    if (marker == std::string::npos) return std::string();
    const std::size_t close = text.find(kMdPermissionsClose);
    if (close == std::string::npos) return std::string();
    const std::size_t open = marker + kPermissionsBlockStart.size() - 1;
    if (close < open) return text.substr(open);
    return text.substr(open, close - open + 1);
}

// The keys a type-6 text names as stored cut, e.g. "SubDirectory|FileSystemID"
// from a text that ends ",CutValues:SubDirectory|FileSystemID}"; false when it
// names none. The writer puts this pair only at the end of the text, after
// making sure that no value holds anything the key lookup would take for it.
// Texts stored by earlier versions may still hold "CutValues:" inside a value
// (a directory "a{CutValues:FileSystemID", a file system label
// "fs9{CutValues:none"): such a text is part of the value, names no cut and
// does not hide the closing pair.
bool closingCutValues(const std::string& text, std::string& keys) {
    const std::string pair = std::string(",") + kMdCutValues + ":";
    const std::size_t at = text.rfind(pair);
    if (at == std::string::npos || text.back() != '}') return false;
    const std::size_t start = at + pair.size();
    if (text.find_first_of(",{}", start) != text.size() - 1) return false;
    keys.assign(text, start, text.size() - 1 - start);
    return true;
}
}  // namespace

bool HNASUtils::getJsonVal(const std::string& text, const std::string& key, std::string& value) {
    std::string pattern = "{" + key + ":";
    std::size_t match = text.find(pattern);
    if (match == std::string::npos) {
        pattern[0] = ',';
        match = text.find(pattern);
    }
    if (match == std::string::npos) return false;
    const std::size_t start = match + pattern.size();
    std::size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.find('}', start);
    if (end == std::string::npos) return false;
    value.assign(text, start, end - start);
    return true;
}

bool HNASUtils::parseMetaData(const int& type, const char* text, _HNASDeviceInfo& info) {
    EvDebug log;
    if (text == nullptr) {
        log.Debug(kParseMetaDataContext, kInvalidInput);
        return false;
    }
    const std::string metadata(text);

    if (type == SM_MDT_SNAP_UUID) {
        // Optional, and absent from every text whose values all fitted.
        info.cutMetadataValues = 0;
        std::string cut;
        if (closingCutValues(metadata, cut)) {
            const std::string named = kMdCutValuesSeparator + cut + kMdCutValuesSeparator;
            for (std::size_t i = 0; i < std::size(kMdActedOnKeys); ++i) {
                const std::string key = kMdCutValuesSeparator + std::string(kMdActedOnKeys[i]) + kMdCutValuesSeparator;
                if (named.find(key) != std::string::npos) info.cutMetadataValues |= static_cast<uint8_t>(1u << i);
            }
        }
        for (const TextKey& key : kSnapUUIDKeys) {
            if (!getJsonVal(metadata, key.key, info.*key.field)) {
                log.DebugLvl(kParseMetaDataContext, DebugLevel::kFailure, jobId, "%s", key.missing);
                return false;
            }
        }
        return true;
    }

    __HNASFileSystemShareSettings& settings = info.shareSettings;
    for (const SettingsKey& key : kFsInfoKeys) {
        std::string value;
        if (!getJsonVal(metadata, key.key, value)) {
            const std::string message = key.key + std::string(kNotPresentInMetadata);
            log.DebugLvl(kParseMetaDataContext, DebugLevel::kFailure, jobId, "%s", message.c_str());
            return false;
        }
        if (key.flag != nullptr) {
            settings.*key.flag = value == kMdTrue;
        } else if (key.number != nullptr) {
            settings.*key.number = leadingIntegerOrZero(value);
        } else {
            settings.*key.text = value;
        }
    }

    const std::string block = permissionsBlock(metadata);
    if (!block.empty()) {
        std::vector<__HNASCIFSAuthentication> entries;
        parsePermissionsMetaData(block, entries);
        // A block without entries keeps the permissions the record had.
        if (!entries.empty()) settings.permissions = entries;
    }
    return true;
}

bool HNASUtils::parsePermissionsMetaData(const std::string& block,
                                         std::vector<__HNASCIFSAuthentication>& entries) {
    if (block.empty()) return false;
    EvDebug log;
    log.DebugLvl(kParsePermissionsContext, DebugLevel::kMostVerbose, kPermissionsLog, block.c_str());

    // Drop the "[" and the "]" around the entries; a one-byte block has none.
    const std::string inner = block.size() < 2 ? std::string() : block.substr(1, block.size() - 2);
    const boost::char_separator<char> separator(kMdPermissionsSeparator);
    const boost::tokenizer<boost::char_separator<char>> pieces(inner, separator);
    for (const std::string& piece : pieces) {
        __HNASCIFSAuthentication entry;
        std::string permission;
        if (getJsonVal(piece, kMdPermission, permission)) {
            entry.permission = leadingIntegerOrZero(permission);
        } else {
            log.DebugLvl(kParsePermissionsContext, DebugLevel::kFailure, jobId, "%s", kPermissionNotPresent);
        }
        if (!getJsonVal(piece, kMdEncodedName, entry.encodedName)) {
            log.DebugLvl(kParsePermissionsContext, DebugLevel::kFailure, jobId, "%s", kEncodedNameNotPresent);
        }
        if (!getJsonVal(piece, kMdName, entry.name)) {
            log.DebugLvl(kParsePermissionsContext, DebugLevel::kFailure, jobId, "%s", kNameNotPresent);
        }
        if (!getJsonVal(piece, kMdType, entry.type)) {
            log.DebugLvl(kParsePermissionsContext, DebugLevel::kFailure, jobId, "%s", kTypeNotPresent);
        }
        entries.push_back(entry);
    }
    return true;
}

bool HNASUtils::parseArrayInfo(unsigned long long /*jobId*/, const char* text,
                               std::string& arrayId, std::string& hostName,
                               std::string& hostUserName, std::string& hostPassword,
                               int& hostId) {
    arrayId.clear();
    hostName.clear();
    hostUserName.clear();
    hostPassword.clear();
    // A missing text reads like an empty one: the first key is absent.
    const std::string info = text == nullptr ? std::string() : std::string(text);

    EvDebug log;
    const struct {
        const char* key;
        std::string* output;
        const char* missing;
    } keys[] = {
        {kArrayId, &arrayId, kArrayIdMissing},
        {kHostName, &hostName, kHostNameMissing},
        {kHostUserName, &hostUserName, kHostUserNameMissing},
        {kHostPassword, &hostPassword, kHostPasswordMissing},
    };
    for (const auto& key : keys) {
        if (!getJsonVal(info, key.key, *key.output)) {
            log.DebugLvl(kParseArrayInfoContext, DebugLevel::kFailure, jobId, "%s", key.missing);
            return false;
        }
    }

    // A control host ID out of the 32-bit range cannot name a host: it
    // counts as absent. A value without digits reads as 0.
    std::string hostIdText;
    int32_t parsed = 0;
    if (!getJsonVal(info, kHostId, hostIdText) ||
        readLeadingInteger(hostIdText, parsed) == LeadingInteger::OutOfRange) {
        log.DebugLvl(kParseArrayInfoContext, DebugLevel::kFailure, jobId, "%s", kHostIdMissing);
        return false;
    }
    hostId = leadingIntegerOrZero(hostIdText);
    return true;
}
