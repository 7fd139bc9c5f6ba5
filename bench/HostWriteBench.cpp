// The cost of one host write of hnas-host: a descriptor's setStatus,
// setSnapUUID or setMetadata, each stored in its own synced transaction
// before the call returns (WAL mode, synchronous=FULL), as a job makes them.
//   hnas_bench_host_writes [DIR] [WRITES]
// DIR: where the store goes (default: a new directory under $TMPDIR or
// /tmp; name a directory on the disk a real store would live on).
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "harness/framework/HostObjects.h"
#include "harness/framework/HostStore.h"

namespace {

double microsSince(const struct timespec& start) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e3;
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = getenv("TMPDIR");
    std::string parent = argc > 1 ? argv[1] : std::string(tmp != nullptr ? tmp : "/tmp");
    const int writes = argc > 2 ? atoi(argv[2]) : 3000;
    std::string dir = parent + "/hnas-host-writes-XXXXXX";
    if (mkdtemp(&dir[0]) == nullptr || writes <= 0) {
        fprintf(stderr, "usage: hnas_bench_host_writes [DIR] [WRITES]\n");
        return 64;
    }
    HostStore store;
    std::string error;
    DeviceRecord device;
    device.label = "bench";
    device.sourceDevice = "{type:native_hnas,path:/__VOLUME__/fs1/dir,targethostname:hnas1}";
    JobRecord job;
    job.operation = "snap";
    if (!store.create(dir + "/store", error) || !store.addDevice(device, error) ||
        !store.beginJob(job, {device}, error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    JobContext context;
    HostWrites sink;
    sink.store = &store;
    context.writes = &sink;
    HostSnapInfo snap(device, context);
    // A metadata text of the size prepare and snap write. Every write changes
    // the value: SQLite skips a write that changes nothing.
    const std::string metadata = "{" + std::string(300, 'm') + "}";
    std::vector<double> times;
    times.reserve(static_cast<size_t>(writes));
    for (int i = 0; i < writes; ++i) {
        struct timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        switch (i % 3) {
            case 0: snap.setStatus(5 + i % 2); break;
            case 1: snap.setSnapUUID(("QZHNAS-3f2a9c1e-7b4d-4e21-9a55-" + std::to_string(i) + "-fs1").c_str()); break;
            default: snap.setMetadata(6, (metadata + std::to_string(i)).c_str()); break;
        }
        times.push_back(microsSince(start));
    }
    store.commitJob(job.id, {device}, 0, "done", error);
    std::sort(times.begin(), times.end());
    double total = 0;
    for (const double t : times) total += t;
    printf("%d host writes in %s: mean %.1f us, median %.1f us, 99th percentile %.1f us, failed %d\n", writes,
           parent.c_str(), total / writes, times[times.size() / 2], times[times.size() * 99 / 100], sink.failed);
    std::string remove = "rm -rf '" + dir + "'";
    return system(remove.c_str()) == 0 && sink.failed == 0 ? 0 : 1;
}
