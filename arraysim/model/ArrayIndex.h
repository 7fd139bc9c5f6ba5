// Lookup tables over an array's lists, so that finding a file system, share
// or snapshot does not scan the lists: with tens of thousands of devices a
// scan per call made every batch quadratic. The model's own functions keep
// the tables in step as they add and remove; a list that changed behind
// their back (a different size or storage) has its tables rebuilt on the
// next lookup. Removing swaps the last entry into the gap, so the lists do
// not keep their order across removals.
//
// The tables hold a 64-bit hash of each key, not the key, in flat arrays: no
// nodes and no key strings keep the tables of a large array within the
// caches. Every lookup checks the entry a table names against the list and
// falls back to a scan, so two keys with one hash would cost speed, never
// correctness. Built with HNAS_MODEL_STD_TABLES (the model benchmark's
// second build, bench/ModelIndexBench.cpp), they are std::unordered_map
// keyed by the key itself instead; docs/performance.md has the two side by
// side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "arraysim/model/ArrayTypes.h"
#include "arraysim/model/KeyTable.h"

namespace arraymodel {

#ifdef HNAS_MODEL_STD_TABLES
// The key itself: its pieces, each followed by a 0 byte.
using IndexKey = std::string;
class IndexTable {
public:
    const size_t* find(const IndexKey& key) const {
        const auto found = map_.find(key);
        return found == map_.end() ? nullptr : &found->second;
    }
    size_t* find(const IndexKey& key) {
        const auto found = map_.find(key);
        return found == map_.end() ? nullptr : &found->second;
    }
    void insert(const IndexKey& key, size_t position) { map_.emplace(key, position); }
    void erase(const IndexKey& key) { map_.erase(key); }
    size_t size() const { return map_.size(); }

private:
    std::unordered_map<IndexKey, size_t> map_;
};
#else
// A 64-bit hash of the key.
using IndexKey = uint64_t;
using IndexTable = KeyTable;
#endif

// Each table: key -> position of the first entry with that key.

struct ArrayIndex {
    // The lists the tables were built over.
    size_t fileSystemCount = 0, shareCount = 0, snapshotCount = 0;
    const void* fileSystemData = nullptr;
    const void* shareData = nullptr;
    const void* snapshotData = nullptr;

    IndexTable fileSystemById;         // fileSystemIdKey()
    IndexTable fileSystemByObjectId;   // textKey()
    IndexTable fileSystemByLabel;      // textKey()
    IndexTable shareByName;            // shareNameKey()
    IndexTable shareByObjectId;        // shareObjectKey()
    IndexTable snapshotByObjectId;     // textKey()
    IndexTable snapshotByName;         // snapshotNameKey()

    // Snapshots by file system (fileSystemIdKey()), each set in creation
    // order: (sequence, position). A shared hash only mixes two file
    // systems' sets, which readers filter by ID anyway.
    std::unordered_map<IndexKey, std::set<std::pair<uint64_t, size_t>>> snapshotsByFileSystem;
    // Every snapshot's sequence, for the highest one.
    std::multiset<uint64_t> sequences;
    // The directories of the shares outside snapshots (plainShareDirectory),
    // by the file system ID the share holds, sorted, once per share: what a
    // share delete asks to tell whether its directory's record is still
    // needed. The plug-in's shares, all inside snapshots, add nothing here.
    std::unordered_map<std::string, std::multiset<std::string, std::less<>>> shareDirectories;
};

// ASCII lower case: the array compares file-system IDs and CIFS share names
// without case.
char lowerAscii(char c);

// Keys. A file system ID compares without case; a share name as its
// protocol does (CIFS without case, exports exactly), within its protocol
// and virtual server; a snapshot name within its file system.
IndexKey textKey(const std::string& text);
IndexKey fileSystemIdKey(const std::string& id);
IndexKey shareNameKey(Protocol protocol, uint64_t virtualServerId, const std::string& name);
IndexKey shareObjectKey(Protocol protocol, const std::string& objectId);
IndexKey snapshotNameKey(const std::string& fileSystemId, const std::string& name);

// The tables of `array`, rebuilt first when its lists changed behind them.
ArrayIndex& indexOf(const Array& array);

// Appending and removing through the tables; each notes the slots it
// changes in the array's change record (ChangeRecord.h).
void appendFileSystem(Array& array, const FileSystem& fileSystem);
void appendShare(Array& array, const Share& share);
void appendSnapshot(Array& array, const Snapshot& snapshot);
void removeShareAt(Array& array, size_t position);
void removeSnapshotAt(Array& array, size_t position);

// Highest sequence of all snapshots (0: none).
uint64_t lastSequence(const Array& array);
// Positions of the snapshots of one file system, in creation order.
std::vector<size_t> snapshotPositionsOf(const Array& array, const std::string& fileSystemId);
// Whether a share outside snapshots of the file system names `directory`
// ("/a/b", as directoryOf gives it) or a directory below it ("/a/b/c", not
// "/a/b-c").
bool shareInOrBelow(const Array& array, const std::string& fileSystemId, const std::string& directory);
// The deepest directory above `directory`, the root left out, that a share
// outside snapshots of the file system names: "/a" for "/a/b/c" when shares
// name "/a" and "/x"; "" when none does. Costs a look-up per level of
// `directory`, whatever the number of shares.
std::string deepestShareAbove(const Array& array, const std::string& fileSystemId, const std::string& directory);

}  // namespace arraymodel
