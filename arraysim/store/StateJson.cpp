#include "arraysim/store/StateJson.h"

#include <limits>

#include "arraysim/model/ArraySeed.h"

namespace arraysim {
namespace {

using arraymodel::Array;
using arraymodel::Authentication;
using arraymodel::FileSystem;
using arraymodel::Protocol;
using arraymodel::Share;
using arraymodel::ShareSettings;
using arraymodel::Snapshot;
using arraymodel::VirtualServer;

const char kCifs[] = "CIFS";
const char kNfs[] = "NFS";

bool readBool(const Json& object, const char* key, bool& out) {
    auto it = object.find(key);
    if (it == object.end()) return true;
    if (!it->is_boolean()) return false;
    out = it->get<bool>();
    return true;
}

bool readInt32(const Json& object, const char* key, int32_t& out) {
    auto it = object.find(key);
    if (it == object.end()) return true;
    if (!it->is_number_integer()) return false;
    const int64_t value = it->get<int64_t>();
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    out = static_cast<int32_t>(value);
    return true;
}

bool readTextList(const Json& object, const char* key, std::vector<std::string>& out) {
    auto it = object.find(key);
    if (it == object.end()) return true;
    if (!it->is_array()) return false;
    std::vector<std::string> values;
    for (const Json& item : *it) {
        if (!item.is_string()) return false;
        values.push_back(item.get<std::string>());
    }
    out = values;
    return true;
}

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
    if (!readUnsigned(j, "virtualServerId", s.id, true)) return bad(error, what, "virtualServerId");
    if (!readText(j, "name", s.name, false)) return bad(error, what, "name");
    if (!readText(j, "objectId", s.objectId, false)) return bad(error, what, "objectId");
    if (!readText(j, "UUID", s.uuid, false)) return bad(error, what, "UUID");
    if (!readText(j, "status", s.status, false)) return bad(error, what, "status");
    if (!readText(j, "type", s.type, false)) return bad(error, what, "type");
    if (!readTextList(j, "ipAddresses", s.ipAddresses)) return bad(error, what, "ipAddresses");
    if (!readBool(j, "isEnabled", s.isEnabled)) return bad(error, what, "isEnabled");
    return true;
}

bool fileSystemFromJson(const Json& j, FileSystem& f, std::string& error) {
    const char* what = "file system";
    if (!j.is_object()) return bad(error, what, "object");
    if (!readText(j, "label", f.label, true)) return bad(error, what, "label");
    if (!readText(j, "filesystemId", f.id, false)) return bad(error, what, "filesystemId");
    if (!readText(j, "objectId", f.objectId, false)) return bad(error, what, "objectId");
    if (!readText(j, "status", f.status, false)) return bad(error, what, "status");
    if (!readUnsigned(j, "virtualServerId", f.virtualServerId, true)) return bad(error, what, "virtualServerId");
    if (!readUnsigned(j, "capacity", f.capacity, false)) return bad(error, what, "capacity");
    if (!readUnsigned(j, "usedCapacity", f.usedCapacity, false)) return bad(error, what, "usedCapacity");
    if (!readUnsigned(j, "freeCapacity", f.freeCapacity, false)) return bad(error, what, "freeCapacity");
    if (!readUnsigned(j, "usedSnapshotCapacity", f.usedSnapshotCapacity, false)) {
        return bad(error, what, "usedSnapshotCapacity");
    }
    return true;
}

// The file system of a seeded share or snapshot: "filesystemId", else "filesystem" (label).
bool fileSystemRefFromJson(const Json& j, std::string& ref) {
    if (!readText(j, "filesystemId", ref, false)) return false;
    if (ref.empty() && !readText(j, "filesystem", ref, false)) return false;
    return !ref.empty();
}

bool shareFromJson(const Json& j, Share& s, std::string& error) {
    const char* what = "share";
    if (!j.is_object()) return bad(error, what, "object");
    std::string protocol;
    if (!readText(j, "protocol", protocol, true) || (protocol != kCifs && protocol != kNfs)) {
        return bad(error, what, "protocol");
    }
    s.protocol = protocol == kCifs ? Protocol::Cifs : Protocol::Nfs;
    if (!readText(j, "name", s.name, true)) return bad(error, what, "name");
    if (!readUnsigned(j, "virtualServerId", s.virtualServerId, true)) return bad(error, what, "virtualServerId");
    if (!fileSystemRefFromJson(j, s.fileSystemId)) return bad(error, what, "filesystem");
    if (!readText(j, "path", s.path, true)) return bad(error, what, "path");
    if (!readText(j, "objectId", s.objectId, false)) return bad(error, what, "objectId");
    if (!readText(j, "shareId", s.shareId, false)) return bad(error, what, "shareId");
    if (const Json* settings = member(j, "settings")) {
        if (!settings->is_object()) return bad(error, what, "settings");
        std::string settingsError;
        if (!settingsFromJson(*settings, s.settings, settingsError)) return bad(error, what, settingsError.c_str());
    }
    if (const Json* entries = member(j, "authentications")) {
        if (!entries->is_array()) return bad(error, what, "authentications");
        for (const Json& e : *entries) {
            Authentication a;
            if (!e.is_object() || !readText(e, "name", a.name, true) || !readInt32(e, "permission", a.permission) ||
                !readText(e, "type", a.type, false)) {
                return bad(error, what, "authentications");
            }
            s.authentications.push_back(a);
        }
    }
    return true;
}

bool snapshotFromJson(const Json& j, Snapshot& s, std::string& error) {
    const char* what = "snapshot";
    if (!j.is_object()) return bad(error, what, "object");
    if (!fileSystemRefFromJson(j, s.fileSystemId)) return bad(error, what, "filesystem");
    if (!readText(j, "displayName", s.displayName, true)) return bad(error, what, "displayName");
    if (!readText(j, "appSearchId", s.appSearchId, false)) return bad(error, what, "appSearchId");
    if (!readText(j, "state", s.state, false)) return bad(error, what, "state");
    if (!readText(j, "creationReason", s.creationReason, false)) return bad(error, what, "creationReason");
    if (!readUnsigned(j, "creationTime", s.creationTime, false)) return bad(error, what, "creationTime");
    if (!readUnsigned(j, "sequence", s.sequence, false)) return bad(error, what, "sequence");
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
    if (!readText(j, "name", array.name, true)) return bad(error, "array", "name");
    if (!readText(j, "user", array.user, true)) return bad(error, "array", "user");
    if (!readText(j, "password", array.password, true)) return bad(error, "array", "password");
    if (!readUnsigned(j, "nextSerial", array.nextSerial, false)) return bad(error, "array", "nextSerial");
    const std::string where = "array " + array.name + ": ";
    const bool ok =
        readEach<VirtualServer>(j, "virtualServers", virtualServerFromJson,
                                [&](VirtualServer& v) { return arraymodel::addVirtualServer(array, v); }, error) &&
        readEach<FileSystem>(j, "filesystems", fileSystemFromJson,
                             [&](FileSystem& f) { return arraymodel::addFileSystem(array, f); }, error) &&
        readEach<Share>(j, "shares", shareFromJson,
                        [&](Share& s) { return arraymodel::addShare(array, s); }, error) &&
        readEach<Snapshot>(j, "snapshots", snapshotFromJson,
                           [&](Snapshot& s) { return arraymodel::addSnapshot(array, s, now); }, error);
    if (!ok) error = where + error;
    return ok;
}

}  // namespace

