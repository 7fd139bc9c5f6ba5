#include "arraysim/model/ArrayOps.h"

#include <algorithm>
#include <unordered_map>

#include "arraysim/model/ArrayIndex.h"
#include "arraysim/model/ChangeRecord.h"
#include "arraysim/model/ModelMessages.h"
#include "arraysim/model/ObjectIds.h"
#include "arraysim/model/SnapshotPaths.h"

namespace arraymodel {
namespace {

const char kForbiddenInCifsName[] = "\"/\\[]:|<>+=;,?*";

bool parseDecimal(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    value = v;
    return true;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

bool sameShareName(Protocol protocol, const std::string& a, const std::string& b) {
    return protocol == Protocol::Cifs ? equalsIgnoringCase(a, b) : a == b;
}

uint64_t nextSequence(const Array& array) { return lastSequence(array) + 1; }

// The entry the table names for `key` when it matches; a table out of step
// with an entry changed in place falls back to a scan in list order.
template <typename T, typename Match>
const T* lookUp(const std::vector<T>& list, const IndexTable& table, const IndexKey& key, Match match) {
    const size_t* found = table.find(key);
    if (found == nullptr) return nullptr;
    if (*found < list.size() && match(list[*found])) return &list[*found];
    for (const T& entry : list) {
        if (match(entry)) return &entry;
    }
    return nullptr;
}

bool knownPermission(int32_t permission) {
    switch (permission) {
        case 0: case 1: case 3: case 7: case 8: case 24: case 56: return true;
        default: return false;
    }
}

}  // namespace

const VirtualServer* findVirtualServer(const Array& array, const std::string& ref) {
    uint64_t id = 0;
    const bool numeric = parseDecimal(ref, id);
    for (const VirtualServer& server : array.virtualServers) {
        if ((numeric && server.id == id) || server.objectId == ref) return &server;
    }
    return nullptr;
}

const VirtualServer* virtualServerForArrayId(const Array& array, const std::string& arrayId) {
    for (const VirtualServer& server : array.virtualServers) {
        if (server.type == kFileServices && server.name == arrayId) return &server;
    }
    for (const VirtualServer& server : array.virtualServers) {
        if (server.type != kFileServices) continue;
        for (const std::string& address : server.ipAddresses) {
            if (address == arrayId) return &server;
        }
    }
    return nullptr;
}

const FileSystem* findFileSystem(const Array& array, const std::string& ref) {
    const ArrayIndex& t = indexOf(array);
    const FileSystem* byId = lookUp(array.fileSystems, t.fileSystemById, fileSystemIdKey(ref),
                                    [&](const FileSystem& fs) { return equalsIgnoringCase(fs.id, ref); });
    if (byId != nullptr) return byId;
    return lookUp(array.fileSystems, t.fileSystemByObjectId, textKey(ref),
                  [&](const FileSystem& fs) { return fs.objectId == ref; });
}

const FileSystem* findFileSystemByLabel(const Array& array, const std::string& label) {
    return lookUp(array.fileSystems, indexOf(array).fileSystemByLabel, textKey(label),
                  [&](const FileSystem& fs) { return fs.label == label; });
}

std::string exportName(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    return "/" + name;
}

const Share* findShareByName(const Array& array, Protocol protocol, uint64_t virtualServerId,
                             const std::string& name) {
    const std::string wanted = protocol == Protocol::Nfs ? exportName(name) : name;
    return lookUp(array.shares, indexOf(array).shareByName, shareNameKey(protocol, virtualServerId, wanted),
                  [&](const Share& share) {
                      return share.protocol == protocol && share.virtualServerId == virtualServerId &&
                             sameShareName(protocol, share.name, wanted);
                  });
}

const Share* findShareByObjectId(const Array& array, Protocol protocol,
                                 const std::string& objectId) {
    return lookUp(array.shares, indexOf(array).shareByObjectId, shareObjectKey(protocol, objectId),
                  [&](const Share& share) { return share.protocol == protocol && share.objectId == objectId; });
}

const Snapshot* findSnapshot(const Array& array, const std::string& objectId) {
    return lookUp(array.snapshots, indexOf(array).snapshotByObjectId, textKey(objectId),
                  [&](const Snapshot& s) { return s.objectId == objectId; });
}

const Snapshot* findSnapshotByName(const Array& array, const std::string& fileSystemId,
                                   const std::string& storedName) {
    return lookUp(array.snapshots, indexOf(array).snapshotByName, snapshotNameKey(fileSystemId, storedName),
                  [&](const Snapshot& s) { return s.fileSystemId == fileSystemId && s.displayName == storedName; });
}

std::vector<Snapshot> snapshotsOf(const Array& array, const std::string& fileSystemId,
                                  const std::string& appSearchId) {
    std::vector<Snapshot> found;
    for (size_t position : snapshotPositionsOf(array, fileSystemId)) {
        const Snapshot& s = array.snapshots[position];
        if (appSearchId.empty() || s.appSearchId == appSearchId) found.push_back(s);
    }
    return found;
}

bool isDeleteState(const std::string& state) {
    return state == kSnapshotDeletePending || state == "SNAPSHOT_MANAGEMENT_STATE_DELETE_ONGOING" ||
           state == "SNAPSHOT_MANAGEMENT_STATE_DELETE_ROOT_ONODE_PASS";
}

std::vector<Snapshot> listSnapshots(Array& array, const std::string& fileSystemId, const std::string& appSearchId,
                                    bool& changed, uint64_t now) {
    std::vector<Snapshot> found;
    std::vector<size_t> spent;
    for (size_t position : snapshotPositionsOf(array, fileSystemId)) {
        Snapshot& s = array.snapshots[position];
        if (!appSearchId.empty() && s.appSearchId != appSearchId) continue;
        if (s.deleteWhenExpired && s.retainedUntil <= now) {
            spent.push_back(position);
            changed = true;
            continue;
        }
        found.push_back(s);
        if (s.pendingLists == 0) continue;
        touchSnapshot(array, position);
        if (--s.pendingLists == 0) spent.push_back(position);
        changed = true;
    }
    // From the highest position down, as in rollbackSnapshot.
    std::sort(spent.rbegin(), spent.rend());
    for (size_t position : spent) removeSnapshotAt(array, position);
    return found;
}

// Characters of a UTF-8 text: every byte that does not continue a character
// (10xxxxxx) begins one. "日" is one character of three bytes.
size_t characterCount(const std::string& text) {
    size_t count = 0;
    for (unsigned char c : text) count += (c & 0xC0) != 0x80;
    return count;
}

Result checkShareName(Protocol protocol, const std::string& name) {
    const std::string bare =
        (protocol == Protocol::Nfs && !name.empty() && name[0] == '/') ? name.substr(1) : name;
    if (bare.empty()) return Result::refuse(Outcome::BadRequest, msg::kEmptyShareName);
    if (protocol == Protocol::Cifs && characterCount(bare) > kMaxShareNameLength) {
        return Result::refuse(Outcome::BadRequest, msg::kLongShareName);
    }
    if (protocol == Protocol::Nfs && bare.size() > kMaxExportNameBytes) {
        return Result::refuse(Outcome::BadRequest, msg::kLongExportName);
    }
    for (unsigned char c : bare) {
        const bool control = c < 0x20 || c == 0x7F;
        const bool forbidden = protocol == Protocol::Cifs &&
                               std::string(kForbiddenInCifsName).find(static_cast<char>(c)) != std::string::npos;
        if (control || forbidden) return Result::refuse(Outcome::BadRequest, msg::kBadShareName);
    }
    return Result::success();
}

bool hasControlCharacter(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

Result checkSnapshotName(const std::string& storedName) {
    if (storedName.empty()) return Result::refuse(Outcome::BadRequest, msg::kEmptySnapshotName);
    if (storedName.size() > kMaxSnapshotNameBytes) return Result::refuse(Outcome::BadRequest, msg::kLongSnapshotName);
    if (hasControlCharacter(storedName) || storedName.find_first_of("/\\") != std::string::npos) {
        return Result::refuse(Outcome::BadRequest, msg::kBadSnapshotName);
    }
    return Result::success();
}

Authentication defaultShareAccess() {
    Authentication everyone;
    everyone.name = "Everyone";
    everyone.encodedName = hexEncode(everyone.name);
    everyone.permission = 56;
    everyone.type = "WELLKNOWN";
    return everyone;
}

std::string normalisedPrincipal(const std::string& name) {
    static const char* const kBuiltin[] = {"Administrators", "Users", "Guests",
                                           "Backup Operators", "Power Users"};
    for (const char* builtin : kBuiltin) {
        if (equalsIgnoringCase(name, builtin)) return std::string("BUILTIN\\") + builtin;
    }
    return name;
}

std::string normalisedPrincipalType(const std::string& normalisedName, const std::string& type) {
    const std::string builtin = "BUILTIN\\";
    const bool isBuiltin = normalisedName.size() > builtin.size() &&
                           equalsIgnoringCase(normalisedName.substr(0, builtin.size()), builtin);
    return isBuiltin && (type.empty() || type == "GROUP") ? "ALIAS" : type;
}

bool directoryExists(const FileSystem& fileSystem, const std::string& directory) {
    if (directory.empty() || directory == "/") return true;
    const std::vector<std::string>& known = fileSystem.directories;
    if (std::binary_search(known.begin(), known.end(), directory)) return true;
    // A parent of a recorded directory: the first record from "<directory>/"
    // on starts with it ("/a/b" sorts before "/a/b/c" and after "/a/b-c").
    const std::string below = directory + "/";
    const auto at = std::lower_bound(known.begin(), known.end(), below);
    return at != known.end() && at->compare(0, below.size(), below) == 0;
}

void recordDirectory(Array& array, FileSystem& fileSystem, const std::string& directory) {
    if (directoryExists(fileSystem, directory)) return;
    auto at = std::lower_bound(fileSystem.directories.begin(), fileSystem.directories.end(), directory);
    noteDirectory(array, fileSystem.id, directory);
    fileSystem.directories.insert(at, directory);
}

namespace {

// Checks a new share's path against the file system; `toRecord` receives the
// directory to record as existing once the share is made ("" for none).
Result checkSharePath(const Array& array, const FileSystem& fs, const ShareRequest& request, std::string& toRecord) {
    toRecord.clear();
    if (!wellFormedSharePath(request.path)) return Result::refuse(Outcome::BadRequest, msg::kBadSharePath);
    std::string snapshotName;
    if (snapshotNameInPath(request.path, snapshotName)) {
        if (findSnapshotByName(array, fs.id, snapshotName) == nullptr) {
            return Result::refuse(Outcome::BadRequest, msg::kNotInSnapshot);
        }
        // A snapshot holds what its file system held: the rest of the path
        // must name a directory of the file system.
        std::vector<std::string> pieces = sharePathPieces(request.path);
        std::string inFileSystem;
        for (size_t i = 2; i < pieces.size(); ++i) inFileSystem += "/" + pieces[i];
        if (!request.ensurePathExists && !directoryExists(fs, inFileSystem.empty() ? "/" : inFileSystem)) {
            return Result::refuse(Outcome::BadRequest, msg::kNoSuchDirectory);
        }
        return Result::success();
    }
    if (request.strictSnapshotPaths) return Result::refuse(Outcome::BadRequest, msg::kNotInSnapshot);
    const std::string directory = directoryOf(request.path);
    if (directoryExists(fs, directory)) return Result::success();
    if (!request.ensurePathExists) return Result::refuse(Outcome::BadRequest, msg::kNoSuchDirectory);
    toRecord = directory;
    return Result::success();
}

}  // namespace

Result createShare(Array& array, const ShareRequest& request, Share& created) {
    const VirtualServer* server = findVirtualServer(array, request.virtualServer);
    if (server == nullptr) return Result::refuse(Outcome::NotFound, msg::kNoServer);
    if (server->type != kFileServices) return Result::refuse(Outcome::BadRequest, msg::kNotFileServices);
    const Result nameCheck = checkShareName(request.protocol, request.name);
    if (!nameCheck.ok()) return nameCheck;
    const FileSystem* fs = findFileSystem(array, request.fileSystem);
    if (fs == nullptr) return Result::refuse(Outcome::NotFound, msg::kNoFileSystem);
    if (fs->virtualServerId != server->id) return Result::refuse(Outcome::BadRequest, msg::kOtherServer);
    std::string directory;
    const Result pathCheck = checkSharePath(array, *fs, request, directory);
    if (!pathCheck.ok()) return pathCheck;
    if (findShareByName(array, request.protocol, server->id, request.name) != nullptr) {
        return Result::refuse(Outcome::BadRequest, msg::kShareExists);
    }
    if (!directory.empty()) {
        recordDirectory(array, array.fileSystems[static_cast<size_t>(fs - array.fileSystems.data())], directory);
    }
    Share share;
    share.protocol = request.protocol;
    share.name = request.protocol == Protocol::Nfs ? exportName(request.name) : request.name;
    share.virtualServerId = server->id;
    share.fileSystemId = fs->id;
    share.path = request.path;
    share.settings = request.settings;
    share.shareId = mintUuid(array.name, array.nextSerial++);
    share.objectId = shareObjectId(share.virtualServerId, share.shareId);
    if (share.protocol == Protocol::Cifs && !request.noDefaultSecurity) {
        share.authentications.push_back(defaultShareAccess());
    }
    appendShare(array, share);
    created = share;
    return Result::success();
}

namespace {

// Drops the record of a deleted share's directory when no share of the file
// system needs it, recording instead the deepest share directory above it.
// The index answers both questions, so the cost does not grow with the
// array's shares; only a recorded directory asks at all, so shares inside
// snapshots (the plug-in's) never do.
void forgetDirectory(Array& array, const std::string& fileSystemId, const std::string& directory) {
    if (directory.empty()) return;
    const FileSystem* found = findFileSystem(array, fileSystemId);
    if (found == nullptr || found->id != fileSystemId) return;
    FileSystem& fs = array.fileSystems[static_cast<size_t>(found - array.fileSystems.data())];
    const auto at = std::lower_bound(fs.directories.begin(), fs.directories.end(), directory);
    if (at == fs.directories.end() || *at != directory) return;
    if (shareInOrBelow(array, fileSystemId, directory)) return;
    const std::string deepestAbove = deepestShareAbove(array, fileSystemId, directory);
    noteDroppedDirectory(array, fileSystemId, directory);
    fs.directories.erase(at);
    if (!deepestAbove.empty()) recordDirectory(array, fs, deepestAbove);
}

}  // namespace

Result deleteShare(Array& array, Protocol protocol, const std::string& objectId) {
    const Share* found = findShareByObjectId(array, protocol, objectId);
    if (found == nullptr) return Result::refuse(Outcome::NotFound, msg::kNoShare);
    const std::string fileSystemId = found->fileSystemId;
    const std::string directory = plainShareDirectory(found->path);
    removeShareAt(array, static_cast<size_t>(found - array.shares.data()));
    forgetDirectory(array, fileSystemId, directory);
    return Result::success();
}

Result addAuthentication(Array& array, const std::string& shareObjectId,
                         const Authentication& entry, Authentication& stored) {
    const Share* found = findShareByObjectId(array, Protocol::Cifs, shareObjectId);
    if (found == nullptr) return Result::refuse(Outcome::NotFound, msg::kNoShare);
    if (entry.name.empty()) return Result::refuse(Outcome::BadRequest, msg::kEmptyPrincipal);
    if (hasControlCharacter(entry.name) || hasControlCharacter(entry.type)) {
        return Result::refuse(Outcome::BadRequest, msg::kControlInName);
    }
    if (!knownPermission(entry.permission)) return Result::refuse(Outcome::BadRequest, msg::kBadPermission);
    const size_t position = static_cast<size_t>(found - array.shares.data());
    touchShare(array, position);
    Share& share = array.shares[position];
    Authentication kept = entry;
    kept.name = normalisedPrincipal(entry.name);
    kept.type = normalisedPrincipalType(kept.name, entry.type);
    kept.encodedName = hexEncode(kept.name);
    for (Authentication& existing : share.authentications) {
        if (equalsIgnoringCase(existing.name, kept.name)) {
            existing = kept;
            stored = kept;
            return Result::success();
        }
    }
    share.authentications.push_back(kept);
    stored = kept;
    return Result::success();
}

Result deleteAuthentication(Array& array, const std::string& shareObjectId,
                            const std::string& encodedName) {
    const Share* found = findShareByObjectId(array, Protocol::Cifs, shareObjectId);
    if (found == nullptr) return Result::refuse(Outcome::NotFound, msg::kNoShare);
    const size_t position = static_cast<size_t>(found - array.shares.data());
    Share& share = array.shares[position];
    for (auto it = share.authentications.begin(); it != share.authentications.end(); ++it) {
        if (it->encodedName == encodedName) {
            touchShare(array, position);
            share.authentications.erase(it);
            return Result::success();
        }
    }
    return Result::refuse(Outcome::NotFound, msg::kNoAuthentication);
}

Result createSnapshot(Array& array, const std::string& fileSystem, const std::string& displayName,
                      const std::string& appSearchId, uint64_t now, Snapshot& created) {
    const FileSystem* fs = findFileSystem(array, fileSystem);
    if (fs == nullptr) return Result::refuse(Outcome::NotFound, msg::kNoFileSystem);
    if (displayName.empty()) return Result::refuse(Outcome::BadRequest, msg::kEmptySnapshotName);
    const std::string stored = appSearchId.empty() ? displayName : appSearchId + "-" + displayName;
    const Result nameCheck = checkSnapshotName(stored);
    if (!nameCheck.ok()) return nameCheck;
    if (findSnapshotByName(array, fs->id, stored) != nullptr) {
        return Result::refuse(Outcome::BadRequest, msg::kSnapshotExists);
    }
    if (snapshotPositionsOf(array, fs->id).size() >= kMaxSnapshotsPerFileSystem) {
        return Result::refuse(Outcome::BadRequest, std::string(msg::kTooManySnapshotsBefore) + fs->label + "] holds " +
                                                       std::to_string(kMaxSnapshotsPerFileSystem) +
                                                       msg::kTooManySnapshotsAfter);
    }
    Snapshot snapshot;
    snapshot.displayName = stored;
    snapshot.appSearchId = appSearchId;
    snapshot.fileSystemId = fs->id;
    snapshot.creationTime = now;
    if (fs->retentionSeconds > 0) snapshot.retainedUntil = now + fs->retentionSeconds;
    snapshot.sequence = nextSequence(array);
    snapshot.objectId = snapshotObjectId(fs->id, stored);
    appendSnapshot(array, snapshot);
    created = snapshot;
    return Result::success();
}

Result deleteSnapshot(Array& array, const std::string& objectId, uint64_t now) {
    const Snapshot* found = findSnapshot(array, objectId);
    if (found == nullptr) return Result::refuse(Outcome::NotFound, msg::kNoSnapshot);
    const size_t position = static_cast<size_t>(found - array.snapshots.data());
    // Already going away: accepted, nothing more to do.
    if (isDeleteState(found->state)) return Result::success();
    // Retained: accepted, and deleted only when the retention expires.
    if (found->retainedUntil > now) {
        if (!found->deleteWhenExpired) {
            touchSnapshot(array, position);
            array.snapshots[position].deleteWhenExpired = true;
        }
        return Result::success();
    }
    if (array.deletePendingLists > 0) {
        touchSnapshot(array, position);
        Snapshot& going = array.snapshots[position];
        going.state = kSnapshotDeletePending;
        going.pendingLists = array.deletePendingLists;
        return Result::success();
    }
    removeSnapshotAt(array, position);
    return Result::success();
}

Result rollbackSnapshot(Array& array, const std::string& objectId) {
    const Snapshot* target = findSnapshot(array, objectId);
    if (target == nullptr) return Result::refuse(Outcome::NotFound, msg::kNoSnapshot);
    // The file system's snapshots come from its index entry, not a scan of
    // the array's. Removing from the highest position down: a removal moves
    // the last entry into the gap, and that entry is never one still to go.
    std::vector<size_t> positions = snapshotPositionsOf(array, target->fileSystemId);
    std::sort(positions.rbegin(), positions.rend());
    for (size_t position : positions) removeSnapshotAt(array, position);
    return Result::success();
}

}  // namespace arraymodel
