// Member names of the simulator's JSON: the storage API's wire keys
// (docs/array-api.md) and those of the seed, state, fault and call forms
// (docs/arraysim.md).
#pragma once

namespace arraysim {
namespace key {

inline constexpr char kAccessConfig[] = "accessConfig";
inline constexpr char kAction[] = "action";
inline constexpr char kAfter[] = "after";
inline constexpr char kAppSearchId[] = "appSearchId";
inline constexpr char kArrays[] = "arrays";
inline constexpr char kAuthentications[] = "authentications";
inline constexpr char kCacheOption[] = "cacheOption";
inline constexpr char kCalls[] = "calls";
inline constexpr char kCapacity[] = "capacity";
inline constexpr char kCifsAuthentications[] = "cifsAuthentications";
inline constexpr char kComment[] = "comment";
inline constexpr char kCount[] = "count";
inline constexpr char kCreationReason[] = "creationReason";
inline constexpr char kCreationTime[] = "creationTime";
inline constexpr char kDisplayName[] = "displayName";
inline constexpr char kEncodedName[] = "encodedName";
inline constexpr char kErrorDetail[] = "errorDetail";
inline constexpr char kErrorMsg[] = "errorMsg";
inline constexpr char kFaults[] = "faults";
inline constexpr char kFilesystem[] = "filesystem";
inline constexpr char kFilesystemId[] = "filesystemId";
inline constexpr char kFilesystemPath[] = "filesystemPath";
inline constexpr char kEnsurePathExists[] = "ensurePathExists";
inline constexpr char kFilesystems[] = "filesystems";
inline constexpr char kFilesystemShare[] = "filesystemShare";
inline constexpr char kUri[] = "uri";
inline constexpr char kBody[] = "body";
inline constexpr char kApiKeys[] = "apiKeys";
inline constexpr char kKey[] = "key";
inline constexpr char kReadOnly[] = "readOnly";
inline constexpr char kDeletePendingLists[] = "deletePendingLists";
inline constexpr char kPendingLists[] = "pendingLists";
inline constexpr char kFilesystemShares[] = "filesystemShares";
inline constexpr char kFreeCapacity[] = "freeCapacity";
inline constexpr char kIpAddresses[] = "ipAddresses";
inline constexpr char kDirectories[] = "directories";
inline constexpr char kIsABEEnabled[] = "isABEEnabled";
inline constexpr char kIsEnabled[] = "isEnabled";
inline constexpr char kIsFollowGlobalSymbolicLinks[] = "isFollowGlobalSymbolicLinks";
inline constexpr char kIsFollowSymbolicLinks[] = "isFollowSymbolicLinks";
inline constexpr char kIsForceFileNameToLowercase[] = "isForceFileNameToLowercase";
inline constexpr char kIsScanForVirusesEnabled[] = "isScanForVirusesEnabled";
inline constexpr char kLabel[] = "label";
inline constexpr char kLatencyMs[] = "latencyMs";
inline constexpr char kLocalReadCacheOption[] = "localReadCacheOption";
inline constexpr char kMaxConcurrentUsers[] = "maxConcurrentUsers";
inline constexpr char kMessage[] = "message";
inline constexpr char kMatching[] = "matching";
inline constexpr char kRetryAfter[] = "retryAfter";
inline constexpr char kRetentionSeconds[] = "retentionSeconds";
inline constexpr char kRetainedUntil[] = "retainedUntil";
inline constexpr char kDeleteWhenExpired[] = "deleteWhenExpired";
inline constexpr char kMicros[] = "micros";
inline constexpr char kEndMicros[] = "endMicros";
inline constexpr char kName[] = "name";
inline constexpr char kNoDefaultSecurity[] = "noDefaultSecurity";
inline constexpr char kNextSerial[] = "nextSerial";
inline constexpr char kObjectId[] = "objectId";
inline constexpr char kOperation[] = "operation";
inline constexpr char kPassword[] = "password";
inline constexpr char kPath[] = "path";
inline constexpr char kPermission[] = "permission";
inline constexpr char kProtocol[] = "protocol";
inline constexpr char kSequence[] = "sequence";
inline constexpr char kSettings[] = "settings";
inline constexpr char kShareId[] = "shareId";
inline constexpr char kShares[] = "shares";
inline constexpr char kSnapshot[] = "snapshot";
inline constexpr char kSnapshotOption[] = "snapshotOption";
inline constexpr char kSnapshots[] = "snapshots";
inline constexpr char kState[] = "state";
inline constexpr char kStatus[] = "status";
inline constexpr char kTotal[] = "total";
inline constexpr char kTotalMicros[] = "totalMicros";
inline constexpr char kTransferToReplicationTargetSetting[] = "transferToReplicationTargetSetting";
inline constexpr char kType[] = "type";
inline constexpr char kUsedCapacity[] = "usedCapacity";
inline constexpr char kUsedSnapshotCapacity[] = "usedSnapshotCapacity";
inline constexpr char kUser[] = "user";
inline constexpr char kUserHomeDirectoryMode[] = "userHomeDirectoryMode";
inline constexpr char kUserHomeDirectoryPath[] = "userHomeDirectoryPath";
inline constexpr char kUuid[] = "UUID";
inline constexpr char kVirtualServerId[] = "virtualServerId";
inline constexpr char kVirtualServers[] = "virtualServers";

}  // namespace key
}  // namespace arraysim