bool readText(const Json& object, const char* key, std::string& out, bool required) {
    auto it = object.find(key);
    if (it == object.end()) return !required;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

bool readUnsigned(const Json& object, const char* key, uint64_t& out, bool required) {
    auto it = object.find(key);
    if (it == object.end()) return !required;
    if (it->is_number_unsigned()) {
        out = it->get<uint64_t>();
        return true;
    }
    if (!it->is_string()) return false;
    const std::string text = it->get<std::string>();
    if (text.empty() || text.size() > 19) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    out = value;
    return true;
}

Json settingsToJson(const ShareSettings& s) {
    return Json{{"accessConfig", s.accessConfig},
                {"comment", s.comment},
                {"cacheOption", s.cacheOption},
                {"snapshotOption", s.snapshotOption},
                {"transferToReplicationTargetSetting", s.transferToReplicationTarget},
                {"userHomeDirectoryMode", s.userHomeDirectoryMode},
                {"userHomeDirectoryPath", s.userHomeDirectoryPath},
                {"maxConcurrentUsers", s.maxConcurrentUsers},
                {"isScanForVirusesEnabled", s.scanForVirusesEnabled},
                {"isFollowSymbolicLinks", s.followSymLinks},
                {"isFollowGlobalSymbolicLinks", s.followGlobalSymLinks},
                {"isForceFileNameToLowercase", s.forceFileNameToLowercase},
                {"isABEEnabled", s.abeEnabled},
                {"localReadCacheOption", s.localReadCacheOption}};
}

bool settingsFromJson(const Json& j, ShareSettings& s, std::string& error) {
    struct TextKey {
        const char* key;
        std::string* field;
    } texts[] = {
        {"accessConfig", &s.accessConfig},
        {"comment", &s.comment},
        {"cacheOption", &s.cacheOption},
        {"snapshotOption", &s.snapshotOption},
        {"transferToReplicationTargetSetting", &s.transferToReplicationTarget},
        {"userHomeDirectoryMode", &s.userHomeDirectoryMode},
        {"userHomeDirectoryPath", &s.userHomeDirectoryPath},
        {"localReadCacheOption", &s.localReadCacheOption},
    };
    struct FlagKey {
        const char* key;
        bool* field;
    } flags[] = {
        {"isScanForVirusesEnabled", &s.scanForVirusesEnabled},
        {"isFollowSymbolicLinks", &s.followSymLinks},
        {"isFollowGlobalSymbolicLinks", &s.followGlobalSymLinks},
        {"isForceFileNameToLowercase", &s.forceFileNameToLowercase},
        {"isABEEnabled", &s.abeEnabled},
    };
    if (!j.is_object()) {
        error = "settings";
        return false;
    }
    for (const TextKey& t : texts) {
        if (!readText(j, t.key, *t.field, false)) {
            error = t.key;
            return false;
        }
    }
    for (const FlagKey& f : flags) {
        if (!readBool(j, f.key, *f.field)) {
            error = f.key;
            return false;
        }
    }
    if (!readInt32(j, "maxConcurrentUsers", s.maxConcurrentUsers)) {
        error = "maxConcurrentUsers";
        return false;
    }
    return true;
}

Json virtualServerToJson(const VirtualServer& s) {
    return Json{{"virtualServerId", s.id}, {"name", s.name},     {"objectId", s.objectId},
                {"UUID", s.uuid},          {"ipAddresses", s.ipAddresses}, {"isEnabled", s.isEnabled},
                {"status", s.status},      {"type", s.type}};
}

Json fileSystemToJson(const FileSystem& f) {
    return Json{{"filesystemId", f.id},
                {"label", f.label},
                {"objectId", f.objectId},
                {"status", f.status},
                {"virtualServerId", f.virtualServerId},
                {"capacity", f.capacity},
                {"usedCapacity", f.usedCapacity},
                {"freeCapacity", f.freeCapacity},
                {"usedSnapshotCapacity", f.usedSnapshotCapacity}};
}

Json shareToJson(const Share& s) {
    return Json{{"objectId", s.objectId},
                {"shareId", s.shareId},
                {"name", s.name},
                {"virtualServerId", s.virtualServerId},
                {"filesystemId", s.fileSystemId},
                {"path", s.path},
                {"settings", settingsToJson(s.settings)}};
}

Json authenticationToJson(const Authentication& a) {
    return Json{{"encodedName", a.encodedName}, {"name", a.name}, {"permission", a.permission}, {"type", a.type}};
}

Json snapshotToJson(const Snapshot& s) {
    return Json{{"objectId", s.objectId},
                {"displayName", s.displayName},
                {"appSearchId", s.appSearchId},
                {"filesystemId", s.fileSystemId},
                {"creationTime", s.creationTime},
                {"state", s.state},
                {"creationReason", s.creationReason}};
}

Json arrayToJson(const Array& array) {
    Json servers = Json::array(), fileSystems = Json::array(), shares = Json::array(),
         snapshots = Json::array();
    for (const VirtualServer& v : array.virtualServers) servers.push_back(virtualServerToJson(v));
    for (const FileSystem& f : array.fileSystems) fileSystems.push_back(fileSystemToJson(f));
    for (const Share& s : array.shares) {
        Json j = shareToJson(s);
        j["protocol"] = s.protocol == Protocol::Cifs ? kCifs : kNfs;
        Json entries = Json::array();
        for (const Authentication& a : s.authentications) entries.push_back(authenticationToJson(a));
        j["authentications"] = entries;
        shares.push_back(j);
    }
    for (const Snapshot& s : array.snapshots) {
        Json j = snapshotToJson(s);
        j["sequence"] = s.sequence;
        snapshots.push_back(j);
    }
    return Json{{"name", array.name},
                {"user", array.user},
                {"password", array.password},
                {"nextSerial", array.nextSerial},
                {"virtualServers", servers},
                {"filesystems", fileSystems},
                {"shares", shares},
                {"snapshots", snapshots}};
}

Json stateToJson(const arraymodel::State& state) {
    Json arrays = Json::array();
    for (const Array& a : state.arrays) arrays.push_back(arrayToJson(a));
    return Json{{"arrays", arrays}};
}

bool arraysFromJson(const Json& seed, uint64_t now, std::vector<Array>& arrays, std::string& error) {
    const Json* list = seed.is_object() ? member(seed, "arrays") : nullptr;
    if (list == nullptr || !list->is_array()) return bad(error, "seed", "arrays");
    std::vector<Array> built;
    for (const Json& item : *list) {
        Array array;
        if (!arrayFromJson(item, now, array, error)) return false;
        built.push_back(array);
    }
    arrays = built;
    return true;
}

std::string dumpJson(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool parseJson(const std::string& text, Json& value) {
    Json parsed = Json::parse(text, nullptr, false);
    if (parsed.is_discarded()) return false;
    value = parsed;
    return true;
}

}  // namespace arraysim
