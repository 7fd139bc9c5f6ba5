#include "harness/framework/JobProgress.h"

#include "harness/framework/HostOperations.h"
#include "host/SnapStatus.h"

void JobProgress::start(const std::string& operation, int deviceCount) {
    total = deviceCount;
    statusWrites.clear();
    done.clear();
    const HostOperation* op = findHostOperation(operation);
    presetStatus = operation == "is-mapped" ? QZSO::SNAP_STATUS_NOT_MAPPED : op != nullptr ? op->failureStatus : 0;
    if (report) report(0, total);
}

void JobProgress::statusSet(long long deviceId, int status) {
    const int writes = ++statusWrites[deviceId];
    if (status == presetStatus && writes < 2) return;
    if (done.insert(deviceId).second && report) report(static_cast<int>(done.size()), total);
}
