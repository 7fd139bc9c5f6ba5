#include "tests/differential/DifferentialRun.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <sstream>

#include "engine/QzSnapEngineHNAS.h"
#include "host/ArrayConfigNames.h"
#include "host/SnapInfo.h"
#include "host/SnapStatus.h"
#include "simkit/SimAdmin.h"
#include "tests/support/TestCertificates.h"
#include "tests/fakes/FakeOSUtil.h"
#include "tests/fakes/FakeSnapInfo.h"
#include "tests/fakes/LogCapture.h"
#include "tests/support/FieldData.h"
#include "tests/support/TempSettings.h"

namespace differential {

namespace {

using nlohmann::json;

const char kAdminToken[] = "differential-admin-token";
const unsigned long long kJobId = 4242;
// A file-system ID no array of the field data mints.
const char kUnknownFileSystemId[] = "0123456789ABCDEF0123456789ABCDEF";

// The operations that change an array.
const char* const kChangingOperations[] = {"createSnapshot", "deleteSnapshot",    "rollbackSnapshot",
                                           "createShare",    "deleteShare",       "addAuthentication",
                                           "deleteAuthentication"};

QZSO::SnapOperation entryOf(Op op) {
    switch (op) {
        case Op::Prepare: return qzso_prepareDevices;
        case Op::Snap: return qzso_snapDevices;
        case Op::IsMapped: return qzso_isMapped;
        case Op::Map: return qzso_mapSnaps;
        case Op::Unmap: return qzso_unmapSnaps;
        case Op::Reconcile: return qzso_reconcileSnaps;
        case Op::Revert: return qzso_revertSnaps;
        case Op::Delete: return qzso_deleteSnaps;
    }
    return nullptr;
}

// The simulator's share object IDs are the hex encoding of
// "<server>:::<share ID>:::0:::OID_$#!@%_V", the share ID a UUID minted from
// the array's counter (docs/arraysim.md, "IDs"); a share created and
// deleted again moves the counter on. Each such ID in a log line, e.g. in
// the path of a refused request, is replaced by "<share object ID>". The
// other object IDs (virtual servers, file systems, snapshots) are made from
// names and stay as they are.
std::string withoutShareObjectIds(std::string text) {
    const std::string tail = "3a3a3a303a3a3a4f49445f24232140255f56";   // ":::0:::OID_$#!@%_V"
    const std::string separator = "3a3a3a";                           // ":::"
    const size_t uuidHex = 72;                                          // 36 characters
    const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    for (size_t at = text.find(tail); at != std::string::npos; at = text.find(tail, at)) {
        size_t start = at >= uuidHex + separator.size() ? at - uuidHex : std::string::npos;
        bool share = start != std::string::npos &&
                     text.compare(start - separator.size(), separator.size(), separator) == 0 &&
                     std::all_of(text.begin() + static_cast<long>(start), text.begin() + static_cast<long>(at), isHex);
        // The UUID's four "-" ("2d") at characters 8, 13, 18 and 23.
        for (size_t dash : {8u, 13u, 18u, 23u})
            share = share && text.compare(start + 2 * dash, 2, "2d") == 0;
        if (!share) {
            at += tail.size();
            continue;
        }
        start -= separator.size();
        // The server's decimal digits, "3" and the digit each.
        while (start >= 2 && text[start - 2] == '3' && std::isdigit(static_cast<unsigned char>(text[start - 1])))
            start -= 2;
        const std::string replacement = "<share object ID>";
        text.replace(start, at + tail.size() - start, replacement);
        at = start + replacement.size();
    }
    return text;
}

// The objects of the array, one a line, without what is minted by count or
// clock: a snapshot's creation time and sequence, a share's IDs.
std::vector<std::string> arrayObjects(const json& state) {
    std::vector<std::string> objects;
    if (!state.is_object() || !state.contains("arrays")) return {"no state"};
    for (const json& array : state["arrays"]) {
        for (const json& fs : array.value("filesystems", json::array())) objects.push_back("file system " + fs.dump());
        for (json share : array.value("shares", json::array())) {
            share.erase("objectId");
            share.erase("shareId");
            objects.push_back("share " + share.dump());
        }
        for (json snapshot : array.value("snapshots", json::array())) {
            snapshot.erase("creationTime");
            snapshot.erase("sequence");
            objects.push_back("snapshot " + snapshot.dump());
        }
    }
    std::sort(objects.begin(), objects.end());
    return objects;
}

// "createShare 201 x2": the requests of the call record that changed the
// array or may have (answered 2xx, or not answered: status 0), by operation
// and status. A refused one changed nothing: two deletes of one share sent
// together, one answered 404, leave the array as one delete does.
std::vector<std::string> arrayChanges(const json& calls) {
    std::map<std::string, int> counted;
    if (!calls.is_object() || !calls.contains("calls")) return {"no call record"};
    for (const json& call : calls["calls"]) {
        const std::string operation = call.value("operation", "");
        const int status = call.value("status", -1);
        if (std::find(std::begin(kChangingOperations), std::end(kChangingOperations), operation) ==
                std::end(kChangingOperations) ||
            (status != 0 && (status < 200 || status > 299)))
            continue;
        ++counted[operation + " " + std::to_string(status)];
    }
    std::vector<std::string> changes;
    for (const auto& entry : counted) changes.push_back(entry.first + " x" + std::to_string(entry.second));
    return changes;
}

bool sameCifsName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The texts a fault's `matching` takes in this array: one, or one per share
// (none when what it names is not there).
std::vector<std::string> matchingTexts(const FaultPlan& fault, const json& array) {
    switch (fault.target) {
        case FaultPlan::Target::Text: return {fault.text};
        case FaultPlan::Target::HexText: {
            static const char kHex[] = "0123456789abcdef";
            std::string hex;
            for (unsigned char c : fault.text) {
                hex += kHex[c >> 4];
                hex += kHex[c & 0xF];
            }
            return {hex};
        }
        case FaultPlan::Target::FileSystemId:
            for (const json& fs : array.value("filesystems", json::array()))
                if (fs.value("label", "") == fault.text) return {fs.value("filesystemId", "")};
            return {};
        case FaultPlan::Target::ShareObjectId:
            for (const json& share : array.value("shares", json::array())) {
                const std::string name = share.value("name", "");
                const bool cifs = share.value("protocol", "") == "CIFS";
                if (cifs ? sameCifsName(name, fault.text) : name == fault.text) return {share.value("objectId", "")};
            }
            return {};
        case FaultPlan::Target::SharesHoldingText: {
            std::vector<std::string> ids;
            for (const json& share : array.value("shares", json::array()))
                if (share.value("name", "").find(fault.text) != std::string::npos)
                    ids.push_back(share.value("objectId", ""));
            return ids;
        }
    }
    return {};
}

// A metadata text "{Key:value,...}" with the value of `key` replaced, or
// `text` as it is when it lacks the key.
std::string withValue(const std::string& text, const std::string& key, const std::string& value) {
    const std::string start = key + ":";
    size_t at = text.find("{" + start);
    if (at == std::string::npos) at = text.find("," + start);
    if (at == std::string::npos) return text;
    at += 1 + start.size();
    const size_t end = text.find_first_of(",}", at);
    return text.substr(0, at) + value + (end == std::string::npos ? std::string() : text.substr(end));
}

// The identity text naming `key` among the values stored cut, as a write
// that had to cut it leaves it: "...,CutValues:SubDirectory}".
std::string namingCut(const std::string& text, const std::string& key) {
    if (text.empty() || text.back() != '}') return text;
    const std::string body = text.substr(0, text.size() - 1);
    const bool named = body.find(",CutValues:") != std::string::npos;
    return body + (named ? "|" : ",CutValues:") + key + "}";
}

// One play: the host's descriptors and the simulator's state as the jobs
// leave them.
class Play {
public:
    Play(simkit::SimProcess& sim, const Scenario& scenario) : sim_(sim), scenario_(scenario) {}

