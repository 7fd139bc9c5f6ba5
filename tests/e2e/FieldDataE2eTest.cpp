// A backup of the shares and exports real arrays hold, end to end: hnas-host
// runs every job of the lifecycle over all devices at once, with the real
// plug-in and the real HTTPS client, against hnas-arraysim. The data is the
// everyday kind our own samples avoid: NFS option lists with commas, CIFS
// paths with commas, braces and accents, a comment with a comma, a hidden
// share without Everyone, a native path on a long file-system label, and a
// file system elsewhere on the array that is not mounted.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include <nlohmann/json.hpp>

#include "harness/demo/SimulatorState.h"
#include "harness/framework/ExitCodes.h"
#include "host/SnapStatus.h"
#include "simkit/SimAdmin.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/FieldData.h"

namespace {

using namespace QZSO;
using nlohmann::json;

using testsupport::kFieldLongLabel;
using testsupport::kFieldPassword;
using testsupport::kFieldUser;

struct FieldDevice {
    std::string label;
    std::string source;       // the source-device string
    std::string sourceShare;  // the share or export it names; "" for a native path
    std::string copyPathEnd;  // how the mapped copy's path ends, after the snapshot's name
};

std::string unc(const std::string& shareAndSub) {
    return "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\hnas1\\\\" + shareAndSub +
           ",targethostname:hnas1}";
}
std::string nfs(const std::string& exportName) {
    return "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/" + exportName + ",targethostname:hnas1}";
}
std::string native(const std::string& path) {
    return "{type:native_hnas,path:/__VOLUME__/" + path + ",targethostname:hnas1}";
}

const std::vector<FieldDevice>& fieldDevices() {
    static const std::vector<FieldDevice> devices = {
        {"nfs-rw", nfs("exp-rw"), "/exp-rw", "/exp-rw"},
        {"nfs-ro", nfs("exp-ro"), "/exp-ro", "/exp-ro"},
        {"nfs-hosts", nfs("exp-hosts"), "/exp-hosts", "/exp-hosts"},
        {"cifs-finance", unc("finance"), "finance", "\\Finance, Legal"},
        {"cifs-team", unc("team\\\\Plans {2027}"), "team", "\\Team {A}\\Plans {2027}"},
        {"cifs-ventes", unc("ventes\\\\Été 2026"), "ventes", "\\Café Ventes\\Été 2026"},
        {"cifs-sales", unc("sales"), "sales", "\\Sales"},
        {"cifs-payroll", unc("Payroll$"), "Payroll$", "\\Payroll"},
        {"native-long", native(std::string(kFieldLongLabel) + "/reports"), "", "/"},
        {"native-fs4", native("fs4/builds"), "", "/"},
    };
    return devices;
}

std::vector<std::string> labels() {
    std::vector<std::string> all;
    for (const FieldDevice& d : fieldDevices()) all.push_back(d.label);
    return all;
}

// "\\~snapshot\\a\\b" as "\~snapshot\a\b": clone paths are written
// with doubled separators, source paths with single ones.
std::string singleSeparators(std::string path) {
    for (std::size_t at = path.find("\\\\"); at != std::string::npos; at = path.find("\\\\", at)) path.erase(at, 1);
    return path;
}

using Entry = std::tuple<std::string, int, std::string>;   // name, permission, type

std::set<Entry> entriesOf(const json& share) {
    std::set<Entry> entries;
    if (!share.contains("authentications")) return entries;
    for (const json& a : share["authentications"])
        entries.emplace(a.value("name", ""), a.value("permission", -1), a.value("type", ""));
    return entries;
}

class FieldData : public ::testing::Test {
protected:
    void SetUp() override {
        world = std::make_unique<e2e::World>(testsupport::fieldDataSeed());
        ASSERT_TRUE(world->ok()) << world->error();
        ASSERT_EQ(0, world->addArray("hnas1", "evs1", 1, kFieldUser, kFieldPassword).exitCode);
        for (const FieldDevice& d : fieldDevices()) {
            const e2e::HostRun added = world->addDevice(d.label, d.source);
            ASSERT_EQ(0, added.exitCode) << d.label << ": " << added.output;
        }
    }

    json state() {
        std::string answer, error;
        EXPECT_TRUE(simkit::adminCall(world->simulator(), "GET", "/admin/state", "", answer, error)) << error;
        const json parsed = json::parse(answer, nullptr, false);
        return parsed.is_discarded() ? json::object() : parsed["arrays"][0];
    }

    // The share or export of the array named `name` and `protocol`.
    static const json* shareNamed(const json& array, const std::string& name, const std::string& protocol) {
        for (const json& s : array["shares"])
            if (s.value("name", "") == name && s.value("protocol", "") == protocol) return &s;
        return nullptr;
    }

