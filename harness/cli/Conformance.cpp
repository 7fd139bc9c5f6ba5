#include "harness/cli/Conformance.h"

#include <signal.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <vector>

#include "harness/cli/ArraySnapshots.h"
#include "harness/cli/Orphans.h"
#include "harness/framework/ArrayAccess.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/JsonOutput.h"
#include "harness/framework/RandomText.h"
#include "harness/framework/TextTables.h"
#include "host/QzManageHNAS.h"

namespace {

// The appSearchId of the check's snapshots, and the start of every name it makes.
const char kConformanceSearchId[] = "QZCONF";
const char kConfirmed[] = "confirmed";
const char kContradicted[] = "contradicted";
const char kUnknown[] = "unknown";
const char kEveryone[] = "Everyone";
// The plug-in keeps the CIFS names it derives to this many characters.
const size_t kShareNameLimit = 80;

volatile sig_atomic_t gStopSignal = 0;

void onStopSignal(int signal) { gStopSignal = signal; }

// SIGINT and SIGTERM only set a flag while the check runs: the request under
// way ends, then everything made is removed.
class StopSignals {
public:
    StopSignals() {
        gStopSignal = 0;
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    bool stopped() const { return gStopSignal != 0; }

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

struct Row {
    std::string assumption;
    std::string sent;
    std::string did;       // what the array did
    std::string verdict;   // kConfirmed, kContradicted or kUnknown
    std::string applies;   // the setting or fallback that applies
};

// An object the check made, and how to remove it.
struct Made {
    std::string kind;       // "snapshot" or "share"
    std::string name;
    std::string resource;   // what a DELETE removes it with
    bool removed = false;
};

// One path segment, percent-encoded (object IDs are opaque).
std::string segment(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

JsonValue parsed(const std::string& text) {
    JsonValue value = JsonValue::parse(text, nullptr, false);
    return value.is_discarded() ? JsonValue() : value;
}

// "HTTP 201", "HTTP 400: <errorMsg>", or why no answer came.
std::string answerText(const QzProbeExchange& e) {
    if (e.status == 0) return "no answer: " + e.message;
    std::string text = "HTTP " + std::to_string(e.status);
    const JsonValue body = parsed(e.answer);
    if (body.is_object() && body.contains("errorMsg") && body["errorMsg"].is_string())
        text += ": " + body["errorMsg"].get<std::string>();
    return text;
}

bool succeeded(const QzProbeExchange& e) { return e.status >= 200 && e.status <= 299; }

class Check {
public:
    Check(QzManageHNAS& client, ClientFailures& failures, const ArrayEndpoint& endpoint, const StopSignals& stop)
        : client_(client), failures_(failures), endpoint_(endpoint), stop_(stop) {}

    std::string prefix;
    std::string directory;   // Windows form, e.g. "\scratch"
    std::string fileSystemId;
    __HNASVirtualServers server;
    std::vector<Row> rows;
    std::vector<Made> made;

    QzProbeExchange send(const std::string& method, const std::string& resource, const JsonValue& body = JsonValue()) {
        QzProbeExchange e;
        e.method = method;
        e.resource = resource;
        if (!body.is_null()) e.body = body.dump();
        client_.probeRequest(e);
        failures_.take();
        e.message = withoutSecret(e.message, endpoint_.password);
        return e;
    }

    bool stopped() const { return stop_.stopped(); }

    // POST filesystem-shares/cifs for a share of the check over `path`;
    // recorded to be removed when the array made it.
    QzProbeExchange createShare(const std::string& name, const std::string& path, bool noDefaultSecurity,
                                std::string& objectId) {
        JsonValue body = {{"virtualServerId", server.virtualServerId},
                          {"name", name},
                          {"filesystemId", fileSystemId},
                          {"filesystemPath", path},
                          {"ensurePathExists", false},
                          {"settings", JsonValue::object()}};
        if (noDefaultSecurity) body["noDefaultSecurity"] = true;
        QzProbeExchange e = send("POST", "filesystem-shares/cifs", body);
        objectId.clear();
        if (succeeded(e)) {
            objectId = shareObjectId(name, e.answer);
            made.push_back({"share", name, objectId.empty() ? "" : "filesystem-shares/cifs/" + segment(objectId)});
        }
        return e;
    }

    // The object ID from a create's answer, else from the list by name.
    std::string shareObjectId(const std::string& name, const std::string& answer) {
        const JsonValue body = parsed(answer);
        if (body.is_object() && body.contains("filesystemShare") && body["filesystemShare"].is_object() &&
            body["filesystemShare"].contains("objectId") && body["filesystemShare"]["objectId"].is_string())
            return body["filesystemShare"]["objectId"].get<std::string>();
        const QzProbeExchange list =
            send("GET", "virtual-servers/" + segment(serverRef()) + "/cifs?name=" + segment(name));
        const JsonValue listed = parsed(list.answer);
        if (listed.is_object() && listed.contains("filesystemShares") && listed["filesystemShares"].is_array())
            for (const JsonValue& s : listed["filesystemShares"])
                if (s.is_object() && s.value("name", "") == name && s.contains("objectId") && s["objectId"].is_string())
                    return s["objectId"].get<std::string>();
        return std::string();
    }

    std::string serverRef() const {
        return server.objectId.empty() ? std::to_string(server.virtualServerId) : server.objectId;
    }

    // DELETE of one object made; true when it is gone (2xx, or 404: already).
    bool remove(Made& m) {
        if (m.removed) return true;
        if (m.resource.empty()) return false;
        const QzProbeExchange e = send("DELETE", m.resource);
        m.removed = succeeded(e) || e.status == 404;
        return m.removed;
    }

    Made* findMade(const std::string& name) {
        for (Made& m : made)
            if (m.name == name) return &m;
        return nullptr;
    }

    QzManageHNAS& client() { return client_; }

private:
    QzManageHNAS& client_;
    ClientFailures& failures_;
    const ArrayEndpoint& endpoint_;
    const StopSignals& stop_;
};

bool hasEntry(const std::string& answer, const std::string& name) {
    const JsonValue body = parsed(answer);
    if (!body.is_object() || !body.contains("cifsAuthentications") || !body["cifsAuthentications"].is_array())
        return false;
    for (const JsonValue& entry : body["cifsAuthentications"])
        if (entry.is_object() && entry.value("name", "") == name) return true;
    return false;
}

// The field that stops a new CIFS share getting Everyone.
void checkNoDefaultSecurity(Check& c) {
    Row row{"a CIFS create with noDefaultSecurity: true gets no Everyone entry",
            "POST filesystem-shares/cifs {..., \"noDefaultSecurity\": true}, then GET its authentications", "", "",
            ""};
    std::string objectId;
    const QzProbeExchange created = c.createShare(c.prefix + "-nodefault", c.directory, true, objectId);
    if (!succeeded(created) || objectId.empty()) {
        row.did = "create: " + answerText(created);
        row.verdict = created.status >= 400 && created.status < 500 ? kContradicted : kUnknown;
        row.applies = "a map of a CIFS device sends the field with the source's permissions; refused, that map "
                      "fails on this array";
        c.rows.push_back(row);
        return;
    }
    const QzProbeExchange entries =
        c.send("GET", "filesystem-shares/cifs/" + segment(objectId) + "/authentications");
    if (!succeeded(entries)) {
        row.did = "created; authentications: " + answerText(entries);
        row.verdict = kUnknown;
    } else if (hasEntry(entries.answer, kEveryone)) {
        row.did = "created with an Everyone entry: the field is not known under this name";
        row.verdict = kContradicted;
    } else {
        row.did = "created without an Everyone entry";
        row.verdict = kConfirmed;
    }
    row.applies = "either way the client removes, after the create, every entry the source share lacks (a level-0 "
                  "line names it): see the next row";
    c.rows.push_back(row);
}

// The client's removal of an entry the array added, through its own create.
void checkClientRemoval(Check& c) {
    const std::string name = c.prefix + "-copy";
    Row row{"the client's copy of a share keeps only the source's entries (no Everyone)",
            "createFileSystemShare with one entry (Administrators, full), then getFilesystemShares with permissions",
            "", "", "the client removes what the array added; nothing to set"};
    __HNASFileSystemShares share;
    __HNASCIFSAuthentication admins;
    admins.name = "Administrators";
    admins.permission = 56;
    admins.type = "GROUP";
    share.settings.permissions.push_back(admins);
    const bool created = c.client().createFileSystemShare(name, std::to_string(c.server.virtualServerId),
                                                          c.fileSystemId, c.directory, "CIFS", share, true);
    const std::string objectId = c.shareObjectId(name, "");
    if (!objectId.empty()) c.made.push_back({"share", name, "filesystem-shares/cifs/" + segment(objectId)});
    if (!created) {
        row.did = "the create failed (see the client's log line)";
        row.verdict = kUnknown;
        c.rows.push_back(row);
        return;
    }
    std::vector<__HNASFileSystemShares> found(1);
    found[0].name = name;
    if (!c.client().getFilesystemShares(c.server, "CIFS", found, true) || found.empty()) {
        row.did = "created; its permissions could not be read";
        row.verdict = kUnknown;
        c.rows.push_back(row);
        return;
    }
    std::string names;
    bool everyone = false;
    for (const __HNASCIFSAuthentication& a : found[0].settings.permissions) {
        names += (names.empty() ? "" : ", ") + a.name;
        everyone = everyone || a.name == kEveryone;
    }
    row.did = "entries after the create: " + (names.empty() ? std::string("none") : names);
    row.verdict = everyone ? kContradicted : kConfirmed;
    c.rows.push_back(row);
}

// Whether a share may point into a snapshot, by either name of the folder.
void checkSnapshotPath(Check& c, const std::string& folder, const std::string& snapshotName, const char* tag) {
    const std::string path = "\\" + folder + "\\" + snapshotName + c.directory;
    Row row{"a CIFS share may point into " + folder, "POST filesystem-shares/cifs with filesystemPath " + path, "",
            "", ""};
    std::string objectId;
    const QzProbeExchange created = c.createShare(c.prefix + "-" + tag, path, false, objectId);
    row.did = answerText(created);
    row.verdict = succeeded(created) ? kConfirmed : created.status >= 400 && created.status < 500 ? kContradicted
                                                                                                 : kUnknown;
    row.applies = folder == ".snapshot"
                      ? "map points its copies into .snapshot; contradicted, map fails on this array"
                      : "the plug-in does not use ~snapshot; informational";
    c.rows.push_back(row);
}

void checkNameLimit(Check& c) {
    std::string name = c.prefix + "-long-";
    name.append(kShareNameLimit - name.size(), 'x');
    Row row{"a CIFS share name of 80 characters is taken", "POST filesystem-shares/cifs with an 80-character name",
            "", "", "the plug-in keeps the CIFS names it derives to 80; contradicted, maps of long names fail"};
    std::string objectId;
    const QzProbeExchange created = c.createShare(name, c.directory, false, objectId);
    row.did = answerText(created);
    row.verdict = succeeded(created) ? kConfirmed : created.status >= 400 && created.status < 500 ? kContradicted
                                                                                                 : kUnknown;
    c.rows.push_back(row);
}

// What a deleted snapshot looks like at once, and what a second delete and a
// deleted share's delete answer.
void checkDeletes(Check& c, const __HNASFileSystemSnapshot& snapshot) {
    // Shares into the snapshot go first: an array may keep a snapshot a share uses.
    for (Made& m : c.made)
        if (m.kind == "share") c.remove(m);
    Made* made = c.findMade(snapshot.name);
    const QzProbeExchange deleted = c.send("DELETE", made->resource);
    made->removed = succeeded(deleted);
    Row states{"a deleted snapshot is gone, or listed in a delete state",
               "DELETE filesystem-snapshots/{objectId}, then GET filesystem-snapshots/{fs}/QZCONF", "", "",
               "the client counts any SNAPSHOT_MANAGEMENT_STATE_DELETE* state and _DEAD as gone"};
    const QzProbeExchange listed =
        c.send("GET", "filesystem-snapshots/" + segment(c.fileSystemId) + "/" + kConformanceSearchId);
    if (!succeeded(deleted) || !succeeded(listed)) {
        states.did = "delete: " + answerText(deleted) + "; list: " + answerText(listed);
        states.verdict = kUnknown;
    } else {
        std::string state;
        bool retained = false;
        const JsonValue body = parsed(listed.answer);
        if (body.is_object() && body.contains("snapshots") && body["snapshots"].is_array())
            for (const JsonValue& s : body["snapshots"])
                if (s.is_object() && s.value("objectId", "") == snapshot.objectId) {
                    state = s.value("state", "(no state)");
                    retained = s.value("deleteWhenExpired", false);
                }
        if (state.empty()) {
            states.did = "deleted: " + answerText(deleted) + "; no longer listed";
            states.verdict = kConfirmed;
        } else if (state.rfind("SNAPSHOT_MANAGEMENT_STATE_DELETE", 0) == 0 ||
                   state == "SNAPSHOT_MANAGEMENT_STATE_DEAD") {
            states.did = "deleted: " + answerText(deleted) + "; listed as " + state;
            states.verdict = kConfirmed;
        } else if (retained) {
            states.did = "accepted; kept under retention, listed as " + state;
            states.verdict = kConfirmed;
            states.applies += "; a snapshot under retention is kept until it expires (no leak)";
        } else {
            states.did = "deleted: " + answerText(deleted) + "; still listed as " + state;
            states.verdict = kContradicted;
        }
    }
    c.rows.push_back(states);

    Row again{"a second delete of a snapshot answers 404", "DELETE filesystem-snapshots/{objectId} again", "", "",
              "the client takes 404 as already gone; otherwise it looks the snapshot up by name"};
    const QzProbeExchange second = c.send("DELETE", made->resource);
    again.did = answerText(second);
    again.verdict = second.status == 404 || succeeded(second) ? kConfirmed : second.status == 0 ? kUnknown
                                                                                                  : kContradicted;
    c.rows.push_back(again);

    Row share{"a share that is gone answers 404", "DELETE filesystem-shares/cifs/{objectId} of a removed share", "",
              "", "the client takes 404 as already gone"};
    const Made* removedShare = nullptr;
    for (const Made& m : c.made)
        if (m.kind == "share" && m.removed && !m.resource.empty()) removedShare = &m;
    if (removedShare == nullptr) {
        share.did = "no share of the check was made and removed";
        share.verdict = kUnknown;
    } else {
        const QzProbeExchange e = c.send("DELETE", removedShare->resource);
        share.did = answerText(e);
        share.verdict = e.status == 404 ? kConfirmed : e.status == 0 ? kUnknown : kContradicted;
    }
    c.rows.push_back(share);
}

void checkConnectionCap(Check& c) {
    Row row{"GET of the REST connection cap answers accessConfig", "GET /v8/storage/file-devices/management-access/rest",
            "", "", ""};
    const QzProbeExchange e = c.send("GET", "/v8/storage/file-devices/management-access/rest");
    const JsonValue body = parsed(e.answer);
    JsonValue rest;
    if (succeeded(e) && body.is_object() && body.contains("accessConfig")) {
        const JsonValue& access = body["accessConfig"];
        if (access.is_object()) rest = access;
        if (access.is_array())
            for (const JsonValue& a : access)
                if (a.is_object() && a.value("type", "") == "rest") rest = a;
    }
    if (rest.is_object() && (rest.contains("maxAllowedConnections") || rest.contains("maxSupportedConnections"))) {
        row.did = "HTTP " + std::to_string(e.status) + ": " + rest.dump();
        row.verdict = kConfirmed;
        row.applies = "nRequestsInFlight is kept one below maxAllowedConnections";
    } else {
        row.did = answerText(e);
        row.verdict = e.status == 404 || succeeded(e) ? kContradicted : kUnknown;
        row.applies = "nRequestsInFlight stays as set, with a level-0 warning: keep it below the array's limit";
    }
    c.rows.push_back(row);
}

// What remains of the check's objects: shares and snapshots whose names
// carry the prefix, each with why.
std::vector<std::string> remaining(Check& c) {
    std::vector<std::string> left;
    std::vector<__HNASFileSystemShares> shares;
    if (!c.client().getAllShares(shares)) left.push_back("shares could not be listed to check");
    for (const __HNASFileSystemShares& s : shares)
        if (s.name.compare(0, c.prefix.size(), c.prefix) == 0) left.push_back("share " + s.name);
    std::vector<__HNASFileSystemSnapshot> snapshots;
    std::vector<__HNASFileSystemInfo> unlisted;
    std::vector<QzSnapshotRetention> retention;
    if (!c.client().getAllSnapshots(snapshots, unlisted, retention)) left.push_back("snapshots could not be listed");
    for (size_t i = 0; i < snapshots.size(); ++i)
        if (snapshots[i].name.find(c.prefix) != std::string::npos)
            left.push_back("snapshot " + snapshots[i].name +
                           (underRetention(retention[i]) ? " (" + retainedUntilText(retention[i]) + ")" : ""));
    return left;
}

// The refusals before anything is made; "" when the file system may be used.
std::string refusal(HostStore& store, Check& c, const __HNASFileSystemInfo& info,
                    const std::vector<__HNASFileSystemSnapshot>& snapshots, std::string& error) {
    if (!info.status.empty() && info.status != "MOUNTED")
        return "file system " + info.name + " has status " + info.status + ", not mounted";
    if (info.capacity > 0 && info.freeCapacity == 0) return "file system " + info.name + " has no free space";
    size_t count = 0;
    for (const __HNASFileSystemSnapshot& s : snapshots) count += s.fileSystemId == c.fileSystemId ? 1 : 0;
    if (count + 2 > static_cast<size_t>(kMaxSnapshotsPerFileSystem))
        return "file system " + info.name + " holds " + std::to_string(count) + " snapshots: no room for the check's";
    std::vector<DeviceRecord> devices;
    if (!store.loadDevices(devices, error)) return std::string();
    for (const __HNASFileSystemSnapshot& s : snapshots)
        if (s.fileSystemId == c.fileSystemId && snapshotReferenced(s.name, devices))
            return "file system " + info.name + " holds " + s.name +
                   ", a snapshot of a live device of this store: choose a file system the plug-in does not use";
    return std::string();
}

std::string windowsPath(std::string path) {
    for (char& ch : path)
        if (ch == '/') ch = '\\';
    if (path.empty() || path[0] != '\\') path.insert(path.begin(), '\\');
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    return path;
}

}  // namespace

int runConformance(HostStore& store, const ConformanceOptions& options, std::string& error) {
    std::vector<ArrayRecord> arrays;
    std::vector<SettingRecord> settings;
    if (!store.loadArrays(arrays, error) || !useStoreSettings(store, settings, error)) return kExitHostError;
    const ArrayRecord* array = nullptr;
    for (const ArrayRecord& a : arrays)
        if (a.name == options.array) array = &a;
    if (array == nullptr) {
        error = unknownArrayMessage(options.array);
        return kExitBadInput;
    }
    ArrayEndpoint endpoint;
    if (!arrayEndpoint(*array, endpoint, error)) return kExitBadInput;
    ClientFailures failures;
    std::unique_ptr<QzManageHNAS> client = connectClient(endpoint, failures, error);
    if (client == nullptr) return kExitHostError;
    const StopSignals stop;
    Check c(*client, failures, endpoint, stop);
    const RandomBlock random = randomBlock();
    c.prefix = std::string(kConformanceSearchId) + "-" + hexText(random.data(), 4);
    c.directory = windowsPath(options.directory);

    std::vector<__HNASFileSystemInfo> info;
    std::vector<__HNASFileSystemSnapshot> snapshots;
    std::vector<QzSnapshotRetention> retention;
    if (!client->getVirtualServerInfo(endpoint.arrayId, c.server) ||
        !client->getFileSystemID(options.fileSystem, c.fileSystemId) ||
        !client->getFileSystemsInfo(c.fileSystemId, info) || info.empty() ||
        !listSnapshots(*client, failures, endpoint, snapshots, retention, error)) {
        if (error.empty()) error = withoutSecret(failures.take(), endpoint.password);
        if (error.empty()) error = "file system " + options.fileSystem + " not found";
        return kExitHostError;
    }
    const std::string refused = refusal(store, c, info[0], snapshots, error);
    if (!error.empty()) return kExitHostError;
    if (!refused.empty()) {
        error = "refused: " + refused;
        return kExitBadInput;
    }

    // The check's one snapshot, through the client as the plug-in makes its own.
    __HNASFileSystemSnapshot snapshot;
    // Stored as the appSearchId, "-", and this: "QZCONF-<8 hex>-snap".
    const std::string snapshotName = c.prefix.substr(sizeof(kConformanceSearchId)) + "-snap";
    bool snapped = false;
    if (!stop.stopped()) {
        snapped = client->createFileSystemSnapshot(snapshotName, c.fileSystemId, kConformanceSearchId, snapshot);
        failures.take();
        if (snapped)
            c.made.push_back({"snapshot", snapshot.name, "filesystem-snapshots/" + segment(snapshot.objectId)});
    }
    using Step = void (*)(Check&);
    for (const Step step : {checkNoDefaultSecurity, checkClientRemoval, checkNameLimit, checkConnectionCap}) {
        if (stop.stopped()) break;
        step(c);
    }
    if (snapped && !stop.stopped()) checkSnapshotPath(c, ".snapshot", snapshot.name, "dot");
    if (snapped && !stop.stopped()) checkSnapshotPath(c, "~snapshot", snapshot.name, "tilde");
    if (snapped && !stop.stopped()) checkDeletes(c, snapshot);
    if (!snapped)
        c.rows.push_back({"the check's snapshot is made", "createFileSystemSnapshot " + snapshotName,
                          "refused (see the client's log)", kUnknown,
                          "the rows on snapshot paths, delete states and 404s need it"});

    // Everything made goes, shares first (a snapshot a share uses may be kept).
    for (const char* kind : {"share", "snapshot"})
        for (Made& m : c.made)
            if (m.kind == kind) c.remove(m);
    const std::vector<std::string> left = remaining(c);

    bool allConfirmed = !stop.stopped();
    for (const Row& r : c.rows) allConfirmed = allConfirmed && r.verdict == kConfirmed;
    const int code = allConfirmed && left.empty() ? kExitOk : kExitCheckFailed;
    if (options.json) {
        JsonValue document = jsonDocument("conformance");
        document["array"] = array->name;
        document["fileSystem"] = options.fileSystem;
        document["directory"] = c.directory;
        document["prefix"] = c.prefix;
        document["interrupted"] = stop.stopped();
        JsonValue rows = JsonValue::array();
        for (const Row& r : c.rows)
            rows.push_back({{"assumption", r.assumption},
                            {"sent", r.sent},
                            {"arrayDid", r.did},
                            {"verdict", r.verdict},
                            {"applies", r.applies}});
        document["rows"] = rows;
        JsonValue made = JsonValue::array();
        for (const Made& m : c.made) made.push_back({{"kind", m.kind}, {"name", m.name}, {"removed", m.removed}});
        document["made"] = made;
        document["remaining"] = left;
        printf("%s", jsonText(document).c_str());
        return code;
    }
    printf("conformance %s: file system %s, directory %s, objects named %s-...\n", array->name.c_str(),
           options.fileSystem.c_str(), c.directory.c_str(), c.prefix.c_str());
    std::vector<std::vector<std::string>> rows;
    for (const Row& r : c.rows) rows.push_back({r.assumption, r.sent, r.did, r.verdict, r.applies});
    printf("%s", formatTable({"assumption", "sent", "the array did", "verdict", "applies"}, rows).c_str());
    if (stop.stopped()) printf("interrupted by signal %d: the rest was not checked\n", static_cast<int>(gStopSignal));
    if (left.empty()) {
        printf("removed the %zu object(s) the check made; none remains\n", c.made.size());
    } else {
        printf("REMAINING on array %s, remove by hand:\n", array->name.c_str());
        for (const std::string& l : left) printf("  %s\n", l.c_str());
    }
    return code;
}