    bool admin(const std::string& method, const std::string& path, const json& body, json* answer = nullptr) {
        std::string text;
        std::string error;
        if (!simkit::adminCall(sim_, method, path, body.is_null() ? std::string() : body.dump(), text, error)) {
            error_ = error;
            return false;
        }
        if (answer != nullptr) *answer = json::parse(text, nullptr, false);
        return true;
    }

    void run(int inFlight, Transcript& transcript) {
        transcript.inFlight = inFlight;
        if (!admin("POST", "/admin/reset", nullptr) || !admin("POST", "/admin/seed", scenario_.arrays) ||
            !admin("DELETE", "/admin/calls", nullptr)) {
            transcript.error = "the simulator could not be seeded: " + error_;
            return;
        }
        testsupport::TempSettings settings(
            "[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n" +
            testsupport::clientSettings(testsupport::serverCerts().ca,
                                       "nRequestsInFlight=" + std::to_string(inFlight) + "\n"));
        const std::string info = std::string("{arrayId:evs1,hostName:127.0.0.1,hostUserName:") + testsupport::kFieldUser +
                                 ",hostPassword:" + testsupport::kFieldPassword + ",hostid:3}";
        for (const Device& device : scenario_.devices) {
            snaps_.emplace_back(new fakehost::FakeSnapInfo);
            fakehost::FakeSnapInfo& s = *snaps_.back();
            s.sourceDevice = device.source;
            s.snapUUID = device.uuid;
            s.knowArray("filer1", info);
            s.arrayConfigStrings[QZSO::kMetroServerIpConfig].value = "127.0.0.1";
            s.arrayConfigInts[QZSO::kMetroServerPortConfig] = sim_.port();
            s.valueInts[QZSO::GET_VALUE_VOLSNAP_OP_SOURCE] = 1;
        }
        for (size_t j = 0; j < scenario_.jobs.size(); ++j) {
            JobRecord record;
            if (!runJob(scenario_.jobs[j], record)) {
                transcript.error = "job " + std::to_string(j + 1) + " (" + opName(scenario_.jobs[j].op) +
                                   ") could not be played: " + error_;
                return;
            }
            transcript.jobs.push_back(record);
        }
    }

private:
    bool runJob(const Job& job, JobRecord& record) {
        for (const Change& change : job.before)
            if (!apply(change)) return false;
        json state;
        if (!admin("GET", "/admin/state", nullptr, &state)) return false;
        for (const FaultPlan& fault : job.faults) {
            for (const std::string& matching : matchingTexts(fault, state["arrays"][0])) {
                json body = fault.action;
                body["operation"] = fault.operation;
                body["matching"] = matching;
                if (!admin("POST", "/admin/faults", body)) return false;
            }
        }
        if (!admin("DELETE", "/admin/calls", nullptr)) return false;

        std::vector<QZSO::SnapInfo*> handed;
        for (int d : job.devices) handed.push_back(snaps_.at(static_cast<size_t>(d)).get());
        std::vector<size_t> logMarks;
        for (const auto& s : snaps_) logMarks.push_back(s->log.size());
        std::vector<EvLogLine> lines;
        {
            fakehost::LogCapture capture;
            fakehost::FakeOSUtil util(kJobId);
            record.returnCode = entryOf(job.op)(handed.data(), static_cast<short>(handed.size()), &util);
            lines = capture.lines();
        }
        for (const EvLogLine& line : lines) {
            if (line.level > 0) continue;
            record.log.push_back(std::to_string(line.level) + " " + line.context + " " +
                                 withoutShareObjectIds(line.message));
        }
        for (size_t d = 0; d < snaps_.size(); ++d) record.devices.push_back(stateOf(*snaps_[d], logMarks[d]));

        json calls;
        if (!admin("DELETE", "/admin/faults", nullptr) || !admin("GET", "/admin/calls", nullptr, &calls) ||
            !admin("GET", "/admin/state", nullptr, &state))
            return false;
        record.arrayChanges = arrayChanges(calls);
        record.arrayObjects = arrayObjects(state);
        return true;
    }

