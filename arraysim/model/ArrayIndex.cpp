#include "arraysim/model/ArrayIndex.h"

#include "arraysim/model/ChangeRecord.h"
#include "arraysim/model/SnapshotPaths.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <utility>

namespace arraymodel {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

namespace {

// 64-bit FNV-1a over the pieces of a key, a separator byte between pieces
// (with std tables: the bytes themselves).
class KeyHash {
public:
    KeyHash& add(const std::string& text, bool foldCase = false) {
        for (char c : text) byte(foldCase ? lowerAscii(c) : c);
        return separate();
    }
    KeyHash& add(uint64_t number) {
        for (int i = 0; i < 8; ++i) byte(static_cast<char>(number >> (8 * i)));
        return separate();
    }
    const IndexKey& value() const { return value_; }

private:
#ifdef HNAS_MODEL_STD_TABLES
    void byte(char c) { value_.push_back(c); }
    IndexKey value_;
#else
    void byte(char c) {
        value_ ^= static_cast<unsigned char>(c);
        value_ *= 0x100000001b3ULL;
    }
    IndexKey value_ = 0xcbf29ce484222325ULL;
#endif
    KeyHash& separate() {
        byte('\0');
        return *this;
    }
};

// Keeps the first position of a key, as a scan in list order would find.
void put(IndexTable& table, const IndexKey& key, size_t position) { table.insert(key, position); }

void addFileSystemKeys(ArrayIndex& t, const FileSystem& fs, size_t position) {
    put(t.fileSystemById, fileSystemIdKey(fs.id), position);
    put(t.fileSystemByObjectId, textKey(fs.objectId), position);
    put(t.fileSystemByLabel, textKey(fs.label), position);
}

void addShareKeys(ArrayIndex& t, const Share& share, size_t position) {
    put(t.shareByName, shareNameKey(share.protocol, share.virtualServerId, share.name), position);
    put(t.shareByObjectId, shareObjectKey(share.protocol, share.objectId), position);
    std::string directory = plainShareDirectory(share.path);
    if (!directory.empty()) t.shareDirectories[share.fileSystemId].insert(std::move(directory));
}

void dropShareDirectory(ArrayIndex& t, const Share& share) {
    const std::string directory = plainShareDirectory(share.path);
    if (directory.empty()) return;
    const auto set = t.shareDirectories.find(share.fileSystemId);
    if (set == t.shareDirectories.end()) return;
    const auto entry = set->second.find(directory);
    if (entry != set->second.end()) set->second.erase(entry);
    if (set->second.empty()) t.shareDirectories.erase(set);
}

void addSnapshotKeys(ArrayIndex& t, const Snapshot& s, size_t position) {
    put(t.snapshotByObjectId, textKey(s.objectId), position);
    put(t.snapshotByName, snapshotNameKey(s.fileSystemId, s.displayName), position);
    t.snapshotsByFileSystem[fileSystemIdKey(s.fileSystemId)].emplace(s.sequence, position);
    t.sequences.insert(s.sequence);
}

void dropSnapshotOfFileSystem(ArrayIndex& t, const Snapshot& s, size_t position) {
    const auto set = t.snapshotsByFileSystem.find(fileSystemIdKey(s.fileSystemId));
    if (set == t.snapshotsByFileSystem.end()) return;
    set->second.erase({s.sequence, position});
    if (set->second.empty()) t.snapshotsByFileSystem.erase(set);
}

// Drops the key only where it names `position` (a duplicate keeps its own).
void drop(IndexTable& table, const IndexKey& key, size_t position) {
    const size_t* found = table.find(key);
    if (found != nullptr && *found == position) table.erase(key);
}

// The key of an entry that moved from `from` to `to` now names `to`; the
// same as drop(from) then put(to), in place.
void repoint(IndexTable& table, const IndexKey& key, size_t from, size_t to) {
    size_t* found = table.find(key);
    if (found == nullptr)
        table.insert(key, to);
    else if (*found == from)
        *found = to;
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

}  // namespace

IndexKey textKey(const std::string& text) { return KeyHash().add(text).value(); }

IndexKey fileSystemIdKey(const std::string& id) { return KeyHash().add(id, true).value(); }

IndexKey shareNameKey(Protocol protocol, uint64_t virtualServerId, const std::string& name) {
    const bool cifs = protocol == Protocol::Cifs;
    return KeyHash().add(cifs ? "C" : "N").add(virtualServerId).add(name, cifs).value();
}

IndexKey shareObjectKey(Protocol protocol, const std::string& objectId) {
    return KeyHash().add(protocol == Protocol::Cifs ? "C" : "N").add(objectId).value();
}

IndexKey snapshotNameKey(const std::string& fileSystemId, const std::string& name) {
    return KeyHash().add(fileSystemId).add(name).value();
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
    touchShare(array, array.shares.size());
    array.shares.push_back(share);
    addShareKeys(t, array.shares.back(), array.shares.size() - 1);
    stamp(array, t);
}

void appendSnapshot(Array& array, const Snapshot& snapshot) {
    ArrayIndex& t = indexOf(array);
    touchSnapshot(array, array.snapshots.size());
    array.snapshots.push_back(snapshot);
    addSnapshotKeys(t, array.snapshots.back(), array.snapshots.size() - 1);
    stamp(array, t);
}

void removeShareAt(Array& array, size_t position) {
    ArrayIndex& t = indexOf(array);
    if (position >= array.shares.size()) return;
    const size_t last = array.shares.size() - 1;
    touchShare(array, position);
    touchShare(array, last);
    {
        const Share& gone = array.shares[position];
        drop(t.shareByName, shareNameKey(gone.protocol, gone.virtualServerId, gone.name), position);
        drop(t.shareByObjectId, shareObjectKey(gone.protocol, gone.objectId), position);
        dropShareDirectory(t, gone);
    }
    if (position != last) {
        array.shares[position] = std::move(array.shares[last]);
        const Share& moved = array.shares[position];
        repoint(t.shareByName, shareNameKey(moved.protocol, moved.virtualServerId, moved.name), last, position);
        repoint(t.shareByObjectId, shareObjectKey(moved.protocol, moved.objectId), last, position);
    }
    array.shares.pop_back();
    stamp(array, t);
}

void removeSnapshotAt(Array& array, size_t position) {
    ArrayIndex& t = indexOf(array);
    if (position >= array.snapshots.size()) return;
    const size_t last = array.snapshots.size() - 1;
    touchSnapshot(array, position);
    touchSnapshot(array, last);
    {
        const Snapshot& gone = array.snapshots[position];
        drop(t.snapshotByObjectId, textKey(gone.objectId), position);
        drop(t.snapshotByName, snapshotNameKey(gone.fileSystemId, gone.displayName), position);
        dropSnapshotOfFileSystem(t, gone, position);
        const auto sequence = t.sequences.find(gone.sequence);
        if (sequence != t.sequences.end()) t.sequences.erase(sequence);
    }
    if (position != last) {
        array.snapshots[position] = std::move(array.snapshots[last]);
        const Snapshot& moved = array.snapshots[position];
        repoint(t.snapshotByObjectId, textKey(moved.objectId), last, position);
        repoint(t.snapshotByName, snapshotNameKey(moved.fileSystemId, moved.displayName), last, position);
        dropSnapshotOfFileSystem(t, moved, last);
        t.snapshotsByFileSystem[fileSystemIdKey(moved.fileSystemId)].emplace(moved.sequence, position);
    }
    array.snapshots.pop_back();
    stamp(array, t);
}

uint64_t lastSequence(const Array& array) {
    const ArrayIndex& t = indexOf(array);
    return t.sequences.empty() ? 0 : *t.sequences.rbegin();
}

std::vector<size_t> snapshotPositionsOf(const Array& array, const std::string& fileSystemId) {
    const ArrayIndex& t = indexOf(array);
    std::vector<size_t> positions;
    const auto found = t.snapshotsByFileSystem.find(fileSystemIdKey(fileSystemId));
    if (found == t.snapshotsByFileSystem.end()) return positions;
    for (const auto& entry : found->second) {
        if (entry.second < array.snapshots.size() && array.snapshots[entry.second].fileSystemId == fileSystemId) {
            positions.push_back(entry.second);
        }
    }
    return positions;
}

bool shareInOrBelow(const Array& array, const std::string& fileSystemId, const std::string& directory) {
    const ArrayIndex& t = indexOf(array);
    const auto set = t.shareDirectories.find(fileSystemId);
    if (set == t.shareDirectories.end()) return false;
    const auto& directories = set->second;
    if (directory == "/") return !directories.empty();
    if (directories.find(directory) != directories.end()) return true;
    // "/a/b-c" sorts between "/a/b" and "/a/b/": the first entry from
    // "<directory>/" on is the only one that can lie below it.
    const std::string below = directory + "/";
    const auto at = directories.lower_bound(below);
    return at != directories.end() && at->compare(0, below.size(), below) == 0;
}

std::string deepestShareAbove(const Array& array, const std::string& fileSystemId, const std::string& directory) {
    const ArrayIndex& t = indexOf(array);
    const auto set = t.shareDirectories.find(fileSystemId);
    if (set == t.shareDirectories.end()) return "";
    // "/a/b/c": "/a/b", then "/a", each a prefix of the text, not a copy.
    const std::string_view path(directory);
    for (size_t slash = path.rfind('/'); slash != std::string_view::npos && slash > 0;
         slash = path.rfind('/', slash - 1)) {
        const std::string_view above = path.substr(0, slash);
        if (set->second.find(above) != set->second.end()) return std::string(above);
    }
    return "";
}

}  // namespace arraymodel
