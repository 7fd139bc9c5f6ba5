#include "arraysim/model/ChangeRecord.h"

#include <algorithm>
#include <vector>

namespace arraymodel {
namespace {

// The first touch of a slot keeps what it held before the request: slots
// not yet touched still hold their values from before.
template <typename T>
void remember(std::map<size_t, std::optional<T>>& slots, const std::vector<T>& list, size_t position) {
    if (slots.count(position) != 0) return;
    if (position < list.size())
        slots.emplace(position, list[position]);
    else
        slots.emplace(position, std::nullopt);
}

template <typename T>
void restore(std::vector<T>& list, size_t count, const std::map<size_t, std::optional<T>>& slots) {
    list.resize(count);
    for (const auto& slot : slots) {
        if (slot.second && slot.first < count) list[slot.first] = *slot.second;
    }
}

bool sameKeys(const Share& a, const Share& b) {
    return a.protocol == b.protocol && a.virtualServerId == b.virtualServerId && a.name == b.name &&
           a.objectId == b.objectId;
}

}  // namespace

void startRecording(const Array& array, ChangeRecord& record) {
    record = ChangeRecord();
    record.nextSerial = array.nextSerial;
    record.shareCount = array.shares.size();
    record.snapshotCount = array.snapshots.size();
    array.recording.record = &record;
}

void stopRecording(const Array& array) { array.recording.record = nullptr; }

void touchShare(const Array& array, size_t position) {
    if (array.recording.record != nullptr) remember(array.recording.record->shares, array.shares, position);
}

void touchSnapshot(const Array& array, size_t position) {
    if (array.recording.record != nullptr) remember(array.recording.record->snapshots, array.snapshots, position);
}

void noteDirectory(const Array& array, const std::string& fileSystemId, const std::string& directory) {
    if (array.recording.record != nullptr) array.recording.record->directories.emplace_back(fileSystemId, directory);
}

void noteDroppedDirectory(const Array& array, const std::string& fileSystemId, const std::string& directory) {
    if (array.recording.record != nullptr) {
        array.recording.record->droppedDirectories.emplace_back(fileSystemId, directory);
    }
}

void undoChanges(Array& array, const ChangeRecord& record) {
    for (const auto& added : record.directories) {
        for (FileSystem& fs : array.fileSystems) {
            if (fs.id != added.first) continue;
            auto at = std::lower_bound(fs.directories.begin(), fs.directories.end(), added.second);
            if (at != fs.directories.end() && *at == added.second) fs.directories.erase(at);
        }
    }
    for (const auto& dropped : record.droppedDirectories) {
        for (FileSystem& fs : array.fileSystems) {
            if (fs.id != dropped.first) continue;
            auto at = std::lower_bound(fs.directories.begin(), fs.directories.end(), dropped.second);
            if (at == fs.directories.end() || *at != dropped.second) fs.directories.insert(at, dropped.second);
        }
    }
    // Permission edits leave every key where it was; anything else moved
    // entries, and the tables are rebuilt (a failure path, so the cost of a
    // rebuild is fine).
    bool keysKept = array.shares.size() == record.shareCount && record.snapshots.empty();
    for (const auto& slot : record.shares) {
        keysKept = keysKept && slot.second && sameKeys(*slot.second, array.shares[slot.first]);
    }
    restore(array.shares, record.shareCount, record.shares);
    restore(array.snapshots, record.snapshotCount, record.snapshots);
    array.nextSerial = record.nextSerial;
    if (!keysKept) array.index.table.reset();
}

}  // namespace arraymodel