    static DeviceState stateOf(const fakehost::FakeSnapInfo& s, size_t logMark) {
        DeviceState state;
        state.status = s.status;
        state.errorCode = s.errorCode;
        state.errorText = s.errorMessage;
        const auto identity = s.metadata.find(6);
        if (identity != s.metadata.end()) state.identity = identity->second;
        const auto settings = s.metadata.find(16);
        if (settings != s.metadata.end()) state.settings = settings->second;
        state.snapUUID = s.snapUUID;
        state.snapDevice = s.snapDevice;
        for (size_t i = logMark; i < s.log.size(); ++i)
            if (s.log[i].level == QZSO::HostLog::kFailure) state.hostFailures.push_back(s.log[i].text);
        return state;
    }

    // A change on the host's stored metadata, or on the array through the
    // admin interface (its state, changed, seeded back).
    bool apply(const Change& change) {
        if (change.kind == Change::Kind::CutValue || change.kind == Change::Kind::UnknownFileSystemId) {
            fakehost::FakeSnapInfo& s = *snaps_.at(static_cast<size_t>(change.device));
            const auto identity = s.metadata.find(6);
            if (identity == s.metadata.end()) return true;   // never prepared: nothing stored to change
            identity->second = change.kind == Change::Kind::CutValue
                                   ? namingCut(identity->second, change.key)
                                   : withValue(identity->second, "FileSystemID", kUnknownFileSystemId);
            return true;
        }
        json state;
        if (!admin("GET", "/admin/state", nullptr, &state)) return false;
        json& array = state["arrays"][0];
        std::string fileSystemId;
        for (const json& fs : array["filesystems"])
            if (fs.value("label", "") == change.fileSystem) fileSystemId = fs.value("filesystemId", "");
        const auto onIt = [&](const json& object) { return object.value("filesystemId", "") == fileSystemId; };
        json& fileSystems = array["filesystems"];
        json& shares = array["shares"];
        json& snapshots = array["snapshots"];
        switch (change.kind) {
            case Change::Kind::RemoveFileSystem:
                if (fileSystemId.empty()) return true;
                fileSystems.erase(std::remove_if(fileSystems.begin(), fileSystems.end(), onIt), fileSystems.end());
                shares.erase(std::remove_if(shares.begin(), shares.end(), onIt), shares.end());
                snapshots.erase(std::remove_if(snapshots.begin(), snapshots.end(), onIt), snapshots.end());
                break;
            case Change::Kind::UnmountFileSystem:
            case Change::Kind::RelabelFileSystem:
                for (json& fs : fileSystems) {
                    if (!onIt(fs)) continue;
                    if (change.kind == Change::Kind::UnmountFileSystem)
                        fs["status"] = "NOT_MOUNTED";
                    else
                        fs["label"] = change.fileSystem + "-renamed";
                }
                break;
            case Change::Kind::RemoveSnapshot: {
                // The state's displayName is the stored name, e.g. "QZHNAS-u01-e001-fs4".
                const std::string name = snaps_.at(static_cast<size_t>(change.device))->snapUUID;
                snapshots.erase(std::remove_if(snapshots.begin(), snapshots.end(),
                                               [&](const json& s) { return s.value("displayName", "") == name; }),
                                snapshots.end());
                break;
            }
            default: break;
        }
        return admin("POST", "/admin/seed", json{{"arrays", json::array({array})}});
    }

