#include "arraysim/server/StateJson.h"

#include "arraysim/model/ArraySeed.h"
#include "arraysim/server/JsonKeys.h"
#include "arraysim/server/WireJson.h"

namespace arraysim {
namespace {

// Most list calls a deleted snapshot may stay listed for.
constexpr uint64_t kMaxPendingLists = 1000000;

using arraymodel::Array;
using arraymodel::Authentication;
using arraymodel::FileSystem;
using arraymodel::Protocol;
using arraymodel::Share;
using arraymodel::Snapshot;
using arraymodel::VirtualServer;

// Sets `error` to "<what>: bad or missing <key>" and returns false.
bool bad(std::string& error, const std::string& what, const char* key) {
    error = what + ": bad or missing " + key;
    return false;
}

const Json* member(const Json& object, const char* key) {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

bool virtualServerFromJson(const Json& j, VirtualServer& s, std::string& error) {
    const char* what = "virtual server";
    if (!j.is_object()) return bad(error, what, "object");
    if (!readUnsigned(j, key::kVirtualServerId, s.id, true)) return bad(error, what, key::kVirtualServerId);
    if (!readText(j, key::kName, s.name, false)) return bad(error, what, key::kName);
    if (!readText(j, key::kObjectId, s.objectId, false)) return bad(error, what, key::kObjectId);
    if (!readText(j, key::kUuid, s.uuid, false)) return bad(error, what, key::kUuid);
    if (!readText(j, key::kStatus, s.status, false)) return bad(error, what, key::kStatus);
    if (!readText(j, key::kType, s.type, false)) return bad(error, what, key::kType);
    if (!readTextList(j, key::kIpAddresses, s.ipAddresses)) return bad(error, what, key::kIpAddresses);
    if (!readBool(j, key::kIsEnabled, s.isEnabled)) return bad(error, what, key::kIsEnabled);
    return true;
}

bool fileSystemFromJson(const Json& j, FileSystem& f, std::string& error) {
    const char* what = "file system";
    if (!j.is_object()) return bad(error, what, "object");
    if (!readText(j, key::kLabel, f.label, true)) return bad(error, what, key::kLabel);
    if (!readText(j, key::kFilesystemId, f.id, false)) return bad(error, what, key::kFilesystemId);
    if (!readText(j, key::kObjectId, f.objectId, false)) return bad(error, what, key::kObjectId);
    if (!readText(j, key::kStatus, f.status, false)) return bad(error, what, key::kStatus);
    if (!readUnsigned(j, key::kVirtualServerId, f.virtualServerId, true)) return bad(error, what, key::kVirtualServerId);
    if (!readUnsigned(j, key::kCapacity, f.capacity, false)) return bad(error, what, key::kCapacity);
    if (!readUnsigned(j, key::kUsedCapacity, f.usedCapacity, false)) return bad(error, what, key::kUsedCapacity);
    if (!readUnsigned(j, key::kFreeCapacity, f.freeCapacity, false)) return bad(error, what, key::kFreeCapacity);
    if (!readUnsigned(j, key::kUsedSnapshotCapacity, f.usedSnapshotCapacity, false)) {
        return bad(error, what, key::kUsedSnapshotCapacity);
    }
    if (!readUnsigned(j, key::kRetentionSeconds, f.retentionSeconds, false)) {
        return bad(error, what, key::kRetentionSeconds);
    }
    if (!readTextList(j, key::kDirectories, f.directories)) return bad(error, what, key::kDirectories);
    return true;
}

// The file system of a seeded share or snapshot: key::kFilesystemId, else key::kFilesystem (label).
bool fileSystemRefFromJson(const Json& j, std::string& ref) {
    if (!readText(j, key::kFilesystemId, ref, false)) return false;
    if (ref.empty() && !readText(j, key::kFilesystem, ref, false)) return false;
    return !ref.empty();
}

bool shareFromJson(const Json& j, Share& s, std::string& error) {
    const char* what = "share";
    if (!j.is_object()) return bad(error, what, "object");
    std::string protocol;
    if (!readText(j, key::kProtocol, protocol, true) || (protocol != arraymodel::kCifsWord && protocol != arraymodel::kNfsWord)) {
        return bad(error, what, key::kProtocol);
    }
    s.protocol = protocol == arraymodel::kCifsWord ? Protocol::Cifs : Protocol::Nfs;
    if (!readText(j, key::kName, s.name, true)) return bad(error, what, key::kName);
    if (!readUnsigned(j, key::kVirtualServerId, s.virtualServerId, true)) return bad(error, what, key::kVirtualServerId);
    if (!fileSystemRefFromJson(j, s.fileSystemId)) return bad(error, what, key::kFilesystem);
    if (!readText(j, key::kPath, s.path, true)) return bad(error, what, key::kPath);
    if (!readText(j, key::kObjectId, s.objectId, false)) return bad(error, what, key::kObjectId);
    if (!readText(j, key::kShareId, s.shareId, false)) return bad(error, what, key::kShareId);
    if (const Json* settings = member(j, key::kSettings)) {
        if (!settings->is_object()) return bad(error, what, key::kSettings);
        std::string settingsError;
        if (!settingsFromJson(*settings, s.settings, settingsError)) return bad(error, what, settingsError.c_str());
    }
    if (const Json* entries = member(j, key::kAuthentications)) {
        if (!entries->is_array()) return bad(error, what, key::kAuthentications);
        for (const Json& e : *entries) {
            Authentication a;
            if (!e.is_object() || !readText(e, key::kName, a.name, true) || !readInt32(e, key::kPermission, a.permission) ||
                !readText(e, key::kType, a.type, false)) {
                return bad(error, what, key::kAuthentications);
            }
            s.authentications.push_back(a);
        }
    }
    return true;
}

bool snapshotFromJson(const Json& j, Snapshot& s, std::string& error) {
    const char* what = "snapshot";
    if (!j.is_object()) return bad(error, what, "object");
    if (!fileSystemRefFromJson(j, s.fileSystemId)) return bad(error, what, key::kFilesystem);
    if (!readText(j, key::kDisplayName, s.displayName, true)) return bad(error, what, key::kDisplayName);
    if (!readText(j, key::kObjectId, s.objectId, false)) return bad(error, what, key::kObjectId);
    if (!readText(j, key::kAppSearchId, s.appSearchId, false)) return bad(error, what, key::kAppSearchId);
    if (!readText(j, key::kState, s.state, false)) return bad(error, what, key::kState);
    if (!readText(j, key::kCreationReason, s.creationReason, false)) return bad(error, what, key::kCreationReason);
    if (!readUnsigned(j, key::kCreationTime, s.creationTime, false)) return bad(error, what, key::kCreationTime);
    if (!readUnsigned(j, key::kSequence, s.sequence, false)) return bad(error, what, key::kSequence);
    if (!readUnsigned(j, key::kPendingLists, s.pendingLists, false) || s.pendingLists > kMaxPendingLists) {
        return bad(error, what, key::kPendingLists);
    }
    if (!readUnsigned(j, key::kRetainedUntil, s.retainedUntil, false)) return bad(error, what, key::kRetainedUntil);
    if (!readBool(j, key::kDeleteWhenExpired, s.deleteWhenExpired)) return bad(error, what, key::kDeleteWhenExpired);
    return true;
}

// Reads the list `key` of `j` with `read`, adding each item with `add`.
template <typename T, typename Read, typename Add>
bool readEach(const Json& j, const char* key, Read read, Add add, std::string& error) {
    const Json* list = member(j, key);
    if (list == nullptr) return true;
    if (!list->is_array()) return bad(error, "array", key);
    for (const Json& item : *list) {
        T value;
        if (!read(item, value, error)) return false;
        const arraymodel::Result r = add(value);
        if (!r.ok()) {
            error = std::string(key) + ": " + r.message;
            return false;
        }
    }
    return true;
}

bool arrayFromJson(const Json& j, uint64_t now, Array& array, std::string& error) {
    if (!j.is_object()) return bad(error, "array", "object");
    if (!readText(j, key::kName, array.name, true)) return bad(error, "array", key::kName);
    if (!readText(j, key::kUser, array.user, true)) return bad(error, "array", key::kUser);
    if (!readText(j, key::kPassword, array.password, true)) return bad(error, "array", key::kPassword);
    if (!readUnsigned(j, key::kNextSerial, array.nextSerial, false)) return bad(error, "array", key::kNextSerial);
    if (const Json* keys = member(j, key::kApiKeys)) {
        if (!keys->is_array()) return bad(error, "array", key::kApiKeys);
        for (const Json& k : *keys) {
            arraymodel::ApiKey entry;
            if (!k.is_object() || !readText(k, key::kKey, entry.key, true)) return bad(error, "array", key::kApiKeys);
            const auto readOnly = k.find(key::kReadOnly);
            if (readOnly != k.end()) {
                if (!readOnly->is_boolean()) return bad(error, "array", key::kApiKeys);
                entry.readOnly = readOnly->get<bool>();
            }
            array.apiKeys.push_back(entry);
        }
    }
    if (!readUnsigned(j, key::kDeletePendingLists, array.deletePendingLists, false) ||
        array.deletePendingLists > kMaxPendingLists) {
        return bad(error, "array", key::kDeletePendingLists);
    }
    const std::string where = "array " + array.name + ": ";
    const bool ok =
        readEach<VirtualServer>(j, key::kVirtualServers, virtualServerFromJson,
                                [&](VirtualServer& v) { return arraymodel::addVirtualServer(array, v); }, error) &&
        readEach<FileSystem>(j, key::kFilesystems, fileSystemFromJson,
                             [&](FileSystem& f) { return arraymodel::addFileSystem(array, f); }, error) &&
        readEach<Share>(j, key::kShares, shareFromJson,
                        [&](Share& s) { return arraymodel::addShare(array, s); }, error) &&
        readEach<Snapshot>(j, key::kSnapshots, snapshotFromJson,
                           [&](Snapshot& s) { return arraymodel::addSnapshot(array, s, now); }, error);
    if (!ok) error = where + error;
    return ok;
}

}  // namespace

Json arrayToJson(const Array& array) {
    Json servers = Json::array(), fileSystems = Json::array(), shares = Json::array(),
         snapshots = Json::array();
    for (const VirtualServer& v : array.virtualServers) servers.push_back(virtualServerToJson(v));
    for (const FileSystem& f : array.fileSystems) {
        Json j = fileSystemToJson(f);
        // The state, never the storage answers, shows what the simulator
        // knows of the file system's directories.
        if (!f.directories.empty()) j[key::kDirectories] = f.directories;
        fileSystems.push_back(j);
    }
    for (const Share& s : array.shares) {
        Json j = shareToJson(s);
        j[key::kProtocol] = s.protocol == Protocol::Cifs ? arraymodel::kCifsWord : arraymodel::kNfsWord;
        Json entries = Json::array();
        for (const Authentication& a : s.authentications) entries.push_back(authenticationToJson(a));
        j[key::kAuthentications] = entries;
        shares.push_back(j);
    }
    for (const Snapshot& s : array.snapshots) {
        // The wire object has no appSearchId; the state keeps it, since the
        // appSearchId filter of the snapshot lists needs it.
        Json j = snapshotToJson(s);
        j[key::kAppSearchId] = s.appSearchId;
        j[key::kSequence] = s.sequence;
        j[key::kPendingLists] = s.pendingLists;
        snapshots.push_back(j);
    }
    Json keys = Json::array();
    for (const arraymodel::ApiKey& k : array.apiKeys) keys.push_back(Json{{key::kKey, k.key}, {key::kReadOnly, k.readOnly}});
    return Json{{key::kName, array.name},
                {key::kUser, array.user},
                {key::kPassword, array.password},
                {key::kApiKeys, keys},
                {key::kNextSerial, array.nextSerial},
                {key::kDeletePendingLists, array.deletePendingLists},
                {key::kVirtualServers, servers},
                {key::kFilesystems, fileSystems},
                {key::kShares, shares},
                {key::kSnapshots, snapshots}};
}

Json stateToJson(const arraymodel::State& state) {
    Json arrays = Json::array();
    for (const Array& a : state.arrays) arrays.push_back(arrayToJson(a));
    return Json{{key::kArrays, arrays}};
}

bool arraysFromJson(const Json& seed, uint64_t now, std::vector<Array>& arrays, std::string& error) {
    const Json* list = seed.is_object() ? member(seed, key::kArrays) : nullptr;
    if (list == nullptr || !list->is_array()) return bad(error, "seed", key::kArrays);
    std::vector<Array> built;
    for (const Json& item : *list) {
        Array array;
        if (!arrayFromJson(item, now, array, error)) return false;
        built.push_back(std::move(array));
    }
    arrays = std::move(built);
    return true;
}

}  // namespace arraysim
