// What one request changed in an array, slot by slot: each share or
// snapshot slot it added, removed, moved into or edited, with the value the
// slot held before. The simulator's store writes just those rows, and a
// request that fails puts just those slots back: neither needs a copy of
// the array. Requests change shares, their permissions, snapshots, the ID
// counter and the directories of a file system; virtual servers and file
// systems otherwise change only by seeding, which records nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "arraysim/model/ArrayTypes.h"

namespace arraymodel {

struct ChangeRecord {
    uint64_t nextSerial = 0;   // the counter before the request
    size_t shareCount = 0;     // list sizes before the request
    size_t snapshotCount = 0;
    // Slot -> its value before the request; none for a slot past the end
    // of the list then (an append).
    std::map<size_t, std::optional<Share>> shares;
    std::map<size_t, std::optional<Snapshot>> snapshots;
    // (file system ID, directory) pairs the request added, and those it
    // dropped (a deleted share's directory no share needs any more).
    std::vector<std::pair<std::string, std::string>> directories;
    std::vector<std::pair<std::string, std::string>> droppedDirectories;

    bool empty() const {
        return shares.empty() && snapshots.empty() && directories.empty() && droppedDirectories.empty();
    }
};

// Records every later change the model makes to `array` into `record`
// (which must outlive the recording) until stopRecording.
void startRecording(const Array& array, ChangeRecord& record);
void stopRecording(const Array& array);

// Notes that a slot is about to change; the model's own changing functions
// call these first. Without a recording they do nothing.
void touchShare(const Array& array, size_t position);
void touchSnapshot(const Array& array, size_t position);
void noteDirectory(const Array& array, const std::string& fileSystemId, const std::string& directory);
void noteDroppedDirectory(const Array& array, const std::string& fileSystemId, const std::string& directory);

// Puts back every recorded slot, the list sizes and the counter. The lookup
// tables are rebuilt on their next use.
void undoChanges(Array& array, const ChangeRecord& record);

}  // namespace arraymodel
