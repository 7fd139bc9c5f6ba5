// The simulator's array model at scale, with its lookup tables as built:
// the flat hash tables of KeyTable.h (hnas_bench_model) or std::unordered_map
// keyed by the key itself (hnas_bench_model_std, the same code built with
// HNAS_MODEL_STD_TABLES). One array of N devices, each a CIFS share on a
// file system of its own, goes through the model calls of a whole
// lifecycle, as hnas-arraysim makes them for the plug-in: the seed, look-ups
// of file systems and shares, a snapshot per file system, a share inside
// each snapshot, their look-ups, and removing both again.
//   hnas_bench_model [devices]     (default 32767)
// Prints a table: the best of five rounds of each step, in ns per device.
// Then a second one: a delete of a share on an ordinary directory (not in a
// snapshot: its directory's record may go with it) in an array of 1,000 and
// of 20,000 such shares, to show whether its cost grows with the array.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "arraysim/model/ArrayOps.h"
#include "arraysim/model/ArraySeed.h"

namespace {

using namespace arraymodel;
using Clock = std::chrono::steady_clock;

#ifdef HNAS_MODEL_STD_TABLES
const char kTables[] = "std::unordered_map, keyed by the key";
#else
const char kTables[] = "KeyTable, keyed by a 64-bit hash";
#endif

const int kRounds = 5;

struct Step {
    const char* name;
    std::function<bool(Array&, int)> run;   // one device's part; false on a failure
};

struct Names {
    std::vector<std::string> labels, fileSystemIds, shares, snapshots, snapshotIds, clones, cloneIds;
};

bool fail(const char* what, int i) {
    std::fprintf(stderr, "%s failed for device %d\n", what, i);
    return false;
}

// An array of `count` file systems, each with a CIFS share.
bool seed(Array& array, Names& names, int count) {
    array = Array();
    array.name = "hnas1";
    VirtualServer server;
    server.id = 1;
    server.name = "evs1";
    if (!addVirtualServer(array, server).ok()) return fail("addVirtualServer", 0);
    names = Names();
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        FileSystem fs;
        fs.label = "fs" + n;
        fs.virtualServerId = 1;
        if (!addFileSystem(array, fs).ok()) return fail("addFileSystem", i);
        Share share;
        share.protocol = Protocol::Cifs;
        share.name = "share" + n;
        share.virtualServerId = 1;
        share.fileSystemId = fs.id;
        share.path = "\\data" + n;
        if (!addShare(array, share).ok()) return fail("addShare", i);
        names.labels.push_back(fs.label);
        names.fileSystemIds.push_back(fs.id);
        names.shares.push_back(share.name);
        names.snapshots.push_back("QZHNAS-" + n + "-" + fs.label);
        names.clones.push_back("QZHNAS-" + n + "-share" + n + "-QZShare");
    }
    names.snapshotIds.assign(static_cast<size_t>(count), "");
    names.cloneIds.assign(static_cast<size_t>(count), "");
    return true;
}

