// Lookup tables over an array's lists, so that finding a file system, share
// or snapshot does not scan the lists: with tens of thousands of devices a
// scan per call made every batch quadratic. The model's own functions keep
// the tables in step as they add and remove; a list that changed behind
// their back (a different size or storage) has its tables rebuilt on the
// next lookup. Removing swaps the last entry into the gap, so the lists do
// not keep their order across removals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "arraysim/model/ArrayTypes.h"

namespace arraymodel {

struct ArrayIndex {
    // The lists the tables were built over.
    size_t fileSystemCount = 0, shareCount = 0, snapshotCount = 0;
    const void* fileSystemData = nullptr;
    const void* shareData = nullptr;
    const void* snapshotData = nullptr;

    std::unordered_map<std::string, size_t> fileSystemById;        // lower-case ID
    std::unordered_map<std::string, size_t> fileSystemByObjectId;
    std::unordered_map<std::string, size_t> fileSystemByLabel;
    std::unordered_map<std::string, size_t> shareByName;           // shareNameKey()
    std::unordered_map<std::string, size_t> shareByObjectId;       // protocol + objectId
    std::unordered_map<std::string, size_t> snapshotByObjectId;
    std::unordered_map<std::string, size_t> snapshotByName;        // file system ID + "/" + name

    // Highest snapshot sequence, of the array and per file system; stale
    // after a removal until recounted.
    bool sequencesStale = false;
    uint64_t lastSequence = 0;
    std::unordered_map<std::string, uint64_t> lastSequenceOf;
};

// e.g. "C|1|data" for the CIFS share "Data" on server 1; "N|1|/exp1".
std::string shareNameKey(Protocol protocol, uint64_t virtualServerId, const std::string& name);

// The tables of `array`, rebuilt first when its lists changed behind them.
ArrayIndex& indexOf(const Array& array);

// Appending and removing through the tables.
void appendFileSystem(Array& array, const FileSystem& fileSystem);
void appendShare(Array& array, const Share& share);
void appendSnapshot(Array& array, const Snapshot& snapshot);
void removeShareAt(Array& array, size_t position);
void removeSnapshotAt(Array& array, size_t position);

// Highest sequence of all snapshots, and of those of one file system (0: none).
uint64_t lastSequence(const Array& array);
uint64_t lastSequenceOf(const Array& array, const std::string& fileSystemId);

}  // namespace arraymodel
