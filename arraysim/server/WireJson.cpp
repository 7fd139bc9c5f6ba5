#include "arraysim/server/WireJson.h"

#include "arraysim/server/JsonKeys.h"

namespace arraysim {

using arraymodel::Authentication;
using arraymodel::FileSystem;
using arraymodel::Share;
using arraymodel::ShareSettings;
using arraymodel::Snapshot;
using arraymodel::VirtualServer;

Json settingsToJson(const ShareSettings& s) {
    return Json{{key::kAccessConfig, s.accessConfig},
                {key::kComment, s.comment},
                {key::kCacheOption, s.cacheOption},
                {key::kSnapshotOption, s.snapshotOption},
                {key::kTransferToReplicationTargetSetting, s.transferToReplicationTarget},
                {key::kUserHomeDirectoryMode, s.userHomeDirectoryMode},
                {key::kUserHomeDirectoryPath, s.userHomeDirectoryPath},
                {key::kMaxConcurrentUsers, s.maxConcurrentUsers},
                {key::kIsScanForVirusesEnabled, s.scanForVirusesEnabled},
                {key::kIsFollowSymbolicLinks, s.followSymLinks},
                {key::kIsFollowGlobalSymbolicLinks, s.followGlobalSymLinks},
                {key::kIsForceFileNameToLowercase, s.forceFileNameToLowercase},
                {key::kIsABEEnabled, s.abeEnabled},
                {key::kLocalReadCacheOption, s.localReadCacheOption}};
}

bool settingsFromJson(const Json& j, ShareSettings& s, std::string& error) {
    struct TextKey {
        const char* key;
        std::string* field;
    } texts[] = {
        {key::kAccessConfig, &s.accessConfig},
        {key::kComment, &s.comment},
        {key::kCacheOption, &s.cacheOption},
        {key::kSnapshotOption, &s.snapshotOption},
        {key::kTransferToReplicationTargetSetting, &s.transferToReplicationTarget},
        {key::kUserHomeDirectoryMode, &s.userHomeDirectoryMode},
        {key::kUserHomeDirectoryPath, &s.userHomeDirectoryPath},
        {key::kLocalReadCacheOption, &s.localReadCacheOption},
    };
    struct FlagKey {
        const char* key;
        bool* field;
    } flags[] = {
        {key::kIsScanForVirusesEnabled, &s.scanForVirusesEnabled},
        {key::kIsFollowSymbolicLinks, &s.followSymLinks},
        {key::kIsFollowGlobalSymbolicLinks, &s.followGlobalSymLinks},
        {key::kIsForceFileNameToLowercase, &s.forceFileNameToLowercase},
        {key::kIsABEEnabled, &s.abeEnabled},
    };
    if (!j.is_object()) {
        error = key::kSettings;
        return false;
    }
    for (const TextKey& t : texts) {
        if (!readText(j, t.key, *t.field, false)) {
            error = t.key;
            return false;
        }
    }
    for (const FlagKey& f : flags) {
        if (!readBool(j, f.key, *f.field)) {
            error = f.key;
            return false;
        }
    }
    if (!readInt32(j, key::kMaxConcurrentUsers, s.maxConcurrentUsers)) {
        error = key::kMaxConcurrentUsers;
        return false;
    }
    return true;
}

Json virtualServerToJson(const VirtualServer& s) {
    return Json{{key::kVirtualServerId, s.id}, {key::kName, s.name},     {key::kObjectId, s.objectId},
                {key::kUuid, s.uuid},          {key::kIpAddresses, s.ipAddresses}, {key::kIsEnabled, s.isEnabled},
                {key::kStatus, s.status},      {key::kType, s.type}};
}

Json fileSystemToJson(const FileSystem& f) {
    Json j{{key::kFilesystemId, f.id},
           {key::kLabel, f.label},
           {key::kObjectId, f.objectId},
           {key::kStatus, f.status},
           {key::kVirtualServerId, f.virtualServerId},
           {key::kCapacity, f.capacity},
           {key::kUsedCapacity, f.usedCapacity},
           {key::kFreeCapacity, f.freeCapacity},
           {key::kUsedSnapshotCapacity, f.usedSnapshotCapacity}};
    // The default retention of new snapshots, when the file system has one.
    if (f.retentionSeconds != 0) j[key::kRetentionSeconds] = f.retentionSeconds;
    return j;
}

Json shareToJson(const Share& s) {
    return Json{{key::kObjectId, s.objectId},
                {key::kShareId, s.shareId},
                {key::kName, s.name},
                {key::kVirtualServerId, s.virtualServerId},
                {key::kFilesystemId, s.fileSystemId},
                {key::kPath, s.path},
                {key::kSettings, settingsToJson(s.settings)}};
}

Json authenticationToJson(const Authentication& a) {
    return Json{{key::kEncodedName, a.encodedName}, {key::kName, a.name}, {key::kPermission, a.permission}, {key::kType, a.type}};
}

Json snapshotToJson(const Snapshot& s) {
    Json j{{key::kObjectId, s.objectId},
           {key::kDisplayName, s.displayName},
           {key::kFilesystemId, s.fileSystemId},
           {key::kCreationTime, s.creationTime},
           {key::kState, s.state},
           {key::kCreationReason, s.creationReason}};
    // A retained snapshot tells until when, and whether a delete waits for
    // that (no public source shows how a real array tells it).
    if (s.retainedUntil != 0) {
        j[key::kRetainedUntil] = s.retainedUntil;
        j[key::kDeleteWhenExpired] = s.deleteWhenExpired;
    }
    return j;
}

}  // namespace arraysim
