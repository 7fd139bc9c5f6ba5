// Names and paths of mapped snapshots: the unique share or export name, the
// share name in the array's form, the clone path inside the snapshot, the snap
// device name handed to the host, and the marking of devices that share a
// snapped file system.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include <cstdint>

#include <boost/algorithm/string/replace.hpp>
#include <boost/tokenizer.hpp>

#include "device/HNASSnapDevice.h"
#include "host/EvDebug.h"
#include "host/SettingsKeys.h"
#include "utils/DeviceStringKeys.h"
#include "utils/HNASUtils.h"

namespace {
const char kUniqueShareContext[] = "HNASUtils::createUniqueShareForPath";
const char kShareNameContext[] = "HNASUtils::getSharePath";
const char kClonePathContext[] = "HNASUtils::getClonePath";
const char kMarkSnappedContext[] = "HNASUtils::markFileSystemSnapped";

const char kShareSuffix[] = "-QZShare";
const char kHiddenShareSuffix[] = "$";
const std::size_t kMaxShareNameLength = 80;
const char kHideSettingLog[] = "Additional setting [%s] is set, hide CIFS share";
const char kShareExportLog[] = "Share/Export: [%s]";

const char kInvalidArguments[] = "Error: Invalid arguments.";

const char kCloneArgumentsEmpty[] = "Backup type or SnapUUID is empty.";
const char kSharePathLog[] = "Share Path [%s]";
const char kSubDirectoryLog[] = "Sub Directory [%s]";
const char kUnknownBackupType[] = "Unknown backup type.";
const char kClonePathLog[] = "The Clone Path is [%s]";
const char kUncSnapshotDir[] = "\\\\~snapshot\\\\";   // two backslashes each side
const char kDotSnapshotDir[] = "/.snapshot/";

const char kVolumeRoot[] = "/__VOLUME__/";
const char kNativeSnapshotDir[] = "/~snapshot/";

const char kEmptyFileSystemId[] = "Invalid arguements. Empty File System ID.";
const char kSharedFileSystemLog[] =
    "Found sub client path using the same File System [%s]. Marking the File System ID [%s] as "
    "snapped.";
const char kDevicesUnderFileSystemLog[] = "There are [%d] device(s) under File System[%s].";

// The part of the snap UUID before the file system name that snap appended,
// e.g. "QZHNAS-1234-fs1" with "fs1" -> "QZHNAS-1234-". The last occurrence
// counts: a snap UUID that itself holds the name ("QZHNAS-fs1-a-fs1") must
// not share a stem with its siblings ("QZHNAS-fs1-b-fs1"). All of the UUID
// when the name does not occur; empty when the name is empty.
std::string shareNameStem(const std::string& snapUUID, const std::string& fileSystemName) {
    if (fileSystemName.empty()) return std::string();
    const std::size_t at = snapUUID.rfind(fileSystemName);
    return at == std::string::npos ? snapUUID : snapUUID.substr(0, at);
}

// stem + share + "-" + sub-directory (when not empty) + "-QZShare".
std::string shareNameOf(const std::string& stem, const std::string& share,
                        const std::string& convertedSubDirectory) {
    std::string name = stem + share;
    if (!convertedSubDirectory.empty()) name += "-" + convertedSubDirectory;
    return name + kShareSuffix;
}

// Keeps the last `count` characters of `name`. Characters, not bytes: a
// UTF-8 name is cut only where a character begins (a byte that is not
// 10xxxxxx), so the array never receives half a character.
void keepLastCharacters(std::string& name, std::size_t count) {
    std::size_t kept = 0;
    for (std::size_t i = name.size(); i-- > 0;) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;   // inside a character
        if (++kept == count) {
            name.erase(0, i);
            return;
        }
    }
}

