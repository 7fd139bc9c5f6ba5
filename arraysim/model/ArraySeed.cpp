#include "arraysim/model/ArraySeed.h"

#include <algorithm>
#include <set>

#include "arraysim/model/ArrayIndex.h"
#include "arraysim/model/ArrayOps.h"
#include "arraysim/model/ModelMessages.h"
#include "arraysim/model/ObjectIds.h"
#include "arraysim/model/SnapshotPaths.h"

namespace arraymodel {
namespace {

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// The file system `ref` names by ID, object ID or label.
const FileSystem* fileSystemByAnyName(const Array& array, const std::string& ref) {
    const FileSystem* fs = findFileSystem(array, ref);
    return fs != nullptr ? fs : findFileSystemByLabel(array, ref);
}

}  // namespace

Result addVirtualServer(Array& array, VirtualServer& server) {
    if (server.id == 0) return Result::refuse(Outcome::BadRequest, msg::kBadServerId);
    if (hasControlCharacter(server.name)) return Result::refuse(Outcome::BadRequest, msg::kControlInName);
    if (findVirtualServer(array, std::to_string(server.id)) != nullptr) {
        return Result::refuse(Outcome::BadRequest, msg::kServerTaken);
    }
    if (server.objectId.empty()) server.objectId = virtualServerObjectId(server.id);
    if (server.uuid.empty()) server.uuid = mintUuid(array.name, array.nextSerial++);
    array.virtualServers.push_back(server);
    return Result::success();
}

Result addFileSystem(Array& array, FileSystem& fileSystem) {
    if (fileSystem.label.empty()) return Result::refuse(Outcome::BadRequest, msg::kEmptyLabel);
    if (hasControlCharacter(fileSystem.label)) return Result::refuse(Outcome::BadRequest, msg::kControlInName);
    if (findFileSystemByLabel(array, fileSystem.label) != nullptr) {
        return Result::refuse(Outcome::BadRequest, msg::kLabelTaken);
    }
    if (findVirtualServer(array, std::to_string(fileSystem.virtualServerId)) == nullptr) {
        return Result::refuse(Outcome::BadRequest, msg::kNoServer);
    }
    if (fileSystem.id.empty()) {
        do {
            fileSystem.id = mintFileSystemId(array.name, array.nextSerial++);
        } while (findFileSystem(array, fileSystem.id) != nullptr);
    } else if (!isFileSystemIdForm(fileSystem.id)) {
        return Result::refuse(Outcome::BadRequest, msg::kBadFileSystemId);
    } else {
        fileSystem.id = upper(fileSystem.id);
        if (findFileSystem(array, fileSystem.id) != nullptr) {
            return Result::refuse(Outcome::BadRequest, msg::kFileSystemIdTaken);
        }
    }
    if (fileSystem.objectId.empty()) fileSystem.objectId = fileSystemObjectId(fileSystem.id);
    // Seeded directories, in any spelling, become the sorted list of each
    // one and its parents.
    std::vector<std::string> seeded;
    seeded.swap(fileSystem.directories);
    for (const std::string& path : seeded) {
        std::string snapshotName;
        if (!wellFormedSharePath(path) || snapshotNameInPath(path, snapshotName)) {
            return Result::refuse(Outcome::BadRequest, msg::kBadSharePath);
        }
    }
    appendFileSystem(array, fileSystem);
    FileSystem& added = array.fileSystems.back();
    for (const std::string& path : seeded) recordDirectory(array, added, directoryOf(path));
    return Result::success();
}

Result addShare(Array& array, Share& share) {
    const Result nameCheck = checkShareName(share.protocol, share.name);
    if (!nameCheck.ok()) return nameCheck;
    if (share.protocol == Protocol::Nfs) share.name = exportName(share.name);
    if (findVirtualServer(array, std::to_string(share.virtualServerId)) == nullptr) {
        return Result::refuse(Outcome::BadRequest, msg::kNoServer);
    }
    const FileSystem* fs = fileSystemByAnyName(array, share.fileSystemId);
    if (fs == nullptr) return Result::refuse(Outcome::BadRequest, msg::kNoFileSystem);
    if (findShareByName(array, share.protocol, share.virtualServerId, share.name) != nullptr) {
        return Result::refuse(Outcome::BadRequest, msg::kShareExists);
    }
    share.fileSystemId = fs->id;
    if (share.shareId.empty()) share.shareId = mintUuid(array.name, array.nextSerial++);
    if (share.objectId.empty()) share.objectId = shareObjectId(share.virtualServerId, share.shareId);
    if (share.protocol == Protocol::Nfs) share.authentications.clear();
    for (const Authentication& entry : share.authentications) {
        if (hasControlCharacter(entry.name) || hasControlCharacter(entry.type)) {
            return Result::refuse(Outcome::BadRequest, msg::kControlInName);
        }
    }
    for (Authentication& entry : share.authentications) {
        entry.name = normalisedPrincipal(entry.name);
        entry.type = normalisedPrincipalType(entry.name, entry.type);
        entry.encodedName = hexEncode(entry.name);
    }
    appendShare(array, share);
    // A seeded share's directory exists, and so do its parents.
    std::string snapshotName;
    if (wellFormedSharePath(share.path) && !snapshotNameInPath(share.path, snapshotName)) {
        recordDirectory(array, array.fileSystems[static_cast<size_t>(fs - array.fileSystems.data())],
                        directoryOf(share.path));
    }
    return Result::success();
}

Result addSnapshot(Array& array, Snapshot& snapshot, uint64_t now) {
    const FileSystem* fs = fileSystemByAnyName(array, snapshot.fileSystemId);
    if (fs == nullptr) return Result::refuse(Outcome::BadRequest, msg::kNoFileSystem);
    const Result nameCheck = checkSnapshotName(snapshot.displayName);
    if (!nameCheck.ok()) return nameCheck;
    if (hasControlCharacter(snapshot.appSearchId)) return Result::refuse(Outcome::BadRequest, msg::kControlInName);
    if (findSnapshotByName(array, fs->id, snapshot.displayName) != nullptr) {
        return Result::refuse(Outcome::BadRequest, msg::kSnapshotExists);
    }
    snapshot.fileSystemId = fs->id;
    if (snapshot.creationTime == 0) snapshot.creationTime = now;
    if (snapshot.sequence == 0) snapshot.sequence = lastSequence(array) + 1;
    // A saved state keeps the IDs it was minted with (older states hold an
    // older form); only a snapshot without one gets a new ID.
    if (snapshot.objectId.empty()) snapshot.objectId = snapshotObjectId(snapshot.fileSystemId, snapshot.displayName);
    appendSnapshot(array, snapshot);
    return Result::success();
}

Array* arrayForUser(State& state, const std::string& user) {
    for (Array& array : state.arrays) {
        if (array.user == user) return &array;
    }
    return nullptr;
}

Result authenticate(State& state, const std::string& user, const std::string& password,
                    Array*& array) {
    Array* found = user.empty() ? nullptr : arrayForUser(state, user);
    if (found == nullptr || found->password != password) {
        return Result::refuse(Outcome::Unauthorized, msg::kBadLogin);
    }
    array = found;
    return Result::success();
}

Result authenticateKey(State& state, const std::string& key, Array*& array, bool& readOnly) {
    if (!key.empty()) {
        for (Array& candidate : state.arrays) {
            for (const ApiKey& k : candidate.apiKeys) {
                if (k.key == key) {
                    array = &candidate;
                    readOnly = k.readOnly;
                    return Result::success();
                }
            }
        }
    }
    return Result::refuse(Outcome::Unauthorized, msg::kBadApiKey);
}

Result replaceArrays(State& state, const std::vector<Array>& arrays) {
    std::set<std::string> names;
    for (const Array& array : arrays) {
        if (array.name.empty()) return Result::refuse(Outcome::BadRequest, msg::kEmptyArrayName);
        if (array.user.empty()) return Result::refuse(Outcome::BadRequest, msg::kEmptyUser);
        // An empty password would let in requests that send none.
        if (array.password.empty()) return Result::refuse(Outcome::BadRequest, msg::kEmptyPassword);
        if (hasControlCharacter(array.name) || hasControlCharacter(array.user)) {
            return Result::refuse(Outcome::BadRequest, msg::kControlInName);
        }
        if (!names.insert(array.name).second) return Result::refuse(Outcome::BadRequest, msg::kNameTwice);
    }
    State next = state;
    for (const Array& array : arrays) {
        auto same = std::find_if(next.arrays.begin(), next.arrays.end(),
                                 [&](const Array& a) { return a.name == array.name; });
        if (same != next.arrays.end()) {
            *same = array;
        } else {
            next.arrays.push_back(array);
        }
    }
    std::set<std::string> users, keys;
    for (const Array& array : next.arrays) {
        if (!users.insert(array.user).second) return Result::refuse(Outcome::BadRequest, msg::kUserTaken);
        for (const ApiKey& k : array.apiKeys) {
            if (k.key.empty() || hasControlCharacter(k.key)) return Result::refuse(Outcome::BadRequest, msg::kEmptyApiKey);
            if (!keys.insert(k.key).second) return Result::refuse(Outcome::BadRequest, msg::kApiKeyTaken);
        }
    }
    state = next;
    return Result::success();
}

}  // namespace arraymodel
