#include "harness/framework/DeviceRemoval.h"

#include "harness/framework/ArrayAccess.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/JobRunner.h"
#include "harness/framework/StoreLocks.h"
#include "host/SnapStatus.h"

namespace {

// A device whose snapshot may still be shared must be unmapped before the
// snapshot can go.
bool mayBeShared(int status) {
    return status == QZSO::SNAP_STATUS_MAPPED || status == QZSO::SNAP_STATUS_UNMAP_FAILED;
}

std::string statusText(int status) {
    const char* name = QZSO::snapStatusName(status);
    return name != nullptr ? name : std::to_string(status);
}

// "device data still has its snapshot QZHNAS-... (status SNAPPED): ...".
std::string liveSnapshotRefusal(const DeviceRecord& d, const std::string& snapshot) {
    const std::string name = deviceDisplayName(d);
    const std::string first = mayBeShared(d.status)
                                  ? "unmap and delete it first (hnas-host run unmap " + name +
                                        "; hnas-host run delete " + name + ")"
                                  : "delete it first (hnas-host run delete " + name + ")";
    return "device " + name + " still has its snapshot " + snapshot + " on the array (status " +
           statusText(d.status) + "): " + first +
           ", or give --force to remove the device anyway (hnas-host orphans then lists the snapshot)";
}

// A device that stays and still has `snapshot` (snap makes one snapshot per
// file system, shared by the devices on it): "" when none does.
std::string keptBy(const std::string& snapshot, const std::vector<DeviceRecord>& all,
                   const std::vector<long long>& removing) {
    for (const DeviceRecord& d : all) {
        bool removed = false;
        for (const long long id : removing) removed = removed || id == d.id;
        if (!removed && liveSnapshotOf(d) == snapshot) return deviceDisplayName(d);
    }
    return std::string();
}

}  // namespace

std::string liveSnapshotOf(const DeviceRecord& d) {
    if (d.status == QZSO::SNAP_STATUS_DELETED || d.status == QZSO::SNAP_STATUS_EXTERNALLY_DELETED) return "";
    if (d.snapUUID.compare(0, kOwnSnapshotPrefix.size(), kOwnSnapshotPrefix) != 0) return "";
    return d.snapUUID;
}

int removeDevices(HostStore& store, const std::vector<std::string>& refs, bool force,
                  std::vector<std::string>& removed, std::string& error) {
    std::vector<DeviceRecord> all;
    std::vector<DeviceRecord> chosen;
    if (!store.loadDevices(all, error)) return exitCodeForStoreFailure(store.busy());
    if (!selectDevices(all, refs, chosen, error)) return kExitBadInput;

    // Held as a job holds them, so that no job starts on them meanwhile.
    std::vector<long long> ids;
    for (const DeviceRecord& d : chosen) ids.push_back(d.id);
    HeldLocks locks;
    long long heldId = 0;
    const LockOutcome locked = lockDevices(store.lockDirectory(), ids, 0, locks, heldId, error);
    if (locked == LockOutcome::Failed) return kExitHostError;
    // A job whose lock file was removed under it still holds its devices.
    store.refreshInterruptedJobs(locked == LockOutcome::Taken ? ids : std::vector<long long>());
    std::vector<JobRecord> jobs;
    if (!store.loadDevices(all, error) || !store.loadJobs(jobs, error)) return exitCodeForStoreFailure(store.busy());

    const std::string whenEnded = "; remove it when that job has ended";
    if (locked == LockOutcome::Held) {
        error = "device " + std::to_string(heldId) + " is in use by another job" + whenEnded;
        for (const DeviceRecord& d : all)
            if (d.id == heldId) error = deviceInUse(d, jobs) + whenEnded;
        return kExitBusy;
    }
    std::vector<std::string> notes;
    for (const long long id : ids) {
        for (const DeviceRecord& d : all) {
            if (d.id != id) continue;
            if (d.lastJobOutcome == kJobRunning) {
                error = deviceInUse(d, jobs) + whenEnded;
                return kExitBusy;
            }
            const std::string snapshot = liveSnapshotOf(d);
            const std::string keeper = snapshot.empty() ? std::string() : keptBy(snapshot, all, ids);
            std::string line = "removed device " + deviceDisplayName(d) + " (id " + std::to_string(d.id) + ")";
            if (!keeper.empty()) {
                notes.push_back(line + "; its snapshot " + snapshot + " stays with device " + keeper);
                continue;
            }
            if (!snapshot.empty() && !force) {
                error = liveSnapshotRefusal(d, snapshot);
                return kExitBadInput;
            }
            if (!snapshot.empty() && mayBeShared(d.status))
                line += "; its snapshot " + snapshot + " and its share stay on the array: hnas-host orphans "
                        "lists the snapshot, kept while the share points into it";
            else if (!snapshot.empty())
                line += "; its snapshot " + snapshot + " stays on the array: hnas-host orphans lists it";
            notes.push_back(line);
        }
    }
    if (!store.removeDevices(ids, error)) return exitCodeForStoreFailure(store.busy());
    removed = notes;
    return kExitOk;
}
