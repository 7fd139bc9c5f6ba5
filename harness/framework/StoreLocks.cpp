#include "harness/framework/StoreLocks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "harness/framework/PrivateFiles.h"

namespace {

const int kPollMs = 50;
// deviceLockHeld holds a lock for a moment: a lock found held is tried
// again for at least this long before a job is refused.
const int kProbeGraceMs = 200;

long long nowMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::string deviceLockPath(const std::string& lockDir, long long id) {
    return lockDir + "/device-" + std::to_string(id) + ".lock";
}

}  // namespace

HeldLocks::~HeldLocks() { release(); }

void HeldLocks::release() {
    for (const int fd : fds_) close(fd);
    fds_.clear();
}

LockOutcome lockDevices(const std::string& lockDir, std::vector<long long> ids, int waitSeconds, HeldLocks& locks,
                        long long& heldId, std::string& error) {
    std::sort(ids.begin(), ids.end());
    const long long waitMs = std::max(static_cast<long long>(waitSeconds) * 1000, static_cast<long long>(kProbeGraceMs));
    const long long deadline = nowMs() + waitMs;
    for (const long long id : ids) {
        const int fd = openPrivateFile(deviceLockPath(lockDir, id), error);
        if (fd < 0) {
            locks.release();
            return LockOutcome::Failed;
        }
        locks.add(fd);
        for (;;) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) break;
            if (errno != EWOULDBLOCK && errno != EINTR) {
                error = "cannot lock device " + std::to_string(id) + ": " + strerror(errno);
                locks.release();
                return LockOutcome::Failed;
            }
            if (nowMs() >= deadline) {
                heldId = id;
                locks.release();
                return LockOutcome::Held;
            }
            usleep(kPollMs * 1000);
        }
    }
    return LockOutcome::Taken;
}

std::string jobLockPath(const std::string& lockDir, long long jobId) {
    return lockDir + "/job-" + std::to_string(jobId) + ".lock";
}

bool jobLockFree(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}

bool deviceLockHeld(const std::string& lockDir, long long id) {
    const int fd = open(deviceLockPath(lockDir, id).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno != ENOENT;   // a lock that cannot be looked at may be held
    // Shared: two commands looking at once do not take each other for the job.
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0;
    close(fd);
    return held;
}