std::size_t characterCount(const std::string& name) {
    std::size_t count = 0;
    for (const char c : name) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// 64-bit FNV-1a of the bytes of `text`, as 16 lower-case hex digits.
std::string digestOf(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string digest(16, '0');
    for (std::size_t i = 16; i-- > 0; hash >>= 4) digest[i] = kHex[hash & 0xF];
    return digest;
}

// Names of up to 80 characters stay as they are. A longer one becomes a
// digest of the whole name, "-" and its last 63 characters: 80 in all, still
// ending in "-QZShare" (and "$"), and apart from the name of every other
// snapshot or sub-directory even where their ends agree (cutting the start
// alone would drop the snap UUID, and two snapshots of one share would get
// one name), e.g. "9f0c2d41a7e3b655-" + "...-QZShare".
void keepWithinTheLimit(std::string& name) {
    if (characterCount(name) <= kMaxShareNameLength) return;
    const std::string digest = digestOf(name);
    keepLastCharacters(name, kMaxShareNameLength - digest.size() - 1);
    name = digest + "-" + name;
}

// The whole name, before keepWithinTheLimit: stem + share + sub-directory +
// "-QZShare" (+ "$"); empty for a native path, whose name is never cut.
std::string wholeShareName(const _HNASDeviceInfo& info, bool& hidden) {
    hidden = false;
    std::string name;
    if (info.deviceType == kDeviceTypeUnc) {
        std::string subDirectory = info.subDirectory;
        boost::algorithm::replace_all(subDirectory, kUncSeparator, "-");
        name = shareNameOf(shareNameStem(info.snapUUID, info.fileSystemName), info.share, subDirectory);
        int hide = 0;
        HNASUtils::GetRegInt(nullptr, kHideCifsShareOnSnapMount, &hide);
        if (hide > 0) {
            hidden = true;
            name += kHiddenShareSuffix;
        }
    } else if (info.deviceType == kDeviceTypeNfs) {
        std::string subDirectory = info.subDirectory;
        boost::algorithm::replace_all(subDirectory, kEscapedSlash, "-");
        // The export's leading "/" is dropped; a record without a share
        // contributes no share part.
        const std::string share = info.share.empty() ? std::string() : info.share.substr(1);
        name = shareNameOf(shareNameStem(info.snapUUID, info.fileSystemName), share, subDirectory);
    }
    return name;
}

// Splits at any of `delimiters`, dropping empty pieces:
// "\\dir1\\sub" with "\\" -> {"dir1", "sub"}.
std::vector<std::string> splitPath(const std::string& path, const char* delimiters) {
    std::vector<std::string> pieces;
    const boost::char_separator<char> separator(delimiters);
    const boost::tokenizer<boost::char_separator<char>> tokens(path, separator);
    for (const std::string& piece : tokens) pieces.push_back(piece);
    return pieces;
}
}  // namespace

std::string HNASUtils::uniqueShareName(const _HNASDeviceInfo& info, bool& hidden) const {
    if (info.deviceType == kDeviceTypeNative) {
        hidden = false;
        return info.snapUUID;
    }
    std::string name = wholeShareName(info, hidden);
    keepWithinTheLimit(name);
    return name;
}

std::string HNASUtils::earlierUniqueShareName(const _HNASDeviceInfo& info) const {
    if (info.deviceType == kDeviceTypeNative) return std::string();
    bool hidden = false;
    std::string name = wholeShareName(info, hidden);
    if (characterCount(name) <= kMaxShareNameLength) return std::string();
    keepLastCharacters(name, kMaxShareNameLength);
    return name;
}

bool HNASUtils::pathIsInSnapshot(const std::string& path, const std::string& snapshotName) {
    if (snapshotName.empty()) return false;
    for (const std::string& piece : splitPath(path, "\\/"))
        if (piece == snapshotName) return true;
    return false;
}

