#include "arraysim/server/StorageRoutes.h"

#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "arraysim/model/ArrayOps.h"
#include "arraysim/model/ArraySeed.h"
#include "arraysim/model/ChangeRecord.h"
#include "arraysim/model/ModelMessages.h"
#include "arraysim/server/BoundedBody.h"
#include "arraysim/server/HttpReplies.h"
#include "arraysim/server/JsonKeys.h"
#include "arraysim/server/OperationNames.h"
#include "arraysim/server/WireJson.h"

namespace arraysim {
namespace {

using arraymodel::Array;
using arraymodel::Outcome;
using arraymodel::Protocol;
using arraymodel::Result;

const char kPrefix[] = R"(/v[789]/storage/)";
const char kUserHeader[] = "X-Subsystem-User";
const char kPasswordHeader[] = "X-Subsystem-Password";
const char kApiKeyHeader[] = "X-Api-Key";
const char kNotSaved[] = "state could not be saved";
const char kBadBody[] = "request body is not a JSON object";
const char kNullAppSearchId[] = "null";
const char kMaxAllowedConnections[] = "maxAllowedConnections";
const char kRestAccessType[] = "rest";

// Handles one authenticated request on `array` with its body (empty for a
// GET); returns true when it changed the array (which is then saved before
// the answer goes out). A handler that answers 400 or more may leave changes
// half made: they are undone.
using Handler = std::function<bool(Array& array, const Request& req, const std::string& body, Reply& reply)>;

uint64_t unixNow() { return static_cast<uint64_t>(std::time(nullptr)); }

std::string route(const char* rest) { return std::string(kPrefix) + rest; }

Protocol protocolOf(const std::string& word) { return word == "nfs" ? Protocol::Nfs : Protocol::Cifs; }

// The resource path of a new object, in the API version the request used,
// e.g. "/v7/storage/filesystem-snapshots/<objectId>" for a create answer's "uri".
std::string resourceUri(const Request& req, const std::string& collection, const std::string& objectId) {
    const std::string storage = "/storage/";
    const size_t at = req.path.find(storage);
    const std::string base = at == std::string::npos ? "/v7/storage/" : req.path.substr(0, at + storage.size());
    return base + collection + "/" + objectId;
}

// Sends the refusal and returns false, or returns true for success.
bool answered(const Result& r, Reply& reply) {
    if (r.ok()) return true;
    sendError(reply, statusOf(r.outcome), r.message);
    return false;
}

bool bodyObject(const std::string& text, Reply& reply, Json& body) {
    if (!parseJson(text, body) || !body.is_object()) {
        sendError(reply, 400, kBadBody);
        return false;
    }
    return true;
}

// A Status fault's answer: the JSON error, no body, or the message as plain text.
void sendFaultAnswer(Reply& reply, const FaultDecision& fault) {
    if (fault.retryAfter >= 0) reply.message.set(http::field::retry_after, std::to_string(fault.retryAfter));
    if (fault.status == 204 || fault.body == FaultBody::Empty) {
        reply.setStatus(fault.status);
    } else if (fault.body == FaultBody::Json) {
        sendError(reply, fault.status, fault.message);
    } else {
        sendText(reply, fault.status, fault.message);
    }
}

// Every integer of `value` as a decimal string, booleans left alone.
void quoteNumbers(Json& value) {
    if (value.is_number_integer()) {
        value = value.is_number_unsigned() ? std::to_string(value.get<uint64_t>()) : std::to_string(value.get<int64_t>());
    } else if (value.is_structured()) {
        for (Json& item : value) quoteNumbers(item);
    }
}

// v8 and v9 send numbers as quoted strings (e.g. "virtualServerId":"1").
bool quotesNumbers(const Request& req) { return req.path.rfind("/v8/", 0) == 0 || req.path.rfind("/v9/", 0) == 0; }

// An answer to a request on a path that quotes numbers has every integer quoted.
void quoteForVersion(const Request& req, Reply& reply) {
    std::string& text = reply.message.body();
    if (text.empty() || !quotesNumbers(req)) return;
    Json body;
    if (!parseJson(text, body)) return;
    quoteNumbers(body);
    text = dumpJson(body);
}

uint64_t microsSince(std::chrono::steady_clock::time_point start) {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
}

// Runs the handler on the array the credentials reach, recording what it
// changes: a refused request is put back, a change is saved (and put back
// when it cannot be), all without a copy of the array.
void perform(SimContext& context, Array& array, const Request& req, const std::string& body, Reply& reply,
             const Handler& handler) {
    arraymodel::ChangeRecord changes;
    arraymodel::startRecording(array, changes);
    const bool changed = handler(array, req, body, reply);
    arraymodel::stopRecording(array);
    if (reply.status() >= 400) {
        arraymodel::undoChanges(array, changes);
        return;
    }
    std::string error;
    if (changed && context.store != nullptr && !context.store->saveChanges(array, changes, error)) {
        arraymodel::undoChanges(array, changes);
        sendError(reply, 500, std::string(kNotSaved) + ": " + error);
    }
}

// What a fault's `matching` text is looked for in: the path, each query
// parameter as "name=value&", and the body, e.g.
// "/v7/storage/filesystems?label=fb&\n".
std::string requestText(const Request& req, const std::string& body) {
    std::string text = req.path + "?";
    for (const auto& param : req.params) text += param.first + "=" + param.second + "&";
    return text + "\n" + body;
}

// The array the request's credentials reach, with the context locked; null
// with the refusal in `reply` when they reach none, or when a read-only API
// key asks for a change. An API key, when sent, replaces the user and
// password; `caller` (for the call record) is then the array's user, never
// the key.
Array* logIn(SimContext& context, const Request& req, Reply& reply, std::string& caller) {
    const std::string user = req.header(kUserHeader);
    const std::string apiKey = req.header(kApiKeyHeader);
    Array* array = nullptr;
    bool readOnly = false;
    const Result login =
        apiKey.empty() ? arraymodel::authenticate(context.state, user, req.header(kPasswordHeader), array)
                       : arraymodel::authenticateKey(context.state, apiKey, array, readOnly);
    caller = !apiKey.empty() && array != nullptr ? array->user : user;
    if (!login.ok()) {
        sendError(reply, 401, login.message);
        return nullptr;
    }
    if (readOnly && req.message.method() != http::verb::get) {
        sendError(reply, 403, arraymodel::msg::kReadOnlyApiKey);
        return nullptr;
    }
    return array;
}

void serve(SimContext& context, const char* operation, const Request& req, const std::string& body, Reply& reply,
           const Handler& handler) {
    FaultDecision fault;
    {
        std::lock_guard<std::mutex> lock(context.mutex);
        fault = context.faults.take(operation, requestText(req, body));
    }
    if (fault.latencyMs > 0) context.delay(fault.latencyMs);
    const auto start = std::chrono::steady_clock::now();
    const std::string user = req.header(kUserHeader);
    std::unique_lock<std::mutex> lock(context.mutex);
    if (fault.action == FaultAction::Close) {
        context.calls.add(operation, user, 0, microsSince(start));
        dropConnection(reply);
        return;
    }
    if (fault.action == FaultAction::Status) {
        sendFaultAnswer(reply, fault);
        context.calls.add(operation, user, fault.status, microsSince(start));
        return;
    }
    std::string caller;
    Array* array = logIn(context, req, reply, caller);
    if (array != nullptr) perform(context, *array, req, body, reply, handler);
    if (fault.action == FaultAction::DoneWithoutBody && reply.status() < 400) {
        reply.message.body().clear();
        reply.message.erase(http::field::content_type);
        reply.finish = nullptr;
    }
    if (fault.action == FaultAction::CloseAfter) {
        context.calls.add(operation, caller, 0, microsSince(start));
        dropConnection(reply);
        return;
    }
    context.calls.add(operation, caller, reply.status(), microsSince(start));
    lock.unlock();
    // A list written out later quotes its own numbers.
    if (!reply.finish) quoteForVersion(req, reply);
}

// GET routes read no body; POST and DELETE routes read theirs within the
// simulator's bound.
void add(HttpsServer& server, SimContext& context, http::verb method, const std::string& pattern,
         const char* operation, Handler handler) {
    if (method == http::verb::get) {
        server.route(method, pattern, [&context, operation, handler](const Request& req, Reply& reply) {
            serve(context, operation, req, std::string(), reply, handler);
        });
        return;
    }
    server.route(method, pattern,
                 boundedBody(context.maxBodyBytes, [&context, operation, handler](const Request& req,
                                                                                  const std::string& body,
                                                                                  Reply& reply) {
                     serve(context, operation, req, body, reply, handler);
                 }));
}

// Answers {"<key>": [...]} once the handler has let the model go: each of
// `items` (copies) is turned into JSON and written out in turn, so that a
// long list is neither built as one JSON tree nor written under the lock
// every request waits on. Numbers are quoted as the request's path wants.
template <typename Item>
void sendListLater(const Request& req, Reply& reply, const char* key, std::vector<Item> items,
                   Json (*toJson)(const Item&)) {
    reply.finish = [key, quote = quotesNumbers(req), items = std::move(items), toJson](Reply& r) {
        std::string text = "{" + dumpJson(Json(key)) + ":[";
        for (size_t i = 0; i < items.size(); ++i) {
            Json item = toJson(items[i]);
            if (quote) quoteNumbers(item);
            std::string written = dumpJson(item);
            // Room for the whole list at the first item's size, so that a
            // long text is not grown (and copied) again and again.
            if (i == 0) text.reserve(text.size() + 2 + (written.size() + 1) * items.size() * 9 / 8);
            if (i > 0) text += ',';
            text += written;
        }
        text += "]}";
        sendJsonText(r, 200, std::move(text));
    };
}

bool listVirtualServers(Array& array, const Request& req, const std::string&, Reply& reply) {
    Json list = Json::array();
    for (const arraymodel::VirtualServer& s : array.virtualServers) {
        if (req.hasParam(key::kName) && s.name != req.param(key::kName)) continue;
        if (req.hasParam(key::kVirtualServerId) && std::to_string(s.id) != req.param(key::kVirtualServerId)) continue;
        list.push_back(virtualServerToJson(s));
    }
    sendJson(reply, 200, Json{{key::kVirtualServers, list}});
    return false;
}

bool listShares(Array& array, const Request& req, const std::string&, Reply& reply) {
    const arraymodel::VirtualServer* server = arraymodel::findVirtualServer(array, req.matches[1]);
    if (server == nullptr) return answered(Result::refuse(Outcome::NotFound, arraymodel::msg::kNoServer), reply);
    const Protocol protocol = protocolOf(req.matches[2]);
    std::vector<arraymodel::Share> list;
    if (req.hasParam(key::kName)) {
        const arraymodel::Share* share =
            arraymodel::findShareByName(array, protocol, server->id, req.param(key::kName));
        if (share != nullptr) list.push_back(*share);
    } else {
        for (const arraymodel::Share& s : array.shares) {
            if (s.protocol == protocol && s.virtualServerId == server->id) list.push_back(s);
        }
    }
    sendListLater(req, reply, key::kFilesystemShares, std::move(list), shareToJson);
    return false;
}

bool listFileSystems(Array& array, const Request& req, const std::string&, Reply& reply) {
    std::vector<arraymodel::FileSystem> list;
    auto wanted = [&req](const arraymodel::FileSystem& f) {
        return !req.hasParam(key::kVirtualServerId) ||
               std::to_string(f.virtualServerId) == req.param(key::kVirtualServerId);
    };
    if (req.hasParam(key::kLabel)) {
        // Labels are unique in an array: the index answers.
        const arraymodel::FileSystem* f = arraymodel::findFileSystemByLabel(array, req.param(key::kLabel));
        if (f != nullptr && wanted(*f)) list.push_back(*f);
    } else {
        for (const arraymodel::FileSystem& f : array.fileSystems) {
            if (wanted(f)) list.push_back(f);
        }
    }
    sendListLater(req, reply, key::kFilesystems, std::move(list), fileSystemToJson);
    return false;
}

bool getFileSystem(Array& array, const Request& req, const std::string&, Reply& reply) {
    const arraymodel::FileSystem* fs = arraymodel::findFileSystem(array, req.matches[1]);
    if (fs == nullptr) return answered(Result::refuse(Outcome::NotFound, arraymodel::msg::kNoFileSystem), reply);
    sendJson(reply, 200, Json{{key::kFilesystem, fileSystemToJson(*fs)}});
    return false;
}

// Snapshots of the file system named by matches[1]; `appSearchId` empty = all.
// Counts the lists a deleted snapshot still stays in, which is a change. A
// file system that is not mounted answers the list of all with none, and a
// list filtered by appSearchId with 400, as the two forms differ on an array.
bool listSnapshotsOf(Array& array, const Request& req, Reply& reply, const std::string& appSearchId) {
    const arraymodel::FileSystem* fs = arraymodel::findFileSystem(array, req.matches[1]);
    if (fs == nullptr) return answered(Result::refuse(Outcome::NotFound, arraymodel::msg::kNoFileSystem), reply);
    Json list = Json::array();
    if (fs->status != arraymodel::kMounted) {
        if (!appSearchId.empty()) return answered(Result::refuse(Outcome::BadRequest, arraymodel::msg::kNotMounted), reply);
        sendJson(reply, 200, Json{{key::kSnapshots, list}});
        return false;
    }
    bool changed = false;
    sendListLater(req, reply, key::kSnapshots,
                  arraymodel::listSnapshots(array, fs->id, appSearchId, changed, unixNow()), snapshotToJson);
    return changed;
}

bool listAuthentications(Array& array, const Request& req, const std::string&, Reply& reply) {
    const arraymodel::Share* share = arraymodel::findShareByObjectId(array, Protocol::Cifs, req.matches[1]);
    if (share == nullptr) return answered(Result::refuse(Outcome::NotFound, arraymodel::msg::kNoShare), reply);
    Json list = Json::array();
    for (const arraymodel::Authentication& a : share->authentications) list.push_back(authenticationToJson(a));
    sendJson(reply, 200, Json{{key::kCifsAuthentications, list}});
    return false;
}

// Adds every entry of the body, or none of them.
bool addAuthentications(Array& array, const Request& req, const std::string& text, Reply& reply) {
    Json body;
    if (!bodyObject(text, reply, body)) return false;
    auto entries = body.find(key::kCifsAuthentications);
    if (entries == body.end() || !entries->is_array()) {
        sendError(reply, 400, "cifsAuthentications must be a list");
        return false;
    }
    Json stored = Json::array();
    for (const Json& e : *entries) {
        arraymodel::Authentication entry;
        if (!e.is_object() || !readText(e, key::kName, entry.name, true) || !readText(e, key::kType, entry.type, false)) {
            sendError(reply, 400, "permission entry needs a name");
            return false;
        }
        auto p = e.find(key::kPermission);
        if (p == e.end() || !p->is_number_integer()) {
            sendError(reply, 400, "permission entry needs a numeric permission");
            return false;
        }
        // Out-of-range values become one the model refuses.
        const int64_t value = p->get<int64_t>();
        entry.permission = value < -1 || value > 1000 ? -1 : static_cast<int32_t>(value);
        arraymodel::Authentication kept;
        // A refusal after some entries were added has them undone with the request.
        if (!answered(arraymodel::addAuthentication(array, req.matches[1], entry, kept), reply)) return false;
        stored.push_back(authenticationToJson(kept));
    }
    sendJson(reply, 201, Json{{key::kCifsAuthentications, stored}});
    return true;
}

bool deleteAuthentication(Array& array, const Request& req, const std::string&, Reply& reply) {
    if (!answered(arraymodel::deleteAuthentication(array, req.matches[1], req.matches[2]), reply)) return false;
    reply.setStatus(204);
    return true;
}

// The body's virtualServerId as a reference: a number (1), a decimal text
// ("1") or an object ID.
bool serverRef(const Json& body, std::string& ref) {
    auto it = body.find(key::kVirtualServerId);
    if (it == body.end()) return false;
    if (it->is_number_unsigned()) {
        ref = std::to_string(it->get<uint64_t>());
        return true;
    }
    return readText(body, key::kVirtualServerId, ref, true);
}

// A boolean member of the body, when sent: false with a 400 answer when it
// is not true or false.
bool optionalFlag(const Json& body, const char* key, bool& value, Reply& reply) {
    auto it = body.find(key);
    if (it == body.end()) return true;
    if (!it->is_boolean()) {
        sendError(reply, 400, std::string(key) + " must be true or false");
        return false;
    }
    value = it->get<bool>();
    return true;
}

// POST filesystem-shares/{cifs|nfs}. `options` carries the simulator's start
// options that shape a create: strict snapshot paths, and whether the
// array ignores noDefaultSecurity (a CIFS share then always gets the default
// access entry, as an array that does not know the field would give it).
bool createShare(Array& array, const Request& req, const std::string& text, Reply& reply,
                 const ShareCreateOptions& options) {
    Json body;
    if (!bodyObject(text, reply, body)) return false;
    arraymodel::ShareRequest request;
    request.protocol = protocolOf(req.matches[1]);
    std::string error;
    if (!serverRef(body, request.virtualServer)) request.virtualServer.clear();
    if (request.virtualServer.empty() || !readText(body, key::kName, request.name, true) ||
        !readText(body, key::kFilesystemId, request.fileSystem, true) ||
        !readText(body, key::kFilesystemPath, request.path, true)) {
        sendError(reply, 400, "virtualServerId, name, filesystemId and filesystemPath are required");
        return false;
    }
    auto settings = body.find(key::kSettings);
    if (settings != body.end() && !settingsFromJson(*settings, request.settings, error)) {
        sendError(reply, 400, "bad setting: " + error);
        return false;
    }
    if (!optionalFlag(body, key::kEnsurePathExists, request.ensurePathExists, reply) ||
        !optionalFlag(body, key::kNoDefaultSecurity, request.noDefaultSecurity, reply))
        return false;
    if (options.ignoreNoDefaultSecurity) request.noDefaultSecurity = false;
    request.strictSnapshotPaths = options.strictSnapshotPaths;
    arraymodel::Share created;
    if (!answered(arraymodel::createShare(array, request, created), reply)) return false;
    sendJson(reply, 201, Json{{key::kFilesystemShare, shareToJson(created)},
                            {key::kUri, resourceUri(req, "filesystem-shares/" + req.matches[1].str(), created.objectId)}});
    return true;
}

bool deleteShare(Array& array, const Request& req, const std::string&, Reply& reply) {
    if (!answered(arraymodel::deleteShare(array, protocolOf(req.matches[1]), req.matches[2]), reply)) return false;
    reply.setStatus(204);
    return true;
}

bool createSnapshot(Array& array, const Request& req, const std::string& text, Reply& reply) {
    Json body;
    if (!bodyObject(text, reply, body)) return false;
    std::string fileSystem, displayName, appSearchId;
    if (!readText(body, key::kFilesystemId, fileSystem, true) || !readText(body, key::kDisplayName, displayName, true) ||
        !readText(body, key::kAppSearchId, appSearchId, false)) {
        sendError(reply, 400, "filesystemId and displayName are required");
        return false;
    }
    arraymodel::Snapshot created;
    if (!answered(arraymodel::createSnapshot(array, fileSystem, displayName, appSearchId, unixNow(), created), reply)) {
        return false;
    }
    sendJson(reply, 201, Json{{key::kSnapshot, snapshotToJson(created)},
                            {key::kUri, resourceUri(req, "filesystem-snapshots", created.objectId)}});
    return true;
}

bool getSnapshot(Array& array, const Request& req, const std::string&, Reply& reply) {
    const arraymodel::Snapshot* s = arraymodel::findSnapshot(array, req.matches[1]);
    if (s == nullptr) return answered(Result::refuse(Outcome::NotFound, arraymodel::msg::kNoSnapshot), reply);
    sendJson(reply, 200, Json{{key::kSnapshot, snapshotToJson(*s)}});
    return false;
}

bool deleteSnapshot(Array& array, const Request& req, const std::string&, Reply& reply) {
    if (!answered(arraymodel::deleteSnapshot(array, req.matches[1], unixNow()), reply)) return false;
    reply.setStatus(204);
    return true;
}

bool rollbackSnapshot(Array& array, const Request& req, const std::string&, Reply& reply) {
    if (!answered(arraymodel::rollbackSnapshot(array, req.matches[1]), reply)) return false;
    reply.setStatus(204);
    return true;
}

// The object the v8 reference's PATCH of file-devices/management-access/rest
// carries, as GET answers it: {"accessConfig":{...}}.
Json restAccessJson(const SimContext& c) {
    return Json{{key::kAccessConfig,
                 {{kMaxAllowedConnections, c.maxAllowedConnections},
                  {"maxSupportedConnections", c.maxSupportedConnections},
                  {"type", kRestAccessType},
                  {"restrictHosts", Json::array()}}}};
}

// PATCH file-devices/management-access/rest with {"accessConfig":
// {"maxAllowedConnections": N, ...}}: sets the limit GET reports, 1 up to
// maxSupportedConnections; a `type` other than "rest" is refused, the other
// members are ignored. Answers 200 with the object as GET does (ours: no
// public source shows the answer).
void setRestAccess(SimContext& c, const std::string& text, Reply& reply) {
    Json body;
    if (!bodyObject(text, reply, body)) return;
    const auto access = body.find(key::kAccessConfig);
    if (access == body.end() || !access->is_object()) {
        sendError(reply, 400, "accessConfig is required");
        return;
    }
    std::string type;
    if (!readText(*access, "type", type, false) || (!type.empty() && type != kRestAccessType)) {
        sendError(reply, 400, "accessConfig type must be rest");
        return;
    }
    uint64_t allowed = 0;
    if (!readUnsigned(*access, kMaxAllowedConnections, allowed, true) || allowed < 1 ||
        allowed > static_cast<uint64_t>(c.maxSupportedConnections)) {
        sendError(reply, 400, "maxAllowedConnections must be from 1 to " + std::to_string(c.maxSupportedConnections));
        return;
    }
    c.maxAllowedConnections = static_cast<int>(allowed);
    sendJson(reply, 200, restAccessJson(c));
}

// GET file-devices/management-access/rest: the connections the array allows.
bool getRestAccess(SimContext& c, Array&, const Request&, const std::string&, Reply& reply) {
    sendJson(reply, 200, restAccessJson(c));
    return false;
}

bool patchRestAccess(SimContext& c, Array&, const Request&, const std::string& body, Reply& reply) {
    setRestAccess(c, body, reply);
    return false;
}

bool createShareAsStarted(SimContext& c, Array& a, const Request& req, const std::string& body, Reply& reply) {
    return createShare(a, req, body, reply, c.shareCreate);
}

bool listAllSnapshots(SimContext&, Array& a, const Request& req, const std::string&, Reply& reply) {
    return listSnapshotsOf(a, req, reply, "");
}

bool listSnapshotsByAppSearchId(SimContext&, Array& a, const Request& req, const std::string&, Reply& reply) {
    const std::string appSearchId = req.matches[2];
    return listSnapshotsOf(a, req, reply, appSearchId == kNullAppSearchId ? "" : appSearchId);
}

using RouteHandler = bool (*)(SimContext&, Array&, const Request&, const std::string&, Reply&);

// A handler that needs nothing of the simulator but the array.
template <bool (*handler)(Array&, const Request&, const std::string&, Reply&)>
bool arrayOnly(SimContext&, Array& array, const Request& req, const std::string& body, Reply& reply) {
    return handler(array, req, body, reply);
}

// One storage route: the method, the path after the version's prefix (a
// pattern), the operation's name as faults and the call record use it (two
// routes may share one), and the handler.
struct StorageRoute {
    http::verb method;
    const char* path;
    const char* operation;
    RouteHandler handler;
};

// Every storage route, in the order they are matched: the one list of the
// simulator's operations.
const StorageRoute kStorageRoutes[] = {
    {http::verb::get, "virtual-servers", "listVirtualServers", arrayOnly<listVirtualServers>},
    {http::verb::get, "file-devices/management-access/rest", "getRestAccess", getRestAccess},
    {http::verb::patch, "file-devices/management-access/rest", "setRestAccess", patchRestAccess},
    {http::verb::get, "virtual-servers/([^/]+)/(cifs|nfs)", "listShares", arrayOnly<listShares>},
    {http::verb::get, key::kFilesystems, "listFileSystems", arrayOnly<listFileSystems>},
    {http::verb::get, "filesystems/([^/]+)", "getFileSystem", arrayOnly<getFileSystem>},
    {http::verb::get, "filesystems/([^/]+)/snapshots", "listSnapshots", listAllSnapshots},
    {http::verb::get, "filesystem-shares/cifs/([^/]+)/authentications", "listAuthentications",
     arrayOnly<listAuthentications>},
    {http::verb::post, "filesystem-shares/cifs/([^/]+)/authentications", "addAuthentication",
     arrayOnly<addAuthentications>},
    {http::verb::delete_, "filesystem-shares/cifs/([^/]+)/authentications/([^/]+)", "deleteAuthentication",
     arrayOnly<deleteAuthentication>},
    {http::verb::post, "filesystem-shares/(cifs|nfs)", "createShare", createShareAsStarted},
    {http::verb::delete_, "filesystem-shares/(cifs|nfs)/([^/]+)", "deleteShare", arrayOnly<deleteShare>},
    {http::verb::post, "filesystem-snapshots", "createSnapshot", arrayOnly<createSnapshot>},
    {http::verb::get, "filesystem-snapshots/([^/]+)/([^/]+)", "listSnapshots", listSnapshotsByAppSearchId},
    {http::verb::get, "filesystem-snapshots/([^/]+)", "getSnapshot", arrayOnly<getSnapshot>},
    {http::verb::delete_, "filesystem-snapshots/([^/]+)", "deleteSnapshot", arrayOnly<deleteSnapshot>},
    {http::verb::post, "filesystem-snapshots/([^/]+)/rollback", "rollbackSnapshot", arrayOnly<rollbackSnapshot>},
};

}  // namespace

bool isStoragePath(const std::string& path) {
    // The routes' prefix, /v7/storage/ to /v9/storage/.
    const std::string storage = "/storage/";
    return path.size() > 3 + storage.size() && path.compare(0, 2, "/v") == 0 && path[2] >= '7' && path[2] <= '9' &&
           path.compare(3, storage.size(), storage) == 0;
}

bool storageAdmitsBody(SimContext& context, const Request& head, Reply& refusal) {
    std::lock_guard<std::mutex> lock(context.mutex);
    std::string caller;
    return logIn(context, head, refusal, caller) != nullptr;
}

bool isStorageOperation(const std::string& name) {
    for (const StorageRoute& r : kStorageRoutes)
        if (name == r.operation) return true;
    return false;
}

void addStorageRoutes(HttpsServer& server, SimContext& c) {
    for (const StorageRoute& r : kStorageRoutes) {
        const RouteHandler handler = r.handler;
        add(server, c, r.method, route(r.path), r.operation,
            [&c, handler](Array& a, const Request& req, const std::string& body, Reply& reply) {
                return handler(c, a, req, body, reply);
            });
    }
}

}  // namespace arraysim
