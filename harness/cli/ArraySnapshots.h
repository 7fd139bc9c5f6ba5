// What hnas-host's commands that ask the arrays (check-array, orphans,
// state --check-arrays, conformance) say of an array's snapshots beyond
// their names: a snapshot the array keeps under retention after accepting
// its delete, and a file system near the most snapshots it can hold.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "harness/framework/ArrayAccess.h"
#include "host/QzManageHNAS.h"

// The array accepted the snapshot's delete and keeps it only until its
// retention expires: not a leak, and nothing more to delete.
bool onlyAwaitingExpiry(const QzSnapshotRetention& retention);
// Under retention now (a delete would be accepted and wait for it).
bool underRetention(const QzSnapshotRetention& retention);
// "retained until 2026-12-18 10:00:00 UTC", or "retained until a date the
// array does not give".
std::string retainedUntilText(const QzSnapshotRetention& retention);

// Every snapshot of the array with its retention (retention[i] for
// snapshots[i]); false with `error` (the client's message, the password
// masked) when a request fails or a file system cannot be listed (it is
// not mounted: a list without its snapshots would make them look gone).
bool listSnapshots(QzManageHNAS& client, ClientFailures& failures, const ArrayEndpoint& endpoint,
                   std::vector<__HNASFileSystemSnapshot>& snapshots, std::vector<QzSnapshotRetention>& retention,
                   std::string& error);

// A file system holding more than 90% of kMaxSnapshotsPerFileSystem.
struct FileSystemNearLimit {
    std::string fileSystem;   // label, else ID
    size_t snapshots = 0;
};

// The file systems of `snapshots` past 90% of the limit, in the order they
// first appear; their labels asked of the array.
std::vector<FileSystemNearLimit> fileSystemsNearLimit(QzManageHNAS& client,
                                                      const std::vector<__HNASFileSystemSnapshot>& snapshots);
// "file system fs1 holds 950 of 1024 snapshots (92%): a snap past 1024 is refused"
std::string nearLimitText(const FileSystemNearLimit& near);
