// The cost of large batches: every operation's entry point driven in
// process (fake host, fake array client over the in-memory array model) with
// 1024, 4096 and 32767 descriptors on one array, the devices each on a file
// system of its own or all on one. Per operation it reports the time per
// device, the ratio of that cost at 32767 to the cost at 1024, the same two
// figures with the simulated array's own work taken out (the plug-in's cost;
// both must grow by at most 1.5), the array calls made against the fewest
// the operation needs, and the peak heap the call used above what it held
// before.
//
// Each call starts with cold caches, as a host's call does: the backup's own
// work runs between the stages and goes through the same caches. With
// "warm", the calls follow one another with nothing between them, so a small
// batch finds its data still cached from the call before.
//
//   hnas_bench [warm]                   all cases, each in child processes; a table
//   hnas_bench <count> <own|one> [time|memory] [warm]
//                                       one case, its result lines (memory: with heap accounting)
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <tuple>
#include <string>
#include <vector>

#include "arraysim/model/ArraySeed.h"
#include "bench/Lifecycle.h"
#include "engine/QzSnapEngineHNAS.h"
#include "bench/BenchHost.h"
#include "tests/fakes/FakeArray.h"
#include "tests/support/TempSettings.h"

// Heap accounting: live bytes and their peak, for the peak a call adds.
// Only in the run that measures memory: it slows every allocation.
namespace {
bool accounting = false;
std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

void* allocate(size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    if (!accounting) return p;
    const long long now = liveBytes += static_cast<long long>(malloc_usable_size(p));
    long long peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void release(void* p) {
    if (p == nullptr) return;
    if (accounting) liveBytes -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
}  // namespace

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }

namespace {

using bench::kLifecycle;
using bench::Operation;

const char kInfo[] = "{arrayId:evs1,hostName:smu1,hostUserName:admin,hostPassword:bench-Secret,hostid:3}";

struct Result {
    std::string operation;
    int code = -1;
    double seconds = 0;
    double arraySeconds = 0;   // of it inside the fake array client
    long long calls = 0;       // array calls besides init
    long long inits = 0;
    long long minimum = 0;     // the fewest calls (besides init) the operation needs
    long long peakHeap = 0;    // bytes above the heap held at the call's start
    long long heldAfter = 0;   // bytes the call left behind (the fake array's call record, metadata)
};

// Device i is a CIFS share (i % 3 == 0), an NFS export (1) or a native path
// (2) on file system "fs<i>" (own) or "fs0" (one).
std::string sourceOf(int i, bool ownFileSystem) {
    const std::string n = std::to_string(i);
    switch (i % 3) {
        case 0: return "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\filer1\\\\s" + n + "\\\\dir,targethostname:filer1}";
        case 1: return "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/e" + n + ",targethostname:filer1}";
        default:
            return "{type:native_hnas,path:/__VOLUME__/fs" + (ownFileSystem ? n : std::string("0")) +
                   "/d" + n + ",targethostname:filer1}";
    }
}

bool seed(fakearray::FakeArrayScope& fake, int count, bool ownFileSystem) {
    arraymodel::Array& a = fake.addArray("hnas1", "admin", "bench-Secret");
    arraymodel::VirtualServer evs;
    evs.id = 1;
    evs.name = "evs1";
    evs.ipAddresses = {"192.0.2.10"};
    if (!arraymodel::addVirtualServer(a, evs).ok()) return false;
    for (int i = 0; i < (ownFileSystem ? count : 1); ++i) {
        arraymodel::FileSystem fs;
        fs.label = "fs" + std::to_string(i);
        fs.virtualServerId = 1;
        if (!arraymodel::addFileSystem(a, fs).ok()) return false;
    }
    for (int i = 0; i < count; ++i) {
        if (i % 3 == 2) continue;
        arraymodel::Share share;
        share.protocol = i % 3 == 0 ? arraymodel::Protocol::Cifs : arraymodel::Protocol::Nfs;
        share.name = (i % 3 == 0 ? "s" : "/e") + std::to_string(i);
        share.virtualServerId = 1;
        share.fileSystemId = "fs" + std::to_string(ownFileSystem ? i : 0);
        share.path = (i % 3 == 0 ? "\\s" : "/e") + std::to_string(i);
        share.settings.comment = "bench";
        if (i % 3 == 0) share.authentications.push_back({"Everyone", "", 8, "WELLKNOWN"});
        if (!arraymodel::addShare(a, share).ok()) return false;
    }
    return true;
}

// The fewest calls besides init: one virtual-server lookup and one
// file-system lookup per file system at prepare (plus a file-system and a
// share lookup per share or export); a snapshot per file system at snap,
// delete and revert; one existence check per device at is-mapped; one
// creation per device at map (the check before it aside); one deletion per
// device at unmap; one snapshot list at reconcile.
long long minimumCalls(const std::string& op, int count, bool ownFileSystem) {
    const long long fileSystems = ownFileSystem ? count : 1;
    const long long shares = count - count / 3;
    if (op == "prepare") return 1 + fileSystems + 2 * shares;
    if (op == "snap" || op == "delete" || op == "revert") return fileSystems;
    if (op == "reconcile") return 1;
    return count;   // isMapped, map, unmap
}

long long countWithout(const fakearray::FakeArrayScope& fake, const std::string& skipped, bool invert) {
    long long n = 0;
    for (const auto& call : fake.calls()) n += (call.operation == skipped) == invert;
    return n;
}

// For profiling one operation alone: with HNAS_BENCH_PROFILE=<operation> and
// HNAS_BENCH_PERF_CONTROL=<fifo>, the case tells `perf record -D -1
// --control fifo:<fifo>` to sample only during that operation's call.
const char* profiledOperation = std::getenv("HNAS_BENCH_PROFILE");

void tellProfiler(const char* command) {
    const char* fifo = std::getenv("HNAS_BENCH_PERF_CONTROL");
    if (fifo == nullptr) return;
    FILE* out = std::fopen(fifo, "w");
    if (out == nullptr) return;
    std::fputs(command, out);
    std::fclose(out);
}

// Writes one byte per cache line of a buffer well larger than the last-level
// cache, so the call that follows finds none of its data cached.
void evictCaches() {
    static const size_t bytes = [] {
        const long lastLevel = sysconf(_SC_LEVEL3_CACHE_SIZE);
        return std::max(size_t(128) << 20, lastLevel > 0 ? 4 * static_cast<size_t>(lastLevel) : 0);
    }();
    static char* buffer = static_cast<char*>(std::calloc(bytes, 1));
    if (buffer == nullptr) return;
    for (size_t i = 0; i < bytes; i += 64) buffer[i] = static_cast<char>(buffer[i] + 1);
}

std::vector<Result> runCase(int count, bool ownFileSystem, bool warm) {
    std::vector<Result> results;
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    fakearray::FakeArrayScope fake;
    fake.keepArguments = false;   // only the counts are read
    if (!seed(fake, count, ownFileSystem)) {
        std::fprintf(stderr, "seeding the array failed\n");
        return results;
    }
    // The host knows one array, under the filer's name; the mount requests
    // do not come from the GUI.
    hostkit::HostJob job;
    job.jobId = 77;
    job.mountRequestSource = 1;
    hostkit::HostArray filer;
    filer.name = "filer1";
    filer.vendor = "Hitachi NAS";
    filer.arrayInfo = kInfo;
    filer.controlHostId = 3;
    job.arrays.push_back(filer);
    hostkit::MemOSUtil util(job);
    std::vector<std::unique_ptr<bench::BenchHost>> snaps;
    std::vector<QZSO::SnapInfo*> pointers;
    for (int i = 0; i < count; ++i) {
        snaps.emplace_back(new bench::BenchHost(job));
        bench::BenchHost& s = *snaps.back();
        s.sourceDevice = sourceOf(i, ownFileSystem);
        s.snapUUID = "u" + std::to_string(i);
        pointers.push_back(&s);
    }
    for (const Operation& op : kLifecycle) {
        fake.clearCalls();
        fake.arraySeconds = 0;
        Result r;
        r.operation = op.name;
        const bool profiled = profiledOperation != nullptr && std::strcmp(profiledOperation, op.name) == 0;
        if (!warm) evictCaches();
        if (profiled) tellProfiler("enable\n");
        const long long heapBefore = liveBytes.load();
        peakBytes.store(heapBefore);
        const auto start = std::chrono::steady_clock::now();
        r.code = op.entry(pointers.data(), static_cast<short>(count), &util);
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (profiled) tellProfiler("disable\n");
        r.arraySeconds = fake.arraySeconds;
        r.peakHeap = peakBytes.load() - heapBefore;
        r.heldAfter = liveBytes.load() - heapBefore;
        r.inits = countWithout(fake, "init", true);
        r.calls = countWithout(fake, "init", false);
        r.minimum = minimumCalls(op.name, count, ownFileSystem);
        results.push_back(r);
    }
    return results;
}

void printCase(int count, bool ownFileSystem, bool warm) {
    for (const Result& r : runCase(count, ownFileSystem, warm))
        std::printf("%s %d %s %d %.9f %.9f %lld %lld %lld %lld %lld\n", r.operation.c_str(), count,
                    ownFileSystem ? "own" : "one", r.code, r.seconds, r.seconds - r.arraySeconds, r.calls, r.inits,
                    r.minimum, r.peakHeap, r.heldAfter);
}

struct Key {
    std::string operation;
    std::string layout;
    int count;
    bool operator<(const Key& o) const {
        return std::tie(operation, layout, count) < std::tie(o.operation, o.layout, o.count);
    }
};

// Runs one case in a child process `repeats` times and keeps, per
// operation, the fastest time and the fastest plug-in time (the others only
// add noise from the machine); then once more with heap accounting, for the
// peak heap of each call.
bool collect(const char* self, int count, const char* layout, int repeats, bool warm, std::map<Key, Result>& table) {
    for (int rep = 0; rep <= repeats; ++rep) {
        const bool memoryRun = rep == repeats;
        int fds[2];
        if (pipe(fds) != 0) return false;
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            const std::string n = std::to_string(count);
            execl(self, self, n.c_str(), layout, memoryRun ? "memory" : "time", warm ? "warm" : "cold",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        FILE* in = fdopen(fds[0], "r");
        char name[64];
        char lay[8];
        int n = 0;
        Result r;
        double pluginSeconds = 0;
        while (in != nullptr && std::fscanf(in, "%63s %d %7s %d %lf %lf %lld %lld %lld %lld %lld", name, &n, lay,
                                            &r.code, &r.seconds, &pluginSeconds, &r.calls, &r.inits, &r.minimum,
                                            &r.peakHeap, &r.heldAfter) == 11) {
            r.arraySeconds = r.seconds - pluginSeconds;
            r.operation = name;
            const Key key{name, lay, n};
            auto found = table.find(key);
            if (memoryRun) {
                if (found != table.end()) {
                    found->second.peakHeap = r.peakHeap;
                    found->second.heldAfter = r.heldAfter;
                }
            } else if (found == table.end()) {
                table[key] = r;
            } else {
                // arraySeconds is kept as the fastest plug-in time's complement.
                Result& best = found->second;
                const double bestPlugin = std::min(best.seconds - best.arraySeconds, pluginSeconds);
                best.seconds = std::min(best.seconds, r.seconds);
                best.arraySeconds = best.seconds - bestPlugin;
            }
        }
        if (in != nullptr) std::fclose(in);
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    }
    return true;
}

// The most the time per device may grow from 1024 to 32767 devices.
constexpr double kBound = 1.5;
const char* overBound(double ratio) { return ratio <= kBound ? "" : " (over 1.5)"; }

int runAll(const char* self, bool warm) {
    const int counts[] = {1024, 4096, 32767};
    const char* layouts[] = {"own", "one"};
    std::map<Key, Result> table;
    for (const char* layout : layouts) {
        for (int count : counts) {
            std::fprintf(stderr, "running %d devices, %s file system(s)\n", count, layout);
            if (!collect(self, count, layout, 5, warm, table)) {
                std::fprintf(stderr, "the case %d %s failed\n", count, layout);
                return 1;
            }
        }
    }
    std::printf("| operation | file systems | µs/device at 1024 | at 4096 | at 32767 | 32767/1024 | "
                "plug-in µs/device at 1024 | at 32767 | plug-in 32767/1024 | "
                "calls at 32767 (besides init) | fewest needed | inits | peak heap of the call at 32767 | of it kept after |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    bool withinBound = true;
    for (const Operation& op : kLifecycle) {
        for (const char* layout : layouts) {
            const Result& a = table[{op.name, layout, 1024}];
            const Result& b = table[{op.name, layout, 4096}];
            const Result& c = table[{op.name, layout, 32767}];
            const double perA = a.seconds / 1024 * 1e6;
            const double perB = b.seconds / 4096 * 1e6;
            const double perC = c.seconds / 32767 * 1e6;
            const double ratio = perA > 0 ? perC / perA : 0;
            const double ownA = (a.seconds - a.arraySeconds) / 1024 * 1e6;
            const double ownC = (c.seconds - c.arraySeconds) / 32767 * 1e6;
            const double ownRatio = ownA > 0 ? ownC / ownA : 0;
            withinBound = withinBound && ratio <= kBound && ownRatio <= kBound;
            std::printf("| %s | %s | %.2f | %.2f | %.2f | %.2f%s | %.2f | %.2f | %.2f%s | %lld | %lld | %lld | %.1f MiB | "
                        "%.1f MiB |\n",
                        op.name, std::strcmp(layout, "own") == 0 ? "one per device" : "one for all", perA, perB, perC,
                        ratio, overBound(ratio), ownA, ownC, ownRatio, overBound(ownRatio), c.calls, c.minimum,
                        c.inits, static_cast<double>(c.peakHeap) / (1024.0 * 1024.0),
                        static_cast<double>(c.heldAfter) / (1024.0 * 1024.0));
            if (c.code != 0) std::printf("| %s | %s | returned %d at 32767 |\n", op.name, layout, c.code);
        }
    }
    return withinBound ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && argc <= 5) {
        accounting = argc >= 4 && std::strcmp(argv[3], "memory") == 0;
        const int count = std::atoi(argv[1]);
        if (count < 1 || count > 32767) return 1;
        printCase(count, std::strcmp(argv[2], "own") == 0, argc == 5 && std::strcmp(argv[4], "warm") == 0);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "warm") != 0) return 1;
    const bool warm = argc == 2;
    std::fprintf(stderr, "each call starts with %s caches\n", warm ? "warm" : "cold");
    return runAll("/proc/self/exe", warm);
}
