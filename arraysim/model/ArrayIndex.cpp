#include "arraysim/model/ArrayIndex.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace arraymodel {
namespace {

std::string lower(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string shareObjectKey(Protocol protocol, const std::string& objectId) {
    return (protocol == Protocol::Cifs ? "C|" : "N|") + objectId;
}

std::string snapshotNameKey(const std::string& fileSystemId, const std::string& name) {
    return fileSystemId + "/" + name;
}

// Keeps the first position of a key, as a scan in list order would find.
void put(std::unordered_map<std::string, size_t>& table, const std::string& key, size_t position) {
    table.emplace(key, position);
}

void addFileSystemKeys(ArrayIndex& t, const FileSystem& fs, size_t position) {
    put(t.fileSystemById, lower(fs.id), position);
    put(t.fileSystemByObjectId, fs.objectId, position);
    put(t.fileSystemByLabel, fs.label, position);
}

void addShareKeys(ArrayIndex& t, const Share& share, size_t position) {
    put(t.shareByName, shareNameKey(share.protocol, share.virtualServerId, share.name), position);
    put(t.shareByObjectId, shareObjectKey(share.protocol, share.objectId), position);
}

void addSnapshotKeys(ArrayIndex& t, const Snapshot& s, size_t position) {
    put(t.snapshotByObjectId, s.objectId, position);
    put(t.snapshotByName, snapshotNameKey(s.fileSystemId, s.displayName), position);
    t.lastSequence = std::max(t.lastSequence, s.sequence);
    uint64_t& last = t.lastSequenceOf[s.fileSystemId];
    last = std::max(last, s.sequence);
}

// Drops the key only where it names `position` (a duplicate keeps its own).
void drop(std::unordered_map<std::string, size_t>& table, const std::string& key, size_t position) {
    auto found = table.find(key);
    if (found != table.end() && found->second == position) table.erase(found);
}

void stamp(const Array& array, ArrayIndex& t) {
    t.fileSystemCount = array.fileSystems.size();
    t.shareCount = array.shares.size();
    t.snapshotCount = array.snapshots.size();
    t.fileSystemData = array.fileSystems.data();
    t.shareData = array.shares.data();
    t.snapshotData = array.snapshots.data();
}

bool inStep(const Array& array, const ArrayIndex& t) {
    return t.fileSystemCount == array.fileSystems.size() && t.shareCount == array.shares.size() &&
           t.snapshotCount == array.snapshots.size() && t.fileSystemData == array.fileSystems.data() &&
           t.shareData == array.shares.data() && t.snapshotData == array.snapshots.data();
}

void rebuild(const Array& array, ArrayIndex& t) {
    t = ArrayIndex();
    for (size_t i = 0; i < array.fileSystems.size(); ++i) addFileSystemKeys(t, array.fileSystems[i], i);
    for (size_t i = 0; i < array.shares.size(); ++i) addShareKeys(t, array.shares[i], i);
    for (size_t i = 0; i < array.snapshots.size(); ++i) addSnapshotKeys(t, array.snapshots[i], i);
    stamp(array, t);
}

void recountSequences(const Array& array, ArrayIndex& t) {
    t.lastSequence = 0;
    t.lastSequenceOf.clear();
    for (const Snapshot& s : array.snapshots) {
        t.lastSequence = std::max(t.lastSequence, s.sequence);
        uint64_t& last = t.lastSequenceOf[s.fileSystemId];
        last = std::max(last, s.sequence);
    }
    t.sequencesStale = false;
}

}  // namespace

std::string shareNameKey(Protocol protocol, uint64_t virtualServerId, const std::string& name) {
    // CIFS names compare without case, export names exactly.
    return (protocol == Protocol::Cifs ? "C|" : "N|") + std::to_string(virtualServerId) + "|" +
           (protocol == Protocol::Cifs ? lower(name) : name);
}

ArrayIndex& indexOf(const Array& array) {
    if (!array.index.table) {
        array.index.table = std::make_shared<ArrayIndex>();
        rebuild(array, *array.index.table);
    } else if (!inStep(array, *array.index.table)) {
        rebuild(array, *array.index.table);
    }
    return *array.index.table;
}

void appendFileSystem(Array& array, const FileSystem& fileSystem) {
    ArrayIndex& t = indexOf(array);
    array.fileSystems.push_back(fileSystem);
    addFileSystemKeys(t, array.fileSystems.back(), array.fileSystems.size() - 1);
    stamp(array, t);
}

void appendShare(Array& array, const Share& share) {
    ArrayIndex& t = indexOf(array);
    array.shares.push_back(share);
    addShareKeys(t, array.shares.back(), array.shares.size() - 1);
    stamp(array, t);
}

void appendSnapshot(Array& array, const Snapshot& snapshot) {
    ArrayIndex& t = indexOf(array);
    array.snapshots.push_back(snapshot);
    addSnapshotKeys(t, array.snapshots.back(), array.snapshots.size() - 1);
    stamp(array, t);
}

void removeShareAt(Array& array, size_t position) {
    ArrayIndex& t = indexOf(array);
    if (position >= array.shares.size()) return;
    const size_t last = array.shares.size() - 1;
    {
        const Share& gone = array.shares[position];
        drop(t.shareByName, shareNameKey(gone.protocol, gone.virtualServerId, gone.name), position);
        drop(t.shareByObjectId, shareObjectKey(gone.protocol, gone.objectId), position);
    }
    if (position != last) {
        const Share& moved = array.shares[last];
        drop(t.shareByName, shareNameKey(moved.protocol, moved.virtualServerId, moved.name), last);
        drop(t.shareByObjectId, shareObjectKey(moved.protocol, moved.objectId), last);
        array.shares[position] = std::move(array.shares[last]);
        addShareKeys(t, array.shares[position], position);
    }
    array.shares.pop_back();
    stamp(array, t);
}

void removeSnapshotAt(Array& array, size_t position) {
    ArrayIndex& t = indexOf(array);
    if (position >= array.snapshots.size()) return;
    const size_t last = array.snapshots.size() - 1;
    {
        const Snapshot& gone = array.snapshots[position];
        drop(t.snapshotByObjectId, gone.objectId, position);
        drop(t.snapshotByName, snapshotNameKey(gone.fileSystemId, gone.displayName), position);
    }
    if (position != last) {
        const Snapshot& moved = array.snapshots[last];
        drop(t.snapshotByObjectId, moved.objectId, last);
        drop(t.snapshotByName, snapshotNameKey(moved.fileSystemId, moved.displayName), last);
        array.snapshots[position] = std::move(array.snapshots[last]);
        put(t.snapshotByObjectId, array.snapshots[position].objectId, position);
        put(t.snapshotByName, snapshotNameKey(array.snapshots[position].fileSystemId,
                                              array.snapshots[position].displayName),
            position);
    }
    array.snapshots.pop_back();
    t.sequencesStale = true;
    stamp(array, t);
}

uint64_t lastSequence(const Array& array) {
    ArrayIndex& t = indexOf(array);
    if (t.sequencesStale) recountSequences(array, t);
    return t.lastSequence;
}

uint64_t lastSequenceOf(const Array& array, const std::string& fileSystemId) {
    ArrayIndex& t = indexOf(array);
    if (t.sequencesStale) recountSequences(array, t);
    const auto found = t.lastSequenceOf.find(fileSystemId);
    return found == t.lastSequenceOf.end() ? 0 : found->second;
}

}  // namespace arraymodel