    // Mounts or unmounts a file system behind the plug-in's back.
    void setFileSystemStatus(const std::string& label, const std::string& status) {
        json array = state();
        for (json& fs : array["filesystems"])
            if (fs.value("label", "") == label) fs["status"] = status;
        std::string answer, error;
        const std::string seed = json{{"arrays", json::array({array})}}.dump();
        ASSERT_TRUE(simkit::adminCall(world->simulator(), "POST", "/admin/seed", seed, answer, error)) << error;
    }

    // Runs one job over every device; checks its exit code and each status.
    void expectJob(const std::string& operation, int exitCode, const std::map<std::string, int>& statuses) {
        SCOPED_TRACE(operation);
        const e2e::HostRun run = world->job(operation, labels());
        EXPECT_EQ(exitCode, run.exitCode) << run.output;
        auto now = world->devices();
        for (const auto& expected : statuses)
            EXPECT_EQ(expected.second, now[expected.first].status)
                << expected.first << ": " << now[expected.first].errorMessage;
    }

    static std::map<std::string, int> all(int status) {
        std::map<std::string, int> statuses;
        for (const std::string& label : labels()) statuses[label] = status;
        return statuses;
    }

    std::unique_ptr<e2e::World> world;
};

TEST_F(FieldData, EveryEverydayDeviceGoesThroughTheWholeLifecycleInOneJobEach) {
    expectJob("prepare", kExitOk, all(SNAP_STATUS_PREPARED));
    expectJob("snap", kExitOk, all(SNAP_STATUS_SNAPPED));
    auto devices = world->devices();
    EXPECT_EQ(devices["native-long"].snapUUID.size(), devices["native-long"].snapUUID.rfind(kFieldLongLabel) +
                                                          std::string(kFieldLongLabel).size());

    expectJob("map", kExitOk, all(SNAP_STATUS_MAPPED));
    devices = world->devices();
    const json array = state();
    for (const FieldDevice& d : fieldDevices()) {
        SCOPED_TRACE(d.label);
        const std::string& snapshot = devices[d.label].snapUUID;
        const std::string& snapDevice = devices[d.label].snapDevice;
        // The copy the host is handed: the share or export its snap device names.
        const json* copy = nullptr;
        for (const json& s : array["shares"]) {
            const std::string name = s.value("name", "");
            if (name.find("QZHNAS-") != std::string::npos && snapDevice.find(name + ",") != std::string::npos)
                copy = &s;
            if (name == "/" + snapshot) copy = &s;   // a native path's export, named after its snapshot
        }
        ASSERT_NE(nullptr, copy) << snapDevice;
        // It points inside this device's snapshot, at the source's directory.
        const std::string path = singleSeparators(copy->value("path", ""));
        EXPECT_NE(std::string::npos, path.find(snapshot)) << path;
        EXPECT_EQ(path.size(), path.rfind(d.copyPathEnd) + d.copyPathEnd.size()) << path;
        if (d.sourceShare.empty()) continue;
        // Exactly the source's access and settings, but for a comment the
        // metadata text cannot carry whole: it is saved up to its first
        // reserved character, so that the permissions beside it are saved.
        const std::string protocol = d.sourceShare[0] == '/' ? "NFS" : "CIFS";
        const json* source = shareNamed(array, d.sourceShare, protocol);
        ASSERT_NE(nullptr, source);
        json settings = (*source)["settings"];
        if (d.label == "cifs-sales") settings["comment"] = "Sales";
        EXPECT_EQ(settings, (*copy)["settings"]);
        EXPECT_EQ(entriesOf(*source), entriesOf(*copy));
    }

    expectJob("unmap", kExitOk, all(SNAP_STATUS_UNMAPPED));
    std::vector<SimShare> shares;
    std::string error;
    ASSERT_TRUE(listSimShares(world->simulator(), shares, error)) << error;
    for (const SimShare& s : shares) EXPECT_EQ(std::string::npos, s.name.find("QZHNAS-")) << s.name;

    // fs4 goes offline: its device keeps its status, the others are found, and
    // the file system that was never mounted stops nothing.
    setFileSystemStatus("fs4", "NOT_MOUNTED");
    expectJob("reconcile", kExitSomeFailed, all(SNAP_STATUS_UNMAPPED));
    setFileSystemStatus("fs4", "MOUNTED");
    expectJob("reconcile", kExitOk, all(SNAP_STATUS_UNMAPPED));

    expectJob("revert", kExitOk, all(SNAP_STATUS_UNMAPPED));
    expectJob("delete", kExitOk, all(SNAP_STATUS_DELETED));
    std::vector<SimSnapshot> snapshots;
    ASSERT_TRUE(listSimSnapshots(world->simulator(), snapshots, error)) << error;
    for (const SimSnapshot& s : snapshots) EXPECT_EQ(std::string::npos, s.storedName.find("QZHNAS-")) << s.storedName;
}

}  // namespace
