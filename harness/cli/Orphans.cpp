#include "harness/cli/Orphans.h"

#include <time.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <set>

#include "harness/cli/ArraySnapshots.h"
#include "harness/framework/ArrayAccess.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/SnapshotOwnership.h"
#include "harness/framework/TextTables.h"
#include "host/SnapStatus.h"

namespace {

struct Orphan {
    std::string array;        // the first registration of its endpoint
    std::string fileSystem;   // label, else the ID
    __HNASFileSystemSnapshot snapshot;
    std::string note;         // e.g. "dev-b reported it deleted"; "" when none
    ArrayEndpoint endpoint;
    // What was done with it: "listed", "deleted", "kept" (a device or share
    // refers to it now) or "notDeleted"; with the reason for the last two.
    std::string action = "listed";
    std::string reason;
};

// What the listing found besides the orphans, for --json.
struct OrphanFindings {
    JsonValue arraysNotAsked = JsonValue::array();
    JsonValue keptUnderShare = JsonValue::array();
    JsonValue retained = JsonValue::array();
};

JsonValue arrayNotAsked(const std::string& array, const std::string& reason) {
    return {{"array", array}, {"reason", reason}};
}

JsonValue orphanJson(const Orphan& o) {
    JsonValue j = JsonValue::object();
    j["array"] = o.array;
    j["endpoint"] = {{"address", o.endpoint.address}, {"port", o.endpoint.port}};
    j["fileSystem"] = o.fileSystem;
    j["name"] = o.snapshot.name;
    j["objectId"] = o.snapshot.objectId;
    j["created"] = o.snapshot.creationTime == 0 ? JsonValue() : JsonValue(o.snapshot.creationTime);
    j["note"] = textOrNull(o.note);
    j["action"] = o.action;
    j["reason"] = textOrNull(o.reason);
    return j;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Whether device `d` names the snapshot `name` by its snap UUID.
bool namedBySnapUuid(const std::string& name, const DeviceRecord& d) {
    return !d.snapUUID.empty() && (name == d.snapUUID || startsWith(name, kOwnSnapshotPrefix + d.snapUUID + "-"));
}

std::string localTime(uint64_t seconds) {
    if (seconds == 0) return "-";
    const time_t when = static_cast<time_t>(seconds);
    struct tm local;
    localtime_r(&when, &local);
    char text[32];
    strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// The devices with, after them, each restore point as a device that refers
// to the point's snapshot: a snapshot a restore point holds is no orphan,
// whichever snap of its device made it.
bool loadReferences(HostStore& store, std::vector<DeviceRecord>& references, std::string& error) {
    std::vector<RestorePointRecord> points;
    if (!store.loadDevices(references, error) || !store.loadRestorePoints(points, error)) return false;
    for (const RestorePointRecord& p : points) {
        DeviceRecord held;
        held.label = p.deviceName;
        held.status = QZSO::SNAP_STATUS_SNAPPED;
        held.snapUUID = p.snapUUID;
        held.metadata = p.metadata;
        references.push_back(held);
    }
    return true;
}

// A snapshot leaked by a delete that reported done names the device that
// reported it.
std::string noteFor(const std::string& name, const std::vector<DeviceRecord>& devices) {
    for (const DeviceRecord& d : devices)
        if (d.status == QZSO::SNAP_STATUS_DELETED && namedBySnapUuid(name, d))
            return deviceDisplayName(d) + " reported it deleted";
    return std::string();
}

// The arrays the options choose, each with its endpoint; false with `error`
// naming an array the store does not have.
struct ChosenArray {
    ArrayRecord array;
    ArrayEndpoint endpoint;
    bool usable = false;          // its endpoint could be read
    std::string cause;
};

bool chooseArrays(const std::vector<ArrayRecord>& arrays, const std::vector<std::string>& names,
                  std::vector<ChosenArray>& chosen, std::string& error) {
    for (const std::string& name : names) {
        bool known = false;
        for (const ArrayRecord& a : arrays) known = known || a.name == name;
        if (!known) {
            error = unknownArrayMessage(name);
            return false;
        }
    }
    for (const ArrayRecord& a : arrays) {
        bool wanted = names.empty();
        for (const std::string& name : names) wanted = wanted || a.name == name;
        if (!wanted) continue;
        ChosenArray c;
        c.array = a;
        c.usable = arrayEndpoint(a, c.endpoint, c.cause);
        chosen.push_back(c);
    }
    return true;
}

// What one endpoint holds: its snapshots and its shares.
bool listEndpoint(QzManageHNAS& client, ClientFailures& failures, const ArrayEndpoint& endpoint,
                  std::vector<__HNASFileSystemSnapshot>& snapshots, std::vector<QzSnapshotRetention>& retention,
                  std::vector<__HNASFileSystemShares>& shares, std::string& error) {
    if (!listSnapshots(client, failures, endpoint, snapshots, retention, error)) return false;
    if (client.getAllShares(shares)) return true;
    error = withoutSecret(failures.take(), endpoint.password);
    return false;
}

// The label of file system `id`, asked once per listing.
const std::string& labelOf(QzManageHNAS& client, const std::string& id, std::map<std::string, std::string>& labels) {
    auto label = labels.find(id);
    if (label == labels.end()) {
        std::vector<__HNASFileSystemInfo> info;
        const bool named = client.getFileSystemsInfo(id, info) && !info.empty();
        label = labels.emplace(id, named ? info[0].name : id).first;
    }
    return label->second;
}

// The orphans of one endpoint; false with the client's message when it
// could not be asked.
// `seen` holds endpoint and object ID of every snapshot listed so far, so
// that two registrations of one endpoint list each snapshot once.
// `handedOut` holds the snap UUIDs the store handed out.
bool orphansOf(const ChosenArray& chosen, const std::string& identity, const std::set<std::string>& handedOut,
               const std::vector<DeviceRecord>& devices, const OrphanOptions& options, std::set<std::string>& seen,
               std::vector<Orphan>& orphans, OrphanFindings& findings, std::string& error) {
    ClientFailures failures;
    std::unique_ptr<QzManageHNAS> client = connectClient(chosen.endpoint, failures, error);
    if (client == nullptr) return false;
    std::vector<__HNASFileSystemSnapshot> snapshots;
    std::vector<QzSnapshotRetention> retention;
    std::vector<__HNASFileSystemShares> shares;
    if (!listEndpoint(*client, failures, chosen.endpoint, snapshots, retention, shares, error)) return false;
    const int64_t now = static_cast<int64_t>(time(nullptr));
    std::map<std::string, std::string> labels;   // file system ID -> label
    for (size_t i = 0; i < snapshots.size(); ++i) {
        const __HNASFileSystemSnapshot& s = snapshots[i];
        // A copy of the store made it when this store never handed out its UUID.
        if (!madeByStore(s.name, identity) || handedOut.count(snapUuidIn(s.name)) == 0 ||
            snapshotReferenced(s.name, devices))
            continue;
        const std::string key =
            chosen.endpoint.address + "\n" + std::to_string(chosen.endpoint.port) + "\n" + s.objectId;
        if (!seen.insert(key).second) continue;
        // Its delete was accepted: the array removes it when its retention
        // expires, and there is nothing to delete.
        if (onlyAwaitingExpiry(retention[i])) {
            const std::string& fileSystem = labelOf(*client, s.fileSystemId, labels);
            if (options.json)
                findings.retained.push_back({{"array", chosen.array.name},
                                             {"fileSystem", fileSystem},
                                             {"name", s.name},
                                             {"retainedUntil", retention[i].retainedUntil == 0
                                                                   ? JsonValue()
                                                                   : JsonValue(retention[i].retainedUntil)}});
            else
                printf("kept %s (array %s, file system %s): %s; its delete was accepted, the array removes it "
                       "then\n",
                       s.name.c_str(), chosen.array.name.c_str(), fileSystem.c_str(),
                       retainedUntilText(retention[i]).c_str());
            continue;
        }
        // A snapshot without a creation time is never old enough.
        if (options.olderThanSeconds >= 0 &&
            (s.creationTime == 0 || now - static_cast<int64_t>(s.creationTime) < options.olderThanSeconds))
            continue;
        const std::string share = shareInto(s.name, shares);
        if (!share.empty()) {
            if (options.json)
                findings.keptUnderShare.push_back(
                    {{"array", chosen.array.name}, {"name", s.name}, {"share", share}});
            else
                printf("kept %s (array %s): share %s points into it\n", s.name.c_str(), chosen.array.name.c_str(),
                       share.c_str());
            continue;
        }
        Orphan orphan;
        orphan.array = chosen.array.name;
        orphan.fileSystem = labelOf(*client, s.fileSystemId, labels);
        orphan.snapshot = s;
        orphan.note = noteFor(s.name, devices);
        // A delete is accepted but waits for the retention.
        if (underRetention(retention[i]))
            orphan.note += (orphan.note.empty() ? "" : "; ") + retainedUntilText(retention[i]);
        orphan.endpoint = chosen.endpoint;
        orphan.endpoint.password.clear();
        orphans.push_back(orphan);
    }
    return true;
}

// The question goes to `out`: standard error under --json, whose standard
// output holds the document alone.
bool confirm(size_t count, FILE* out) {
    fprintf(out, "Delete these %zu snapshot(s) from the arrays? Type yes: ", count);
    fflush(out);
    std::string answer;
    if (!std::getline(std::cin, answer)) answer.clear();
    fprintf(out, "\n");
    return answer == "yes" || answer == "y";
}

// Records what was done with an orphan, and says it in `line` unless under
// --json; a kept one is said as "kept <name>: <reason>".
void settle(Orphan& o, bool json, const char* action, const std::string& reason, const std::string& line = "") {
    o.action = action;
    o.reason = reason;
    if (!json) printf("%s\n", line.empty() ? ("kept " + o.snapshot.name + ": " + reason).c_str() : line.c_str());
}

// Deletes the orphans of one endpoint, each after checking again that no
// device refers to it and no share points into it. False when one could
// not be checked or deleted.
bool deleteOrphansOf(HostStore& store, const ChosenArray& chosen, std::vector<Orphan>& orphans, bool json) {
    bool allDone = true;
    ClientFailures failures;
    std::string cause;
    std::unique_ptr<QzManageHNAS> client;
    for (Orphan& o : orphans) {
        if (o.array != chosen.array.name) continue;
        cause.clear();
        if (client == nullptr) client = connectClient(chosen.endpoint, failures, cause);
        std::vector<DeviceRecord> devices;
        std::vector<__HNASFileSystemShares> shares;
        const bool checked = client != nullptr && loadReferences(store, devices, cause);
        if (!checked || !client->getAllShares(shares)) {
            if (checked) cause = withoutSecret(failures.take(), chosen.endpoint.password);
            settle(o, json, "notDeleted", "cannot check it again: " + cause);
            allDone = false;
            continue;
        }
        if (snapshotReferenced(o.snapshot.name, devices)) {
            settle(o, json, "kept", "a device refers to it now");
            continue;
        }
        const std::string share = shareInto(o.snapshot.name, shares);
        if (!share.empty()) {
            settle(o, json, "kept", "share " + share + " points into it now");
            continue;
        }
        if (client->deleteFileSystemSnapshot(o.snapshot, kSnapshotPrefix)) {
            settle(o, json, "deleted", "",
                   "deleted " + o.snapshot.name + " (array " + o.array + ", file system " + o.fileSystem + ")");
            continue;
        }
        const std::string why = withoutSecret(failures.take(), chosen.endpoint.password);
        settle(o, json, "notDeleted", why, "could not delete " + o.snapshot.name + ": " + why);
        allDone = false;
    }
    return allDone;
}

const char kNotConfirmed[] = "nothing deleted: not confirmed (--yes skips the question)";

// `orphans --json`: deletes as asked, then prints one document; the
// question, when asked, goes to standard error.
int orphansJson(HostStore& store, const OrphanOptions& options, const std::vector<ChosenArray>& chosen,
                std::vector<Orphan>& orphans, const OrphanFindings& findings, int code, std::string& error) {
    if (options.remove && !orphans.empty()) {
        if (!options.confirmed && !confirm(orphans.size(), stderr)) {
            error = kNotConfirmed;
            return kExitHostError;
        }
        for (const ChosenArray& c : chosen)
            if (c.usable && !deleteOrphansOf(store, c, orphans, true)) code = kExitCheckFailed;
    }
    JsonValue document = jsonDocument("orphans");
    JsonValue list = JsonValue::array();
    for (const Orphan& o : orphans) list.push_back(orphanJson(o));
    document["orphans"] = list;
    document["keptUnderShare"] = findings.keptUnderShare;
    document["retained"] = findings.retained;
    document["arraysNotAsked"] = findings.arraysNotAsked;
    printf("%s", jsonText(document).c_str());
    return code;
}

}  // namespace

bool snapshotReferenced(const std::string& name, const std::vector<DeviceRecord>& devices) {
    for (const DeviceRecord& d : devices) {
        // Its delete reported the snapshot gone: what it still names is no reference.
        if (d.status == QZSO::SNAP_STATUS_DELETED) continue;
        if (namedBySnapUuid(name, d)) return true;
        for (const auto& m : d.metadata)
            if (m.second.find(name) != std::string::npos) return true;
    }
    return false;
}

std::string shareInto(const std::string& name, const std::vector<__HNASFileSystemShares>& shares) {
    for (const __HNASFileSystemShares& share : shares) {
        std::string path = share.path;
        for (char& c : path)
            if (c == '\\') c = '/';
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find('/', start);
            if (end == std::string::npos) end = path.size();
            if (path.compare(start, end - start, name) == 0 && end - start == name.size()) return share.name;
            start = end + 1;
        }
    }
    return std::string();
}

bool parseAge(const std::string& text, int64_t& seconds) {
    if (text.empty() || text.size() > 12) return false;
    int64_t unit = 1;
    std::string digits = text;
    const char last = text.back();
    if (last < '0' || last > '9') {
        if (last == 'm') unit = 60;
        else if (last == 'h') unit = 3600;
        else if (last == 'd') unit = 86400;
        else if (last != 's') return false;
        digits.pop_back();
    }
    if (digits.empty()) return false;
    int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    seconds = value * unit;
    return true;
}

int findOrphans(HostStore& store, const OrphanOptions& options, std::string& error) {
    std::vector<ArrayRecord> arrays;
    std::vector<DeviceRecord> devices;
    std::vector<SettingRecord> settings;
    std::set<std::string> handedOut;
    if (!store.loadArrays(arrays, error) || !loadReferences(store, devices, error) ||
        !store.loadSnapUuids(handedOut, error) || !useStoreSettings(store, settings, error))
        return exitCodeForStoreFailure(store.busy());
    std::vector<ChosenArray> chosen;
    if (!chooseArrays(arrays, options.arrays, chosen, error)) return kExitBadInput;
    int code = kExitOk;
    std::vector<Orphan> orphans;
    std::set<std::string> seen;
    OrphanFindings findings;
    for (const ChosenArray& c : chosen) {
        std::string cause = c.cause;
        if (!c.usable ||
            !orphansOf(c, store.identity(), handedOut, devices, options, seen, orphans, findings, cause)) {
            if (options.json)
                findings.arraysNotAsked.push_back(arrayNotAsked(c.array.name, cause));
            else
                printf("array %s: cannot list its snapshots and shares: %s\n", c.array.name.c_str(), cause.c_str());
            code = kExitCheckFailed;
        }
    }
    if (options.json) return orphansJson(store, options, chosen, orphans, findings, code, error);
    if (orphans.empty()) {
        printf("%s%s\n", kNoOrphans, code == kExitOk ? "" : " of those that could be asked");
        return code;
    }
    std::vector<std::vector<std::string>> rows;
    for (const Orphan& o : orphans)
        rows.push_back({o.array, o.fileSystem, o.snapshot.name, localTime(o.snapshot.creationTime), "-",
                        o.note.empty() ? "-" : o.note});
    printf("%zu orphaned snapshot(s): made by this store, referred to by no device, under no share\n%s",
           orphans.size(), formatTable({"array", "file system", "snapshot", "created", "size", "note"}, rows).c_str());
    if (!options.remove) {
        printf("(size: the array does not report it.) Remove them with: hnas-host orphans --delete\n");
        return code;
    }
    if (!options.confirmed && !confirm(orphans.size(), stdout)) {
        error = kNotConfirmed;
        return kExitHostError;
    }
    for (const ChosenArray& c : chosen)
        if (c.usable && !deleteOrphansOf(store, c, orphans, false)) code = kExitCheckFailed;
    return code;
}

int reportLeakedSnapshots(HostStore& store, const std::vector<DeviceRecord>& devices, bool everyArray,
                          std::string& error, JsonValue* document) {
    if (document != nullptr) {
        (*document)["leaks"] = JsonValue::array();
        (*document)["retained"] = JsonValue::array();
        (*document)["nearSnapshotLimit"] = JsonValue::array();
        (*document)["arraysNotAsked"] = JsonValue::array();
    }
    std::vector<const DeviceRecord*> deleted;
    for (const DeviceRecord& d : devices)
        if (d.status == QZSO::SNAP_STATUS_DELETED && !d.snapUUID.empty()) deleted.push_back(&d);
    std::vector<ArrayRecord> arrays;
    std::vector<SettingRecord> settings;
    if (!store.loadArrays(arrays, error) || !useStoreSettings(store, settings, error))
        return exitCodeForStoreFailure(store.busy());
    int code = kExitOk;
    for (const ArrayRecord& array : arrays) {
        // A device names the array the plug-in attached; one without asks every array.
        std::vector<const DeviceRecord*> here;
        bool named = everyArray;
        for (const DeviceRecord& d : devices) named = named || d.arrayName.empty() || d.arrayName == array.name;
        for (const DeviceRecord* d : deleted)
            if (d->arrayName.empty() || d->arrayName == array.name) here.push_back(d);
        if (!named) continue;
        ArrayEndpoint endpoint;
        ClientFailures failures;
        std::string cause;
        std::unique_ptr<QzManageHNAS> client;
        if (arrayEndpoint(array, endpoint, cause)) client = connectClient(endpoint, failures, cause);
        std::vector<__HNASFileSystemSnapshot> snapshots;
        std::vector<QzSnapshotRetention> retention;
        if (client == nullptr || !listSnapshots(*client, failures, endpoint, snapshots, retention, cause)) {
            if (document != nullptr)
                (*document)["arraysNotAsked"].push_back(arrayNotAsked(array.name, cause));
            else
                printf("array %s: cannot list its snapshots: %s\n", array.name.c_str(), cause.c_str());
            code = kExitCheckFailed;
            continue;
        }
        for (const DeviceRecord* d : here) {
            for (size_t i = 0; i < snapshots.size(); ++i) {
                const __HNASFileSystemSnapshot& s = snapshots[i];
                if (!namedBySnapUuid(s.name, *d)) continue;
                // The array accepted the delete and keeps the snapshot until
                // its retention expires: done, not leaked.
                const bool retained = onlyAwaitingExpiry(retention[i]);
                if (document != nullptr && retained)
                    (*document)["retained"].push_back(
                        {{"device", deviceDisplayName(*d)},
                         {"snapshot", s.name},
                         {"array", array.name},
                         {"retainedUntil",
                          retention[i].retainedUntil == 0 ? JsonValue() : JsonValue(retention[i].retainedUntil)}});
                else if (document != nullptr)
                    (*document)["leaks"].push_back(
                        {{"device", deviceDisplayName(*d)}, {"snapshot", s.name}, {"array", array.name}});
                else if (retained)
                    printf("retained: %s was reported deleted; array %s accepted the delete of its snapshot %s and "
                           "keeps it, %s\n",
                           deviceDisplayName(*d).c_str(), array.name.c_str(), s.name.c_str(),
                           retainedUntilText(retention[i]).c_str());
                else
                    printf("leaked: %s was reported deleted, but its snapshot %s is still on array %s "
                           "(hnas-host orphans --delete removes it)\n",
                           deviceDisplayName(*d).c_str(), s.name.c_str(), array.name.c_str());
            }
        }
        for (const FileSystemNearLimit& near : fileSystemsNearLimit(*client, snapshots)) {
            if (document != nullptr)
                (*document)["nearSnapshotLimit"].push_back({{"array", array.name},
                                                            {"fileSystem", near.fileSystem},
                                                            {"snapshots", near.snapshots},
                                                            {"limit", kMaxSnapshotsPerFileSystem}});
            else
                printf("array %s: %s\n", array.name.c_str(), nearLimitText(near).c_str());
        }
    }
    return code;
}
