// The client's operations over one array session, one function each, in the
// order of QzManageHNAS. Each returns true when done with its outputs filled;
// false with a non-empty `cause` is a failure for the caller to log once;
// false with an empty cause is a plain "no" (a share that is not there).
// Which requests each makes is written at its definition.
#pragma once

#include <string>
#include <vector>

#include "client/ArraySession.h"
#include "host/QzManageHNAS.h"
#include "records/HNASArrayRecords.h"

namespace managehnas {

// The last share a look-up of this client found, so that a later call of the
// same operation call asking for the same share takes it without a second
// request: prepare asks for a share's file system, then for its path,
// settings and permissions. It holds only while the session has sent no
// change since it was read (a create or delete of anything, or a new init,
// drops it), and it answers only the calls that read a share: a share is
// never deleted or counted present on a remembered answer.
struct ShareMemo {
    bool held = false;
    unsigned long long changes = 0;   // session.changesSent() when it was read
    std::string key;                  // the type, the server and the name asked for
    bool withPermissions = false;     // share.settings.permissions was read too
    __HNASFileSystemShares share;
};

// GET virtual-servers, then GET virtual-servers/{evs}/cifs and .../nfs of
// each: every CIFS share and NFS export of the array with its file system
// and path (settings as listed, no permissions).
bool getAllShares(ArraySession& session, std::vector<__HNASFileSystemShares>& shares, std::string& cause);

// arrayId e.g. "evs1" or "192.0.2.10".
bool getVirtualServerInfo(ArraySession& session, const std::string& arrayId,
                          __HNASVirtualServers& server, std::string& cause);
// fileSystemName e.g. "fs1".
bool getFileSystemIdByLabel(ArraySession& session, const std::string& fileSystemName,
                            std::string& fileSystemId, std::string& cause);
// shareName e.g. "data" (CIFS) or "/exp1" (NFS; the "/" may be left out).
bool getFileSystemIdOfShare(ArraySession& session, ShareMemo& memo, const __HNASVirtualServers& server,
                            const std::string& shareName, const std::string& shareType,
                            std::string& fileSystemId, std::string& cause);
bool getFileSystemsInfo(ArraySession& session, const std::string& fileSystemId,
                        std::vector<__HNASFileSystemInfo>& fileSystems, std::string& cause);
bool getFilesystemShares(ArraySession& session, ShareMemo& memo, const __HNASVirtualServers& server,
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
// With two or more `helpers` (sessions of their own connection, open) the
// file systems' lists are asked for several at once.
// With `retention`, its entry i tells the retention of snapshots[i].
bool getAllSnapshots(ArraySession& session, std::vector<__HNASFileSystemSnapshot>& snapshots,
                     std::vector<__HNASFileSystemInfo>& unlisted, std::string& cause,
                     const std::vector<ArraySession*>& helpers = {},
                     std::vector<QzSnapshotRetention>* retention = nullptr);

// The array's limit on management connections: `allowed` as its
// administrator set it, `supported` the most it can take (0: not given).
bool getConnectionLimit(ArraySession& session, uint64_t& allowed, uint64_t& supported, std::string& cause);

}  // namespace managehnas
