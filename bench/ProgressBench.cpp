// The cost of run's progress line per status the plug-in sets: JobProgress
// telling the count to a ProgressLine that draws (to /dev/null, standing in
// for the terminal) while the writes come, as a job over DEVICES devices
// sets each one's preset and then its own status.
//   hnas_bench_progress [DEVICES] [ROUNDS]
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "harness/cli/ProgressLine.h"
#include "harness/framework/JobProgress.h"
#include "host/SnapStatus.h"

namespace {

double nanosSince(const struct timespec& start) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec - start.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
    const int devices = argc > 1 ? atoi(argv[1]) : 32767;
    const int rounds = argc > 2 ? atoi(argv[2]) : 20;
    FILE* sink = fopen("/dev/null", "w");
    if (devices <= 0 || rounds <= 0 || sink == nullptr) {
        fprintf(stderr, "usage: hnas_bench_progress [DEVICES] [ROUNDS]\n");
        return 64;
    }
    std::vector<double> perWrite;
    for (int r = 0; r < rounds; ++r) {
        ProgressLine line(sink, "snap");
        JobProgress progress;
        progress.report = [&line](int done, int total) { line.update(done, total); };
        struct timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        progress.start("snap", devices);
        for (long long d = 1; d <= devices; ++d) progress.statusSet(d, QZSO::SNAP_STATUS_SNAP_FAILED);
        for (long long d = 1; d <= devices; ++d) progress.statusSet(d, QZSO::SNAP_STATUS_SNAPPED);
        perWrite.push_back(nanosSince(start) / (2.0 * devices));
        line.finish();
    }
    std::sort(perWrite.begin(), perWrite.end());
    printf("%d devices, %d rounds: per status write median %.0f ns, fastest %.0f ns, slowest %.0f ns\n", devices,
           rounds, perWrite[perWrite.size() / 2], perWrite.front(), perWrite.back());
    fclose(sink);
    return 0;
}
