// Locks between the processes that share one store: flock(2) locks on files
// under <store>/locks. The kernel drops a lock when its process ends,
// however it ends, so a killed job never leaves a device locked.
//
//   device-<id>.lock  held by the job working on device <id>, from before it
//                     reads the device until it has recorded its end
//
// Whether a job still runs is told by its process ID and start time,
// recorded with its row (ProcessIdentity.h), never by a lock file that an
// operator or a cleaner may remove. Stores of earlier versions left a
// job-<id>.lock per running job; jobLockFree still reads those.
#pragma once

#include <string>
#include <vector>

// Locks held by this process, released when the object goes.
class HeldLocks {
public:
    HeldLocks() = default;
    ~HeldLocks();
    void add(int fd) { fds_.push_back(fd); }
    // Releases every lock.
    void release();

    HeldLocks(const HeldLocks&) = delete;
    HeldLocks& operator=(const HeldLocks&) = delete;

private:
    std::vector<int> fds_;
};

enum class LockOutcome { Taken, Held, Failed };

// Takes the device locks of `ids` in ascending order, so that two waiting
// jobs cannot hold one each and wait for the other. A held lock is retried
// until `waitSeconds` have passed (0: for 200 ms, the longest another
// command's deviceLockHeld holds it). Held: `heldId` names the device still
// held, and nothing stays locked.
LockOutcome lockDevices(const std::string& lockDir, std::vector<long long> ids, int waitSeconds, HeldLocks& locks,
                        long long& heldId, std::string& error);

// Whether a process holds the lock of device `id` (this one, through
// another descriptor, too): the kernel's own word on whether a job that
// locked it still runs, in any PID namespace. Takes and drops the lock
// shared to look.
bool deviceLockHeld(const std::string& lockDir, long long id);

// "<lockDir>/job-<id>.lock", the lock of a job recorded by an earlier version.
std::string jobLockPath(const std::string& lockDir, long long jobId);

// True when no process holds the job lock `path` (or it is missing).
bool jobLockFree(const std::string& path);
