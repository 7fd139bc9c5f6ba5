// What a differential run plays: an array seed, the host's devices, and the
// jobs of a lifecycle, each on a subset of the devices, with the changes made
// before it (on the host's stored metadata or on the array, behind the
// plug-in's back) and the simulator faults it meets. A scenario is plain
// data, drawn from a seed (drawScenario) or written by hand, and is played
// the same way at every number of requests in flight.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace differential {

enum class Op { Prepare, Snap, IsMapped, Map, Unmap, Reconcile, Revert, Delete };

const char* opName(Op op);   // e.g. "isMapped"

struct Device {
    std::string label;        // e.g. "cifs-data-SUB1", for reports
    std::string source;       // the source-device string the host hands over
    std::string uuid;         // the snap UUID the host gives it, e.g. "u03-5f2a"
    std::string fileSystem;   // the label of the file system it lies on, e.g. "fs1"
    std::string share;        // the share or export as the device string names it ("DATA", "/exp-rw"); "" for a native path
    bool cifs = false;
};

// A change made between two jobs, the same in every run.
struct Change {
    enum class Kind {
        CutValue,              // host: the device's identity names `key` as stored cut ("CutValues:<key>")
        UnknownFileSystemId,   // host: the device's identity names a file-system ID the array does not know
        RemoveFileSystem,      // array: `fileSystem` goes, with its shares and snapshots
        UnmountFileSystem,     // array: `fileSystem` is no longer mounted
        RelabelFileSystem,     // array: `fileSystem` gets another label
        RemoveSnapshot,        // array: the snapshots named after `device`'s snap UUID go
    };
    Kind kind;
    int device = -1;
    std::string key;
    std::string fileSystem;
};

// A fault of the simulator's table (docs/arraysim.md, "Faults"), aimed with
// `matching` at the requests of one logical call, so that it meets the same
// call whatever order concurrent requests arrive in. A fault with a bare
// `count` and no `matching` would hit whichever request of a batch came
// first, and so differ between runs for no fault of the plug-in: none is
// ever drawn.
struct FaultPlan {
    enum class Target {
        Text,                   // `text` as it stands: a snap UUID, "name=data&", "label=fs4&"
        HexText,                // `text` hex-encoded, as it stands inside the simulator's object IDs
                                // (a snapshot's ID holds its name): the path of a roll-back or delete
        FileSystemId,           // the ID of file system `text`, read from the array before the job
        ShareObjectId,          // the object ID of the share or export named `text` (CIFS names without regard to case)
        SharesHoldingText,      // the object ID of every share whose name holds `text` (one fault each)
    };
    std::string operation;      // e.g. "createSnapshot"
    Target target = Target::Text;
    std::string text;
    nlohmann::json action;      // e.g. {"status": 500}, {"action": "closeAfter", "count": 1}, {"latencyMs": 250}
};

struct Job {
    Op op;
    std::vector<int> devices;   // indices into Scenario::devices, in the order handed over
    std::vector<Change> before;
    std::vector<FaultPlan> faults;
};

struct Scenario {
    std::string name;           // "seed 17", or the name of a written case
    bool drawn = false;         // drawn from `seed` (drawScenario)
    uint64_t seed = 0;
    nlohmann::json arrays;      // the simulator's seed
    std::vector<Device> devices;
    std::vector<Job> jobs;

    // Everything above but the seed JSON, one item a line, for a report.
    std::string describe() const;
};

// The array every drawn scenario starts from: field data of the kind real
// arrays hold (tests/support/FieldData.h; its credentials are there too).
nlohmann::json fieldArrays();

// A scenario drawn from `seed`: the same seed gives the same scenario on
// every machine and compiler.
Scenario drawScenario(uint64_t seed);

// Written cases of known divergences.
// Three devices snapped on three file systems; before delete, the first
// device's identity names a file system the array does not know.
Scenario deleteWithUnknownFileSystem();
// Two CIFS devices below one share whose sub-directories differ only in
// case, "\\filer1\data\sub1" and "\\filer1\data\SUB1", mapped together.
Scenario mapOfCaseVariants();

}  // namespace differential
