// Names of the storage operations, as the admin interface's faults and call
// record use them (docs/arraysim.md).
#pragma once

namespace arraysim {

inline constexpr char kAnyOperation[] = "*";
inline constexpr char kListVirtualServers[] = "listVirtualServers";
inline constexpr char kListFileSystems[] = "listFileSystems";
inline constexpr char kGetFileSystem[] = "getFileSystem";
inline constexpr char kListShares[] = "listShares";
inline constexpr char kListAuthentications[] = "listAuthentications";
inline constexpr char kAddAuthentication[] = "addAuthentication";
inline constexpr char kDeleteAuthentication[] = "deleteAuthentication";
inline constexpr char kCreateShare[] = "createShare";
inline constexpr char kDeleteShare[] = "deleteShare";
inline constexpr char kCreateSnapshot[] = "createSnapshot";
inline constexpr char kListSnapshots[] = "listSnapshots";
inline constexpr char kGetSnapshot[] = "getSnapshot";
inline constexpr char kDeleteSnapshot[] = "deleteSnapshot";
inline constexpr char kRollbackSnapshot[] = "rollbackSnapshot";
inline constexpr char kGetRestAccess[] = "getRestAccess";
inline constexpr char kSetRestAccess[] = "setRestAccess";

inline constexpr const char* kOperationNames[] = {
    kListVirtualServers, kListFileSystems,  kGetFileSystem,  kListShares,      kListAuthentications,
    kAddAuthentication,  kDeleteAuthentication, kCreateShare, kDeleteShare,   kCreateSnapshot,
    kListSnapshots,      kGetSnapshot,      kDeleteSnapshot, kRollbackSnapshot, kGetRestAccess,
    kSetRestAccess,
};

}  // namespace arraysim
