// Locks between the processes that share one store: flock(2) locks on files
// under <store>/locks. The kernel drops a lock when its process ends,
// however it ends, so a killed job never leaves a device locked and its
// freed job lock tells that it is gone.
//
//   device-<id>.lock  held by the job working on device <id>, from before it
//                     reads the device until it has recorded its end
//   job-<id>.lock     held by job <id> while it runs; made before its
//                     "running" row becomes visible, removed after its last
//                     write, so a free lock under a "running" row means the
//                     job's process is gone
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
// until `waitSeconds` have passed (0: not at all). Held: `heldId` names the
// device still held, and nothing stays locked.
LockOutcome lockDevices(const std::string& lockDir, std::vector<long long> ids, int waitSeconds, HeldLocks& locks,
                        long long& heldId, std::string& error);

std::string jobLockPath(const std::string& lockDir, long long jobId);

// Creates and locks the new job lock `path`; the descriptor, or -1.
int lockNewJob(const std::string& path, std::string& error);

// True when no process holds the job lock `path` (or it is missing).
bool jobLockFree(const std::string& path);