std::vector<Step> lifecycle(Names& names) {
    return {
        {"find file system by label",
         [&](Array& a, int i) { return findFileSystemByLabel(a, names.labels[i]) != nullptr; }},
        {"find file system by ID",
         [&](Array& a, int i) { return findFileSystem(a, names.fileSystemIds[i]) != nullptr; }},
        {"find share by name",
         [&](Array& a, int i) { return findShareByName(a, Protocol::Cifs, 1, names.shares[i]) != nullptr; }},
        {"create snapshot",
         [&](Array& a, int i) {
             Snapshot s;
             if (!createSnapshot(a, names.fileSystemIds[i], names.snapshots[i], "", 1, s).ok()) return false;
             names.snapshotIds[i] = s.objectId;
             return true;
         }},
        {"find snapshot by name",
         [&](Array& a, int i) { return findSnapshotByName(a, names.fileSystemIds[i], names.snapshots[i]) != nullptr; }},
        {"list snapshots of file system",
         [&](Array& a, int i) { return snapshotsOf(a, names.fileSystemIds[i], "").size() == 1; }},
        {"create share in snapshot",
         [&](Array& a, int i) {
             ShareRequest r;
             r.virtualServer = "1";
             r.name = names.clones[i];
             r.fileSystem = names.fileSystemIds[i];
             r.path = "\\.snapshot\\" + names.snapshots[i] + "\\";
             r.noDefaultSecurity = true;
             Share created;
             if (!createShare(a, r, created).ok()) return false;
             names.cloneIds[i] = created.objectId;
             return true;
         }},
        {"find share by object ID",
         [&](Array& a, int i) { return findShareByObjectId(a, Protocol::Cifs, names.cloneIds[i]) != nullptr; }},
        {"find snapshot by object ID",
         [&](Array& a, int i) { return findSnapshot(a, names.snapshotIds[i]) != nullptr; }},
        {"delete share", [&](Array& a, int i) { return deleteShare(a, Protocol::Cifs, names.cloneIds[i]).ok(); }},
        {"delete snapshot", [&](Array& a, int i) { return deleteSnapshot(a, names.snapshotIds[i]).ok(); }},
    };
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Microseconds per delete of a seeded share (each on a directory of its own,
// "\\data<n>", on a file system of its own) in an array of `count` of them:
// the best of the rounds, each deleting `deletes` shares spread over the array.
double shareDeleteMicros(int count, int deletes) {
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        Array array;
        Names names;
        if (!seed(array, names, count)) return -1;
        std::vector<std::string> objectIds;
        for (int d = 0; d < deletes; ++d) {
            const Share* share = findShareByName(array, Protocol::Cifs, 1, names.shares[d * (count / deletes)]);
            if (share == nullptr) {
                fail("findShareByName", d);
                return -1;
            }
            objectIds.push_back(share->objectId);
        }
        const auto start = Clock::now();
        for (const std::string& objectId : objectIds) {
            if (!deleteShare(array, Protocol::Cifs, objectId).ok()) {
                fail("deleteShare", 0);
                return -1;
            }
        }
        best = std::min(best, secondsSince(start));
    }
    return best / deletes * 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 32767;
    if (count < 1 || count > 1000000) {
        std::fprintf(stderr, "usage: %s [devices]\n", argv[0]);
        return 1;
    }
    Array array;
    Names names;
    std::vector<Step> steps = lifecycle(names);
    // Best time per step over the rounds; the seed (and the first look-up,
    // which builds the tables) counted as steps of their own.
    std::vector<double> best(steps.size() + 2, 1e300);
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        if (!seed(array, names, count)) return 1;
        best[0] = std::min(best[0], secondsSince(start));
        array.index.table.reset();
        start = Clock::now();
        if (findFileSystemByLabel(array, names.labels[0]) == nullptr) {
            fail("building the tables", 0);
            return 1;
        }
        best[1] = std::min(best[1], secondsSince(start));
        for (size_t s = 0; s < steps.size(); ++s) {
            start = Clock::now();
            for (int i = 0; i < count; ++i) {
                if (!steps[s].run(array, i)) {
                    fail(steps[s].name, i);
                    return 1;
                }
            }
            best[s + 2] = std::min(best[s + 2], secondsSince(start));
        }
    }
    std::printf("%d devices, tables: %s; best of %d rounds, ns per device\n", count, kTables, kRounds);
    std::printf("| step | ns/device |\n|---|---|\n");
    std::printf("| seed (add file system and share) | %.0f |\n", best[0] / count * 1e9);
    std::printf("| build the tables | %.0f |\n", best[1] / count * 1e9);
    double total = 0;
    for (size_t s = 0; s < steps.size(); ++s) {
        std::printf("| %s | %.0f |\n", steps[s].name, best[s + 2] / count * 1e9);
        total += best[s + 2];
    }
    std::printf("| the lifecycle's calls together | %.0f |\n", total / count * 1e9);

    const int deletes = 200;
    std::printf("\ndelete of a share on an ordinary directory, best of %d rounds of %d deletes\n", kRounds, deletes);
    std::printf("| shares in the array | us per delete |\n|---|---|\n");
    for (int shares : {1000, 20000}) {
        const double micros = shareDeleteMicros(shares, deletes);
        if (micros < 0) return 1;
        std::printf("| %d | %.2f |\n", shares, micros);
    }
    return 0;
}
