#include "harness/cli/ArraySnapshots.h"

#include <time.h>

#include <map>

bool onlyAwaitingExpiry(const QzSnapshotRetention& retention) { return retention.deleteWhenExpired; }

bool underRetention(const QzSnapshotRetention& retention) {
    return retention.deleteWhenExpired ||
           retention.retainedUntil > static_cast<unsigned long long>(time(nullptr));
}

std::string retainedUntilText(const QzSnapshotRetention& retention) {
    if (retention.retainedUntil == 0) return "retained until a date the array does not give";
    const time_t when = static_cast<time_t>(retention.retainedUntil);
    struct tm parts;
    char text[40];
    if (gmtime_r(&when, &parts) == nullptr || strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &parts) == 0)
        return "retained until " + std::to_string(retention.retainedUntil);
    return std::string("retained until ") + text;
}

bool listSnapshots(QzManageHNAS& client, ClientFailures& failures, const ArrayEndpoint& endpoint,
                   std::vector<__HNASFileSystemSnapshot>& snapshots, std::vector<QzSnapshotRetention>& retention,
                   std::string& error) {
    std::vector<__HNASFileSystemInfo> unlisted;
    if (!client.getAllSnapshots(snapshots, unlisted, retention)) {
        error = withoutSecret(failures.take(), endpoint.password);
        return false;
    }
    if (unlisted.empty()) return true;
    error = "file system " + unlisted[0].name + " has status " + unlisted[0].status +
            ", not mounted: its snapshots cannot be listed";
    return false;
}

std::vector<FileSystemNearLimit> fileSystemsNearLimit(QzManageHNAS& client,
                                                      const std::vector<__HNASFileSystemSnapshot>& snapshots) {
    std::map<std::string, size_t> counts;
    std::vector<std::string> order;
    for (const __HNASFileSystemSnapshot& s : snapshots)
        if (counts[s.fileSystemId]++ == 0) order.push_back(s.fileSystemId);
    std::vector<FileSystemNearLimit> near;
    for (const std::string& id : order) {
        const size_t count = counts[id];
        if (count * 10 <= static_cast<size_t>(kMaxSnapshotsPerFileSystem) * 9) continue;
        std::vector<__HNASFileSystemInfo> info;
        FileSystemNearLimit n;
        n.fileSystem = client.getFileSystemsInfo(id, info) && !info.empty() && !info[0].name.empty() ? info[0].name : id;
        n.snapshots = count;
        near.push_back(n);
    }
    return near;
}

std::string nearLimitText(const FileSystemNearLimit& near) {
    const std::string limit = std::to_string(kMaxSnapshotsPerFileSystem);
    return "file system " + near.fileSystem + " holds " + std::to_string(near.snapshots) + " of " + limit +
           " snapshots (" + std::to_string(near.snapshots * 100 / kMaxSnapshotsPerFileSystem) +
           "%): a snap past " + limit + " is refused";
}
