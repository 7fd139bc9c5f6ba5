// The client's operations over one array session, one function each, in the
// order of QzManageHNAS. Each returns true when done with its outputs filled;
// false with a non-empty `cause` is a failure for the caller to log once;
// false with an empty cause is a plain "no" (a share that is not there).
// Which requests each makes is written at its definition.
#pragma once

#include <string>
#include <vector>

#include "platform/managehnas/ArraySession.h"
#include "records/HNASArrayRecords.h"

namespace managehnas {

// arrayId e.g. "evs1" or "192.0.2.10".
bool getVirtualServerInfo(ArraySession& session, const std::string& arrayId,
                          __HNASVirtualServers& server, std::string& cause);
// fileSystemName e.g. "fs1".
bool getFileSystemIdByLabel(ArraySession& session, const std::string& fileSystemName,
                            std::string& fileSystemId, std::string& cause);
// shareName e.g. "data" (CIFS) or "/exp1" (NFS; the "/" may be left out).
bool getFileSystemIdOfShare(ArraySession& session, const __HNASVirtualServers& server,
                            const std::string& shareName, const std::string& shareType,
                            std::string& fileSystemId, std::string& cause);
bool getFileSystemsInfo(ArraySession& session, const std::string& fileSystemId,
                        std::vector<__HNASFileSystemInfo>& fileSystems, std::string& cause);
bool getFilesystemShares(ArraySession& session, const __HNASVirtualServers& server,
                         const std::string& shareType, std::vector<__HNASFileSystemShares>& shares,
                         bool withPermissions, std::string& cause);
// name e.g. "u1-fs1", prefix "QZHNAS": the stored name is "QZHNAS-u1-fs1".
bool createFileSystemSnapshot(ArraySession& session, const std::string& name,
                              const std::string& fileSystemId, const std::string& prefix,
                              __HNASFileSystemSnapshot& snapshot, std::string& cause);
bool isSharePresent(ArraySession& session, const std::string& shareName,
                    const __HNASVirtualServers& server, const std::string& shareType,
                    std::string& cause);
// path e.g. "\\.snapshot\\QZHNAS-u1-fs1\\data" (CIFS) or
// "/.snapshot/QZHNAS-u1-fs1/exp1" (NFS); virtualServerId decimal, e.g. "1".
bool createFileSystemShare(ArraySession& session, const std::string& shareName,
                           const std::string& virtualServerId, const std::string& fileSystemId,
                           const std::string& path, const std::string& shareType,
                           __HNASFileSystemShares& share, bool applyPermissions,
                           std::string& cause);
bool deleteFileSystemShare(ArraySession& session, const std::string& shareName,
                           const __HNASVirtualServers& server, const std::string& shareType,
                           std::string& cause);
bool deleteFileSystemSnapshot(ArraySession& session, const __HNASFileSystemSnapshot& snapshot,
                              const std::string& prefix, std::string& cause);
bool recoverFileSystemSnapshot(ArraySession& session, const std::string& snapshotObjectId,
                               std::string& cause);
// Fails when a file system is not mounted (its snapshots cannot be listed).
bool getAllSnapshots(ArraySession& session, std::vector<__HNASFileSystemSnapshot>& snapshots,
                     std::string& cause);
// The snapshots of the file systems that can be listed; those the array
// reports as not mounted go to `unlisted`. A failed request fails the call.
bool getAllSnapshots(ArraySession& session, std::vector<__HNASFileSystemSnapshot>& snapshots,
                     std::vector<__HNASFileSystemInfo>& unlisted, std::string& cause);

}  // namespace managehnas