std::string HNASUtils::arrayShareNameKey(const std::string& shareType, const std::string& name) {
    std::string key = shareType + ":" + name;
    if (shareType == kProtocolCifs)
        for (char& c : key)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

std::string HNASUtils::getUniqueShareForPath(_HNASDeviceInfo info, bool /*flag*/,
                                             _HNASSnapOpType /*opType*/) {
    EvDebug log;
    bool hidden = false;
    const std::string name = uniqueShareName(info, hidden);
    if (hidden)
        log.DebugLvl(kUniqueShareContext, DebugLevel::kFlow, jobId, kHideSettingLog, kHideCifsShareOnSnapMount);
    log.DebugLvl(kUniqueShareContext, DebugLevel::kFlow, jobId, kShareExportLog, name.c_str());
    return name;
}

bool HNASUtils::shareNameOnArray(const std::string& shareName, const std::string& deviceType, std::string& result) {
    if (shareName.empty() || deviceType.empty()) return false;
    if (deviceType == kDeviceTypeUnc) {
        result = shareName;
    } else if (deviceType == kDeviceTypeNfs || deviceType == kDeviceTypeNative) {
        result = "/" + shareName;
    }
    return true;
}

bool HNASUtils::getShareName(const std::string& shareName, const std::string& deviceType,
                             bool& /*flag*/, std::string& result) {
    if (shareNameOnArray(shareName, deviceType, result)) return true;
    EvDebug log;
    log.DebugLvl(kShareNameContext, DebugLevel::kFailure, jobId, "%s", kInvalidArguments);
    return false;
}

bool HNASUtils::composeClonePath(const std::string& deviceType, const std::string& snapName,
                                 const std::string& sharePath, const std::string& subDirectory,
                                 const std::string& mountPath, std::string& clonePath) const {
    if (deviceType == kDeviceTypeUnc) {
        const std::string joined =
            subDirectory.empty() ? sharePath : sharePath + kUncSeparator + subDirectory;
        clonePath = kUncSnapshotDir + snapName;
        for (const std::string& piece : splitPath(joined, "\\")) {
            clonePath += kUncSeparator + piece;
        }
    } else if (deviceType == kDeviceTypeNfs) {
        clonePath = kDotSnapshotDir + snapName;
        if (sharePath.size() >= 2) clonePath += sharePath;
        if (!subDirectory.empty()) clonePath += "/" + subDirectory;
    } else if (deviceType == kDeviceTypeNative) {
        clonePath = kDotSnapshotDir + snapName + "/";
        if (!mountPath.empty()) {
            for (const std::string& piece : splitPath(subDirectory, "\\/")) {
                clonePath += piece + "/";
            }
        }
    } else {
        return false;
    }
    return true;
}

bool HNASUtils::getClonePath(const std::string& deviceType, std::string& snapName,
                             std::string& sharePath, std::string& subDirectory,
                             const std::string& mountPath, std::string& clonePath) {
    EvDebug log;
    if (deviceType.empty() || snapName.empty()) {
        log.DebugLvl(kClonePathContext, DebugLevel::kFailure, jobId, "%s", kCloneArgumentsEmpty);
        return false;
    }
    log.DebugLvl(kClonePathContext, DebugLevel::kFlow, jobId, kSharePathLog, sharePath.c_str());
    log.DebugLvl(kClonePathContext, DebugLevel::kFlow, jobId, kSubDirectoryLog, subDirectory.c_str());
    if (!composeClonePath(deviceType, snapName, sharePath, subDirectory, mountPath, clonePath)) {
        log.DebugLvl(kClonePathContext, DebugLevel::kFailure, jobId, "%s", kUnknownBackupType);
        return false;
    }
    log.DebugLvl(kClonePathContext, DebugLevel::kFlow, jobId, kClonePathLog, clonePath.c_str());
    return true;
}

std::string HNASUtils::getSnapDeviceName(const std::string& entryPrefix,
                                         const std::string& deviceType,
                                         const std::string& shareName, const std::string& filer,
                                         const std::string& fileSystemName,
                                         const std::string& subDirectory,
                                         const std::string& protocol) {
    const std::string vendorAndType =
        std::string(kDsVendor) + ":" + kDsVendorName + "," + kDsType + ":";
    const std::string filerEntry = std::string(",") + kDsTargetHostName + ":" + filer;
    if (deviceType == kDeviceTypeNfs) {
        return "{" + entryPrefix + vendorAndType + kDeviceTypeNfs + "," + kDsLunUuid + ":" +
               kEscapedSlash + shareName + filerEntry + "}";
    }
    if (deviceType == kDeviceTypeUnc) {
        return "{" + entryPrefix + vendorAndType + kDeviceTypeUnc + "," + kDsLunUuid + ":" +
               kUncSeparator + kUncServerMarker + filer + kUncSeparator + shareName + filerEntry +
               "}";
    }
    if (deviceType == kDeviceTypeNative) {
        // e.g. "/__VOLUME__/fs1/~snapshot/snap1" and, below it, "/d1".
        const std::string snapshotRoot = kVolumeRoot + fileSystemName + kNativeSnapshotDir + shareName;
        const std::string head = std::string("{") + kDsType + ":" + kDeviceTypeNative + "," +
                                 kDsPath + ":" + snapshotRoot + subDirectory + "," + kDsFsPath +
                                 ":" + snapshotRoot + filerEntry;
        if (protocol == kProtocolCifs) return head + "}";
        if (protocol == kProtocolNfs) return head + "," + kDsExportPath + ":/" + shareName + "}";
    }
    return std::string();
}

void HNASUtils::markFileSystemSnapped(const std::string& fileSystemId,
                                      const std::vector<HNASSnapDevice*>& devices,
                                      const std::string& snapshotName,
                                      const std::string& snapshotObjectId) {
    EvDebug log;
    if (fileSystemId.empty()) {
        log.DebugLvl(kMarkSnappedContext, DebugLevel::kFailure, jobId, "%s", kEmptyFileSystemId);
        return;
    }
    int matches = 0;
    for (HNASSnapDevice* device : devices) {
        if (device == nullptr) continue;
        const _HNASDeviceInfo& record = device->deviceRecord();
        if (record.fileSystemId != fileSystemId) continue;
        ++matches;
        if (matches > 1) {
            log.DebugLvl(kMarkSnappedContext, DebugLevel::kFlow, jobId, kSharedFileSystemLog,
                         record.fileSystemName.c_str(), fileSystemId.c_str());
        }
        device->markFileSystemSnapped();
        device->resetSnapUUID(snapshotName);
        device->setSnapshotObjectId(snapshotObjectId);
    }
    log.DebugLvl(kMarkSnappedContext, DebugLevel::kFlow, jobId, kDevicesUnderFileSystemLog, matches,
                 fileSystemId.c_str());
}
