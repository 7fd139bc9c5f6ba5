#include "tests/differential/DifferentialScenario.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "tests/support/FieldData.h"

namespace differential {

namespace {

using testsupport::kFieldLongExport;
using testsupport::kFieldLongLabel;
using testsupport::kFieldLongShare;



std::string unc(const std::string& shareAndSub) {
    return "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\filer1\\\\" + shareAndSub +
           ",targethostname:filer1}";
}
std::string nfs(const std::string& exportPath) {
    return "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/" + exportPath + ",targethostname:filer1}";
}
std::string native(const std::string& path) {
    return "{type:native_hnas,path:/__VOLUME__/" + path + ",targethostname:filer1}";
}

// Every device a drawn scenario may hold (its UUID is given when drawn).
// The first three name one share and sub-directory in three spellings.
std::vector<Device> deviceCatalogue() {
    const std::string longShare = kFieldLongShare;
    const std::string longExport = std::string(kFieldLongExport).substr(1);
    return {
        {"cifs-data-sub1", unc("data\\\\sub1"), "", "fs1", "data", true},
        {"cifs-data-SUB1", unc("data\\\\SUB1"), "", "fs1", "data", true},
        {"cifs-DATA-sub1", unc("DATA\\\\sub1"), "", "fs1", "DATA", true},
        {"cifs-data", unc("data"), "", "fs1", "data", true},
        {"cifs-finance", unc("finance"), "", "fs1", "finance", true},
        {"cifs-team-plans", unc("team\\\\Plans {2027}"), "", "fs1", "team", true},
        {"cifs-ventes-ete", unc("ventes\\\\Été 2026"), "", "fs1", "ventes", true},
        {"cifs-sales", unc("sales"), "", "fs1", "sales", true},
        {"cifs-payroll", unc("Payroll$"), "", "fs1", "Payroll$", true},
        {"cifs-eng-build", unc("eng\\\\build"), "", "fs2", "eng", true},
        {"cifs-ops", unc("Ops$"), "", "fs3", "Ops$", true},
        {"cifs-long-reports", unc(longShare + "\\\\reports"), "", "fs3", longShare, true},
        {"nfs-rw", nfs("exp-rw"), "", "fs1", "/exp-rw", false},
        {"nfs-rw-dir1", nfs("exp-rw\\/dir1"), "", "fs1", "/exp-rw", false},
        {"nfs-ro", nfs("exp-ro"), "", "fs1", "/exp-ro", false},
        {"nfs-hosts", nfs("exp-hosts"), "", "fs2", "/exp-hosts", false},
        {"nfs-long", nfs(longExport), "", kFieldLongLabel, "/" + longExport, false},
        {"native-fs1", native("fs1/other"), "", "fs1", "", false},
        {"native-fs4", native("fs4/builds"), "", "fs4", "", false},
        {"native-fs5", native("fs5/home"), "", "fs5", "", false},
        {"native-long", native(std::string(kFieldLongLabel) + "/reports"), "", kFieldLongLabel, "", false},
        {"native-offline", native("fs-offline/x"), "", "fs-offline", "", false},
    };
}

// splitmix64: the same numbers from a seed on every platform (the standard
// distributions are not).
class Draw {
public:
    explicit Draw(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T>
    const T& pick(const std::vector<T>& from) { return from[static_cast<size_t>(below(static_cast<int>(from.size())))]; }
    // A non-empty subset of 0..n-1, in order.
    std::vector<int> subset(int n) {
        std::vector<int> chosen;
        for (int i = 0; i < n; ++i)
            if (chance(60)) chosen.push_back(i);
        if (chosen.empty()) chosen.push_back(below(n));
        return chosen;
    }

private:
    uint64_t state_;
};

std::vector<int> all(size_t n) {
    std::vector<int> every;
    for (size_t i = 0; i < n; ++i) every.push_back(static_cast<int>(i));
    return every;
}

// The distinctive part of a permission entry the source share of `device`
// carries besides Everyone ("finance" of "EXAMPLE\finance"): what the body
// of its copy's permission add holds. "" when it has none.
std::string permissionEntryOf(const nlohmann::json& arrays, const Device& device) {
    for (const nlohmann::json& share : arrays["arrays"][0]["shares"]) {
        const std::string name = share.value("name", "");
        if (share.value("protocol", "") != "CIFS" || name.size() != device.share.size() ||
            !std::equal(name.begin(), name.end(), device.share.begin(),
                        [](char a, char b) {
                            return std::tolower(static_cast<unsigned char>(a)) ==
                                   std::tolower(static_cast<unsigned char>(b));
                        }))
            continue;
        for (const nlohmann::json& entry : share.value("authentications", nlohmann::json::array())) {
            const std::string entryName = entry.value("name", "");
            if (entryName == "Everyone") continue;
            return entryName.substr(entryName.rfind('\\') + 1);
        }
    }
    return std::string();
}

// The calls of `op` that `device` makes, as faults without their action.
std::vector<FaultPlan> faultTargets(Op op, const Device& device, const nlohmann::json& arrays) {
    using T = FaultPlan::Target;
    std::vector<FaultPlan> targets;
    const auto add = [&](const char* operation, T target, const std::string& text) {
        if (!text.empty()) targets.push_back(FaultPlan{operation, target, text, nullptr});
    };
    const bool share = !device.share.empty();
    const std::string shareQuery = "name=" + device.share + "&";
    switch (op) {
        case Op::Prepare:
            add("listVirtualServers", T::Text, "virtual-servers");
            if (share) {
                add("listShares", T::Text, shareQuery);
                add("getFileSystem", T::FileSystemId, device.fileSystem);
            } else {
                add("listFileSystems", T::Text, "label=" + device.fileSystem + "&");
            }
            if (device.cifs) add("listAuthentications", T::ShareObjectId, device.share);
            break;
        case Op::Snap: add("createSnapshot", T::Text, device.uuid); break;
        case Op::IsMapped: add("listShares", T::Text, device.uuid); break;
        case Op::Map:
            add("listShares", T::Text, device.uuid);
            add("createShare", T::Text, device.uuid);
            if (share) add("listShares", T::Text, shareQuery);
            if (device.cifs) add("addAuthentication", T::Text, permissionEntryOf(arrays, device));
            break;
        case Op::Unmap:
            add("listShares", T::Text, device.uuid);
            add("deleteShare", T::SharesHoldingText, device.uuid);
            break;
        case Op::Reconcile:
            // GET filesystems without a label: the list reconcile reads.
            add("listFileSystems", T::Text, "/filesystems?\n");
            add("listSnapshots", T::FileSystemId, device.fileSystem);
            break;
        case Op::Revert: add("rollbackSnapshot", T::HexText, device.uuid); break;
        case Op::Delete:
            add("listSnapshots", T::FileSystemId, device.fileSystem);
            add("deleteSnapshot", T::HexText, device.uuid);
            break;
    }
    return targets;
}

const int kEveryCall = 1000000;   // the simulator's largest count: every matching call

// What the fault does: a refusal, a reset before the work, a lost answer
// after it, or a delay well inside the client's request time-out (a delay
// past it would make the outcome depend on timing).
nlohmann::json drawAction(Draw& draw) {
    switch (draw.below(9)) {
        case 0: return {{"status", 500}, {"count", kEveryCall}};
        case 1: return {{"status", 404}, {"count", kEveryCall}};
        case 2: return {{"status", 409}, {"count", kEveryCall}};
        case 3: return {{"status", 503}, {"body", "empty"}, {"count", kEveryCall}};
        case 4: return {{"status", 403}, {"message", "not licensed"}, {"count", kEveryCall}};
        case 5: return {{"action", "close"}, {"count", draw.chance(50) ? 1 : kEveryCall}};
        case 6: return {{"action", "closeAfter"}, {"count", draw.chance(50) ? 1 : kEveryCall}};
        default: return {{"latencyMs", 50 + 50 * draw.below(8)}, {"count", kEveryCall}};
    }
}

const char* const kCutKeys[] = {"SubDirectory", "FileSystemID", "SnapshotObjectID", "VirtualServerObjectID",
                                "FileSystemName"};

// One change, placed before a job where it matters.
void drawChange(Draw& draw, Scenario& scenario) {
    const int device = draw.below(static_cast<int>(scenario.devices.size()));
    const std::string fileSystem = scenario.devices[static_cast<size_t>(device)].fileSystem;
    Change change{Change::Kind::CutValue, device, "", fileSystem};
    std::vector<Op> before;
    switch (draw.below(6)) {
        case 0:
            change.key = kCutKeys[draw.below(5)];
            before = {Op::IsMapped, Op::Map, Op::Unmap, Op::Revert, Op::Delete};
            break;
        case 1:
            change.kind = Change::Kind::UnknownFileSystemId;
            before = {Op::Map, Op::Unmap, Op::Revert, Op::Delete};
            break;
        case 2:
            change.kind = Change::Kind::RemoveFileSystem;
            before = {Op::Map, Op::Reconcile, Op::Revert, Op::Delete};
            break;
        case 3:
            change.kind = Change::Kind::UnmountFileSystem;
            before = {Op::Map, Op::Reconcile, Op::Delete};
            break;
        case 4:
            change.kind = Change::Kind::RelabelFileSystem;
            before = {Op::Snap, Op::Map, Op::Reconcile, Op::Delete};
            break;
        default:
            change.kind = Change::Kind::RemoveSnapshot;
            before = {Op::Reconcile, Op::Revert, Op::Delete};
            break;
    }
    const Op op = draw.pick(before);
    for (Job& job : scenario.jobs) {
        if (job.op != op) continue;
        job.before.push_back(change);
        return;
    }
}

std::string describeChange(const Change& change, const std::vector<Device>& devices) {
    const std::string of = change.device >= 0 && static_cast<size_t>(change.device) < devices.size()
                               ? " of device " + std::to_string(change.device) + " " +
                                     devices[static_cast<size_t>(change.device)].label
                               : std::string();
    switch (change.kind) {
        case Change::Kind::CutValue: return "identity" + of + " names " + change.key + " as stored cut";
        case Change::Kind::UnknownFileSystemId: return "identity" + of + " names an unknown file-system ID";
        case Change::Kind::RemoveFileSystem: return "file system " + change.fileSystem + " removed from the array";
        case Change::Kind::UnmountFileSystem: return "file system " + change.fileSystem + " unmounted";
        case Change::Kind::RelabelFileSystem: return "file system " + change.fileSystem + " relabelled";
        case Change::Kind::RemoveSnapshot: return "snapshots" + of + " removed behind the plug-in's back";
    }
    return "?";
}

const char* targetName(FaultPlan::Target target) {
    switch (target) {
        case FaultPlan::Target::Text: return "matching";
        case FaultPlan::Target::HexText: return "matching the hex form of";
        case FaultPlan::Target::FileSystemId: return "matching the ID of file system";
        case FaultPlan::Target::ShareObjectId: return "matching the object ID of share";
        case FaultPlan::Target::SharesHoldingText: return "matching the object ID of each share holding";
    }
    return "?";
}

// "[0 2 3]"
std::string indices(const std::vector<int>& list) {
    std::string text = "[";
    for (size_t i = 0; i < list.size(); ++i) text += (i > 0 ? " " : "") + std::to_string(list[i]);
    return text + "]";
}

// `uuid` for the device at `index`: "u03-5f2a".
std::string uuidFor(size_t index, uint64_t seed) {
    static const char kHex[] = "0123456789abcdef";
    std::string uuid = "u";
    uuid += static_cast<char>('0' + index / 10 % 10);
    uuid += static_cast<char>('0' + index % 10);
    uuid += '-';
    for (int shift = 12; shift >= 0; shift -= 4) uuid += kHex[(seed >> shift) & 0xF];
    return uuid;
}

}  // namespace

const char* opName(Op op) {
    switch (op) {
        case Op::Prepare: return "prepare";
        case Op::Snap: return "snap";
        case Op::IsMapped: return "isMapped";
        case Op::Map: return "map";
        case Op::Unmap: return "unmap";
        case Op::Reconcile: return "reconcile";
        case Op::Revert: return "revert";
        case Op::Delete: return "delete";
    }
    return "?";
}

nlohmann::json fieldArrays() { return nlohmann::json::parse(testsupport::fieldDataSeed()); }

std::string Scenario::describe() const {
    std::ostringstream out;
    out << "scenario " << name << "\n  devices:\n";
    for (size_t i = 0; i < devices.size(); ++i)
        out << "    " << i << " " << devices[i].label << " uuid " << devices[i].uuid << " " << devices[i].source << "\n";
    out << "  jobs:\n";
    for (size_t j = 0; j < jobs.size(); ++j) {
        const Job& job = jobs[j];
        out << "    " << j + 1 << " " << opName(job.op) << " " << indices(job.devices) << "\n";
        for (const Change& change : job.before) out << "        before: " << describeChange(change, devices) << "\n";
        for (const FaultPlan& fault : job.faults)
            out << "        fault: " << fault.operation << " " << targetName(fault.target) << " "
                << nlohmann::json(fault.text).dump() << " " << fault.action.dump() << "\n";
    }
    return out.str();
}

Scenario drawScenario(uint64_t seed) {
    Draw draw(seed);
    Scenario scenario;
    scenario.name = "seed " + std::to_string(seed);
    scenario.drawn = true;
    scenario.seed = seed;
    scenario.arrays = fieldArrays();

    // 3 to 7 devices; in one scenario of three, two spellings of one share
    // and sub-directory among them. The offline native path fails prepare
    // (and so stops it), so it is drawn rarely.
    std::vector<Device> catalogue = deviceCatalogue();
    std::vector<Device> chosen;
    if (draw.chance(33)) {
        const int first = draw.below(3);
        chosen.push_back(catalogue[static_cast<size_t>(first)]);
        chosen.push_back(catalogue[static_cast<size_t>((first + 1 + draw.below(2)) % 3)]);
    }
    const size_t wanted = static_cast<size_t>(3 + draw.below(5));
    for (int tries = 0; chosen.size() < wanted && tries < 100; ++tries) {
        const Device& candidate = draw.pick(catalogue);
        if (candidate.label == "native-offline" && !draw.chance(20)) continue;
        const bool taken = std::any_of(chosen.begin(), chosen.end(),
                                       [&](const Device& d) { return d.label == candidate.label; });
        if (!taken) chosen.insert(chosen.begin() + draw.below(static_cast<int>(chosen.size()) + 1), candidate);
    }
    for (size_t i = 0; i < chosen.size(); ++i) chosen[i].uuid = uuidFor(i, seed);
    scenario.devices = chosen;

    // The lifecycle of the demo; is-mapped, map, unmap and revert on
    // subsets. A revert discards every snapshot of its file systems, so it
    // is left out of some scenarios, for delete to find snapshots to delete.
    const int n = static_cast<int>(chosen.size());
    const std::vector<int> every = all(chosen.size());
    scenario.jobs = {
        {Op::Prepare, every, {}, {}},        {Op::Snap, every, {}, {}},
        {Op::IsMapped, draw.subset(n), {}, {}}, {Op::Map, draw.subset(n), {}, {}},
        {Op::IsMapped, every, {}, {}},       {Op::Unmap, draw.subset(n), {}, {}},
        {Op::Reconcile, every, {}, {}},
    };
    if (draw.chance(70)) scenario.jobs.push_back({Op::Revert, draw.subset(n), {}, {}});
    scenario.jobs.push_back({Op::Delete, every, {}, {}});
    if (draw.chance(50)) drawChange(draw, scenario);
    if (draw.chance(20)) drawChange(draw, scenario);

    for (Job& job : scenario.jobs) {
        const int faults = draw.chance(40) ? (draw.chance(25) ? 2 : 1) : 0;
        for (int f = 0; f < faults; ++f) {
            const Device& target = scenario.devices[static_cast<size_t>(draw.pick(job.devices))];
            const std::vector<FaultPlan> targets = faultTargets(job.op, target, scenario.arrays);
            if (targets.empty()) continue;
            FaultPlan fault = draw.pick(targets);
            fault.action = drawAction(draw);
            job.faults.push_back(fault);
        }
    }
    return scenario;
}

Scenario deleteWithUnknownFileSystem() {
    Scenario scenario;
    scenario.name = "delete with an identity naming an unknown file system";
    scenario.arrays = fieldArrays();
    scenario.devices = {
        {"native-fs4", native("fs4/builds"), "u01-d001", "fs4", "", false},
        {"native-fs5", native("fs5/home"), "u02-d001", "fs5", "", false},
        {"nfs-hosts", nfs("exp-hosts"), "u03-d001", "fs2", "/exp-hosts", false},
    };
    const std::vector<int> every = {0, 1, 2};
    Change unknown{Change::Kind::UnknownFileSystemId, 0, "", ""};
    scenario.jobs = {{Op::Prepare, every, {}, {}}, {Op::Snap, every, {}, {}}, {Op::Delete, every, {unknown}, {}}};
    return scenario;
}

Scenario mapOfCaseVariants() {
    Scenario scenario;
    scenario.name = "map of two spellings of one sub-directory";
    scenario.arrays = fieldArrays();
    scenario.devices = {
        {"cifs-data-sub1", unc("data\\\\sub1"), "u01-c001", "fs1", "data", true},
        {"cifs-data-SUB1", unc("data\\\\SUB1"), "u02-c001", "fs1", "data", true},
    };
    const std::vector<int> both = {0, 1};
    scenario.jobs = {{Op::Prepare, both, {}, {}}, {Op::Snap, both, {}, {}}, {Op::Map, both, {}, {}}};
    return scenario;
}

}  // namespace differential