    simkit::SimProcess& sim_;
    const Scenario& scenario_;
    std::vector<std::unique_ptr<fakehost::FakeSnapInfo>> snaps_;
    std::string error_;
};

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string statusText(int status) {
    const char* name = QZSO::snapStatusName(status);
    return std::to_string(status) + (name != nullptr ? std::string(" ") + name : std::string());
}

std::string joined(const std::vector<std::string>& lines) {
    if (lines.empty()) return "(none)";
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : " | ") + line;
    return text;
}

// The banner a log line falls under ("... PHASE-DEVICE [2] ..."), so that a
// report names the device a differing line belongs to.
std::string bannerBefore(const std::vector<std::string>& log, size_t index) {
    for (size_t i = std::min(index, log.size()); i > 0; --i)
        if (log[i - 1].find("DEVICE [") != std::string::npos) return log[i - 1];
    return "(before the first device)";
}

// A device's state as named texts, in the order a report shows them.
std::vector<std::pair<const char*, std::string>> fieldsOf(const DeviceState& state) {
    return {
        {"status", statusText(state.status)},
        {"error code", std::to_string(state.errorCode)},
        {"error text", quoted(state.errorText)},
        {"metadata 6", quoted(state.identity)},
        {"metadata 16", quoted(state.settings)},
        {"snap UUID", quoted(state.snapUUID)},
        {"snap device", quoted(state.snapDevice)},
        {"host log level 2", joined(state.hostFailures)},
    };
}

// `beforeA` and `beforeB`: the device's states after the job before, when
// there was one. A value that differs but stayed as it was on both sides
// was reported with the job that made it.
void compareDevice(size_t d, const Device& device, const DeviceState& a, const DeviceState& b,
                   const DeviceState* beforeA, const DeviceState* beforeB, int inA, int inB,
                   std::vector<std::string>& out) {
    const auto fieldsA = fieldsOf(a);
    const auto fieldsB = fieldsOf(b);
    const auto previousA = beforeA != nullptr ? fieldsOf(*beforeA) : fieldsA;
    const auto previousB = beforeB != nullptr ? fieldsOf(*beforeB) : fieldsB;
    const bool first = beforeA == nullptr || beforeB == nullptr;
    std::vector<std::string> differences;
    for (size_t f = 0; f < fieldsA.size(); ++f) {
        const std::string& x = fieldsA[f].second;
        const std::string& y = fieldsB[f].second;
        if (x == y || (!first && x == previousA[f].second && y == previousB[f].second)) continue;
        differences.push_back(std::string(fieldsA[f].first) + ": " + std::to_string(inA) + " in flight " + x + "; " +
                              std::to_string(inB) + " in flight " + y);
    }
    if (differences.empty()) return;
    std::string text = "  device " + std::to_string(d) + " " + device.label + " " + device.source + ":";
    for (const std::string& difference : differences) text += "\n    " + difference;
    out.push_back(text);
}

// The lines of two logs that the other lacks, each with its place, from a
// longest common subsequence (the logs of one job are a few hundred lines).
void compareLog(const std::vector<std::string>& a, const std::vector<std::string>& b, int inA, int inB,
                std::vector<std::string>& out) {
    if (a == b) return;
    const size_t n = a.size();
    const size_t m = b.size();
    std::vector<std::vector<unsigned>> common(n + 1, std::vector<unsigned>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
        for (size_t k = m; k-- > 0;)
            common[i][k] = a[i] == b[k] ? common[i + 1][k + 1] + 1 : std::max(common[i + 1][k], common[i][k + 1]);
    std::ostringstream text;
    text << "  plug-in log (levels -1 and 0): " << n << " lines with " << inA << " in flight, " << m << " with "
         << inB << "; the lines only one side logged, in order:";
    const size_t kShown = 24;
    size_t shown = 0;
    size_t hidden = 0;
    const auto line = [&](int inFlight, const std::vector<std::string>& log, size_t index) {
        if (shown++ >= kShown) {
            ++hidden;
            return;
        }
        text << "\n    only with " << inFlight << " in flight, line " << index + 1 << " (under "
             << quoted(bannerBefore(log, index)) << "): " << quoted(log[index]);
    };
    size_t i = 0;
    size_t k = 0;
    while (i < n || k < m) {
        if (i < n && k < m && a[i] == b[k]) {
            ++i;
            ++k;
        } else if (k == m || (i < n && common[i + 1][k] >= common[i][k + 1])) {
            line(inA, a, i++);
        } else {
            line(inB, b, k++);
        }
    }
    if (hidden > 0) text << "\n    and " << hidden << " lines more";
    out.push_back(text.str());
}

std::vector<std::string> without(const std::vector<std::string>& from, const std::vector<std::string>& taken) {
    std::vector<std::string> rest;
    std::set_difference(from.begin(), from.end(), taken.begin(), taken.end(), std::back_inserter(rest));
    return rest;
}

// Two sorted lists; `beforeA` and `beforeB` those of the job before (empty
// for the first job): what differed after it already and still does was
// reported then, and is only counted here.
void compareSets(const char* what, const std::vector<std::string>& a, const std::vector<std::string>& b,
                 const std::vector<std::string>& beforeA, const std::vector<std::string>& beforeB, int inA, int inB,
                 std::vector<std::string>& out) {
    if (a == b) return;
    const std::vector<std::string> onlyA = without(a, b);
    const std::vector<std::string> onlyB = without(b, a);
    const std::vector<std::string> newA = without(onlyA, without(beforeA, beforeB));
    const std::vector<std::string> newB = without(onlyB, without(beforeB, beforeA));
    if (newA.empty() && newB.empty()) return;
    std::string text = std::string("  ") + what + ":";
    for (const std::string& line : newA) text += "\n    only with " + std::to_string(inA) + " in flight: " + line;
    for (const std::string& line : newB) text += "\n    only with " + std::to_string(inB) + " in flight: " + line;
    const size_t carried = onlyA.size() + onlyB.size() - newA.size() - newB.size();
    if (carried > 0) text += "\n    and " + std::to_string(carried) + " differences left by earlier jobs";
    out.push_back(text);
}

}  // namespace

DifferentialArray::DifferentialArray() {
    simkit::SimOptions options = testsupport::simOptions(
        {"--state", dir_.file("state.db"), "--strict-snapshot-paths"});
    options.adminToken = kAdminToken;
    options.adminTimeoutSecs = 30;
    if (!sim_.start(options, error_) && error_.empty()) error_ = "hnas-arraysim did not start";
}

Transcript DifferentialArray::play(const Scenario& scenario, int inFlight) {
    Transcript transcript;
    if (!started()) {
        transcript.error = "hnas-arraysim is not running: " + error_;
        return transcript;
    }
    Play(sim_, scenario).run(inFlight, transcript);
    return transcript;
}

std::vector<Divergence> compare(const Scenario& scenario, const Transcript& first, const Transcript& second) {
    std::vector<Divergence> divergences;
    const int inA = first.inFlight;
    const int inB = second.inFlight;
    const size_t jobs = std::min(first.jobs.size(), second.jobs.size());
    for (size_t j = 0; j < jobs && j < scenario.jobs.size(); ++j) {
        const JobRecord& a = first.jobs[j];
        const JobRecord& b = second.jobs[j];
        const JobRecord* beforeA = j > 0 ? &first.jobs[j - 1] : nullptr;
        const JobRecord* beforeB = j > 0 ? &second.jobs[j - 1] : nullptr;
        Divergence divergence;
        divergence.job = j;
        std::vector<std::string> found;
        const auto kind = [&](const char* name, size_t before) {
            if (found.size() > before) divergence.kinds.push_back(name);
        };
        if (a.returnCode != b.returnCode)
            found.push_back("  return code: " + std::to_string(inA) + " in flight " + std::to_string(a.returnCode) +
                            "; " + std::to_string(inB) + " in flight " + std::to_string(b.returnCode));
        kind("return code", 0);
        size_t before = found.size();
        for (size_t d = 0; d < a.devices.size() && d < b.devices.size(); ++d)
            compareDevice(d, scenario.devices[d], a.devices[d], b.devices[d],
                          beforeA != nullptr ? &beforeA->devices.at(d) : nullptr,
                          beforeB != nullptr ? &beforeB->devices.at(d) : nullptr, inA, inB, found);
        kind("devices", before);
        before = found.size();
        compareLog(a.log, b.log, inA, inB, found);
        kind("log", before);
        before = found.size();
        // The changes are the job's own: nothing carries over.
        compareSets("changes the array made (requests answered 2xx or not at all, by operation and status)",
                    a.arrayChanges,
                    b.arrayChanges, {}, {}, inA, inB, found);
        kind("array changes", before);
        before = found.size();
        compareSets("objects on the array", a.arrayObjects, b.arrayObjects,
                    beforeA != nullptr ? beforeA->arrayObjects : std::vector<std::string>(),
                    beforeB != nullptr ? beforeB->arrayObjects : std::vector<std::string>(), inA, inB, found);
        kind("array objects", before);
        if (found.empty()) continue;
        const Job& job = scenario.jobs[j];
        divergence.text = scenario.name + ", job " + std::to_string(j + 1) + " " + opName(job.op) + " on devices [";
        for (size_t i = 0; i < job.devices.size(); ++i)
            divergence.text += (i > 0 ? " " : "") + std::to_string(job.devices[i]);
        divergence.text += "]:";
        for (const std::string& line : found) divergence.text += "\n" + line;
        divergences.push_back(divergence);
    }
    if (first.jobs.size() != second.jobs.size()) {
        Divergence divergence;
        divergence.job = jobs;
        divergence.kinds = {"jobs played"};
        divergence.text = scenario.name + ": " + std::to_string(first.jobs.size()) + " jobs played with " +
                          std::to_string(inA) + " in flight, " + std::to_string(second.jobs.size()) + " with " +
                          std::to_string(inB);
        divergences.push_back(divergence);
    }
    return divergences;
}

std::string report(const Scenario& scenario, const Transcript& first, const Transcript& second,
                   const std::vector<Divergence>& divergences) {
    std::ostringstream out;
    out << "DIVERGENCE between " << first.inFlight << " and " << second.inFlight << " requests in flight: "
        << scenario.name;
    if (scenario.drawn) out << " (replay: scripts/differential-campaign.sh 1 " << scenario.seed << ")";
    out << "\n" << scenario.describe();
    for (const Divergence& divergence : divergences) out << divergence.text << "\n";
    return out.str();
}

std::string summary(const Scenario& scenario, const std::vector<Divergence>& divergences) {
    std::string text;
    for (const Divergence& divergence : divergences) {
        if (!text.empty()) text += "; ";
        text += "job " + std::to_string(divergence.job + 1);
        if (divergence.job < scenario.jobs.size()) text += std::string(" ") + opName(scenario.jobs[divergence.job].op);
        text += " (";
        for (size_t k = 0; k < divergence.kinds.size(); ++k) text += (k > 0 ? ", " : "") + divergence.kinds[k];
        text += ")";
    }
    return text;
}

}  // namespace differential
