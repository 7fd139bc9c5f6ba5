// The plug-in's lifecycle end to end: hnas-host runs each job as its own
// process with the real plug-in and the real HTTPS client against
// hnas-arraysim on loopback, in the demo's world of two arrays and four
// devices (see harness/demo/DemoScenario.h).
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "harness/demo/DemoScenario.h"
#include "harness/demo/SimulatorState.h"
#include "syskit/ChildProcess.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostObjects.h"
#include "host/SnapStatus.h"
#include "records/HNASDeviceRecords.h"
#include "tests/e2e/E2eSupport.h"

namespace {

using namespace QZSO;

const std::vector<std::string> kAll = {"cifs-data", "nfs-exp1", "native-home", "nfs-exp3"};
const char kPassword1[] = "Demo-pw-1!";
const char kPassword2[] = "Demo-pw-2!";

// The demo's world, the arrays registered with `password1`/`password2`.
class DemoWorld : public ::testing::Test {
protected:
    void SetUp() override { setUpWith(kPassword1, kPassword2); }

    void setUpWith(const std::string& password1, const std::string& password2) {
        world = std::make_unique<e2e::World>(demoSeedJson({kPassword1, kPassword2}));
        ASSERT_TRUE(world->ok()) << world->error();
        ASSERT_EQ(0, world->addArray(kDemoHostArray1, "evs1", 1, kDemoUser1, password1).exitCode);
        ASSERT_EQ(0, world->addArray(kDemoHostArray2, "evs2", 2, kDemoUser2, password2).exitCode);
        for (const DemoDevice& d : demoDevices()) ASSERT_EQ(0, world->addDevice(d.label, d.sourceDevice).exitCode);
    }

    // Runs the job and checks its exit code and every device's status.
    void expectJob(const std::string& operation, const std::vector<std::string>& devices, int exitCode,
                   const std::map<std::string, int>& statuses) {
        SCOPED_TRACE(operation);
        const e2e::HostRun run = world->job(operation, devices);
        EXPECT_EQ(exitCode, run.exitCode) << run.output;
        auto now = world->devices();
        for (const auto& expected : statuses) {
            SCOPED_TRACE(expected.first);
            EXPECT_EQ(expected.second, now[expected.first].status) << now[expected.first].errorMessage;
        }
    }

    static std::map<std::string, int> all(int status, const std::vector<std::string>& devices = kAll) {
        std::map<std::string, int> statuses;
        for (const std::string& d : devices) statuses[d] = status;
        return statuses;
    }

    std::set<std::string> snapshotsOnArrays() {
        std::vector<SimSnapshot> snapshots;
        std::string error;
        EXPECT_TRUE(listSimSnapshots(world->simulator(), snapshots, error)) << error;
        std::set<std::string> names;
        for (const SimSnapshot& s : snapshots) names.insert(s.storedName);
        return names;
    }

    std::set<std::string> sharesOverSnapshots() {
        std::vector<SimShare> shares;
        std::string error;
        EXPECT_TRUE(listSimShares(world->simulator(), shares, error)) << error;
        std::set<std::string> names;
        for (const SimShare& s : shares)
            if (s.name.find("QZHNAS-") != std::string::npos) names.insert(s.name);
        return names;
    }

    // Every job of a backup's life, one process each, checked after each.
    void wholeLifecycle();

    std::unique_ptr<e2e::World> world;
};

void DemoWorld::wholeLifecycle() {
    expectJob("prepare", kAll, kExitOk, all(SNAP_STATUS_PREPARED));
    auto devices = world->devices();
    EXPECT_EQ("hnas1", devices["cifs-data"].arrayName);
    EXPECT_EQ("evs2", devices["native-home"].arrayName) << "attached through the alias search";
    EXPECT_EQ(2u, devices["cifs-data"].metadata.size()) << "a share keeps its settings (type 16) too";
    EXPECT_EQ(1u, devices["native-home"].metadata.count(SM_MDT_SNAP_UUID));
    EXPECT_EQ(0u, devices["native-home"].metadata.count(SM_MDT_FS_INFO));

    expectJob("snap", kAll, kExitOk, all(SNAP_STATUS_SNAPPED));
    devices = world->devices();
    EXPECT_EQ(devices["native-home"].snapUUID, devices["nfs-exp3"].snapUUID);
    const std::set<std::string> snapshots = {devices["cifs-data"].snapUUID, devices["nfs-exp1"].snapUUID,
                                             devices["native-home"].snapUUID};
    EXPECT_EQ(snapshots, snapshotsOnArrays());
    for (const std::string& d : kAll) EXPECT_EQ(0u, devices[d].snapUUID.find("QZHNAS-")) << d;

    expectJob("is-mapped", kAll, kExitOk, all(SNAP_STATUS_NOT_MAPPED));
    expectJob("map", kAll, kExitOk, all(SNAP_STATUS_MAPPED));
    devices = world->devices();
    // The share of a snapshot: "<snapshot stem><share>-<sub-directory>-QZShare".
    const std::string& cifsSnap = devices["cifs-data"].snapUUID;
    const std::string cifsShare = cifsSnap.substr(0, cifsSnap.size() - 3) + "data-projects-q3-QZShare";
    const std::string& nfsSnap = devices["nfs-exp1"].snapUUID;
    const std::string nfsExport = "/" + nfsSnap.substr(0, nfsSnap.size() - 3) + "exp1-QZShare";
    const std::string nativeExport = "/" + devices["native-home"].snapUUID;
    const std::set<std::string> shares = sharesOverSnapshots();
    EXPECT_EQ(4u, shares.size());
    EXPECT_EQ(1u, shares.count(cifsShare));
    EXPECT_EQ(1u, shares.count(nfsExport));
    EXPECT_EQ(1u, shares.count(nativeExport));
    EXPECT_NE(std::string::npos, devices["cifs-data"].snapDevice.find(cifsShare));
    EXPECT_NE(std::string::npos, devices["native-home"].snapDevice.find("exportpath:" + nativeExport));

    // is-mapped looks for the snapshot's own name: only the native export
    // (and nfs-exp3, which shares that snapshot) is found.
    expectJob("is-mapped", kAll, kExitOk,
              {{"cifs-data", SNAP_STATUS_NOT_MAPPED},
               {"nfs-exp1", SNAP_STATUS_NOT_MAPPED},
               {"native-home", SNAP_STATUS_MAPPED},
               {"nfs-exp3", SNAP_STATUS_MAPPED}});

    expectJob("unmap", kAll, kExitOk, all(SNAP_STATUS_UNMAPPED));
    EXPECT_TRUE(sharesOverSnapshots().empty());
    for (const auto& d : world->devices()) EXPECT_EQ("", d.second.snapDevice) << d.first;

    std::string error;
    ASSERT_TRUE(removeSimSnapshot(world->simulator(), devices["nfs-exp1"].snapUUID, error)) << error;
    expectJob("reconcile", kAll, kExitSomeFailed,
              {{"cifs-data", SNAP_STATUS_UNMAPPED},
               {"nfs-exp1", SNAP_STATUS_EXTERNALLY_DELETED},
               {"native-home", SNAP_STATUS_UNMAPPED},
               {"nfs-exp3", SNAP_STATUS_UNMAPPED}});

    const std::vector<std::string> remaining = {"cifs-data", "native-home", "nfs-exp3"};
    expectJob("revert", remaining, kExitOk, all(SNAP_STATUS_UNMAPPED, remaining));
    expectJob("delete", remaining, kExitOk, all(SNAP_STATUS_DELETED, remaining));
    EXPECT_TRUE(snapshotsOnArrays().empty());

    const e2e::HostRun history = world->host({"history"});
    EXPECT_EQ(0, history.exitCode);
    EXPECT_EQ(std::string::npos, history.output.find("running")) << history.output;
}

TEST_F(DemoWorld, WholeLifecycleAcrossSeparateJobs) { wholeLifecycle(); }

// The same against a host that counts the size a text needs without its
// NUL: a text of exactly the size told, and every text read after a
// regrowth, fills the buffer's size and puts the NUL in its extra byte.
TEST_F(DemoWorld, WholeLifecycleWithAHostCountingSizesWithoutTheNul) {
    ASSERT_EQ(0, setenv(kHostSizeWithoutNulVariable, "1", 1));
    wholeLifecycle();
    unsetenv(kHostSizeWithoutNulVariable);
}

TEST_F(DemoWorld, TwoDevicesOnOneFileSystemShareOneSnapshotOnTheArray) {
    const std::vector<std::string> fs3 = {"native-home", "nfs-exp3"};
    expectJob("prepare", fs3, kExitOk, all(SNAP_STATUS_PREPARED, fs3));
    world->clearCalls();
    expectJob("snap", fs3, kExitOk, all(SNAP_STATUS_SNAPPED, fs3));
    EXPECT_EQ(1, world->callCount("createSnapshot"));
    auto devices = world->devices();
    EXPECT_EQ(devices["native-home"].snapUUID, devices["nfs-exp3"].snapUUID);
    EXPECT_EQ(std::set<std::string>{devices["native-home"].snapUUID}, snapshotsOnArrays());
    // Each device's own identity metadata names the one snapshot.
    const std::string objectId = "SnapshotObjectID:";
    const std::string& home = devices["native-home"].metadata[SM_MDT_SNAP_UUID];
    const std::string& exp3 = devices["nfs-exp3"].metadata[SM_MDT_SNAP_UUID];
    const size_t homeAt = home.find(objectId);
    const size_t exp3At = exp3.find(objectId);
    ASSERT_NE(std::string::npos, homeAt);
    ASSERT_NE(std::string::npos, exp3At);
    EXPECT_EQ(home.substr(homeAt, home.find(',', homeAt) - homeAt), exp3.substr(exp3At, exp3.find(',', exp3At) - exp3At));

    // Deleting both: the second finds the snapshot gone and still succeeds.
    expectJob("delete", fs3, kExitOk, all(SNAP_STATUS_DELETED, fs3));
    EXPECT_TRUE(snapshotsOnArrays().empty());
}

// A completed roll-back discards every snapshot of the file system, the one
// rolled back to included. Two devices that share a snapshot are rolled back
// once and both get that result; a later reconcile finds the snapshot gone,
// and delete counts it as done.
TEST_F(DemoWorld, RevertRollsBackASharedSnapshotOnceAndTheArrayDiscardsIt) {
    const std::vector<std::string> fs3 = {"native-home", "nfs-exp3"};
    expectJob("prepare", fs3, kExitOk, all(SNAP_STATUS_PREPARED, fs3));
    expectJob("snap", fs3, kExitOk, all(SNAP_STATUS_SNAPPED, fs3));
    world->clearCalls();
    expectJob("revert", fs3, kExitOk, all(SNAP_STATUS_SNAPPED, fs3));
    EXPECT_EQ(1, world->callCount("rollbackSnapshot"));
    EXPECT_TRUE(snapshotsOnArrays().empty());
    expectJob("reconcile", fs3, kExitAllFailed, all(SNAP_STATUS_EXTERNALLY_DELETED, fs3));
    expectJob("delete", fs3, kExitOk, all(SNAP_STATUS_DELETED, fs3));
}

TEST_F(DemoWorld, SimulatorRestartedBetweenJobsKeepsTheSnapshots) {
    expectJob("prepare", kAll, kExitOk, all(SNAP_STATUS_PREPARED));
    expectJob("snap", kAll, kExitOk, all(SNAP_STATUS_SNAPPED));
    std::string error;
    ASSERT_TRUE(world->simulator().restart(error)) << error;
    expectJob("reconcile", kAll, kExitOk, all(SNAP_STATUS_SNAPPED));
    expectJob("map", kAll, kExitOk, all(SNAP_STATUS_MAPPED));
    world->simulator().stop();
    ASSERT_TRUE(world->simulator().restart(error)) << error;
    expectJob("unmap", kAll, kExitOk, all(SNAP_STATUS_UNMAPPED));
    expectJob("delete", kAll, kExitOk, all(SNAP_STATUS_DELETED));
}

TEST_F(DemoWorld, MapNeedsTheHostToSayWhoAskedForTheMount) {
    const std::vector<std::string> home = {"native-home"};
    expectJob("prepare", home, kExitOk, all(SNAP_STATUS_PREPARED, home));
    expectJob("snap", home, kExitOk, all(SNAP_STATUS_SNAPPED, home));
    // A host without an answer for the mount request source: the device
    // cannot be made ready and keeps the preset failure.
    const e2e::HostRun unknown = world->host({"run", "map", "native-home", "--mount-source", "0"});
    EXPECT_EQ(kExitAllFailed, unknown.exitCode) << unknown.output;
    EXPECT_EQ(SNAP_STATUS_MAP_FAILED, world->devices()["native-home"].status);
    EXPECT_NE(std::string::npos,
              e2e::allFilesUnder(world->storeDirectory() + "/logs").find("Unable to get the mount request initiator."));
    // A request from the GUI maps.
    const e2e::HostRun gui = world->host({"run", "map", "native-home", "--mount-source", "2"});
    EXPECT_EQ(kExitOk, gui.exitCode) << gui.output;
    const DeviceRecord mapped = world->devices()["native-home"];
    EXPECT_EQ(SNAP_STATUS_MAPPED, mapped.status);
    EXPECT_NE(std::string::npos, mapped.snapDevice.find(mapped.snapUUID));
    EXPECT_EQ(std::set<std::string>{"/" + mapped.snapUUID}, sharesOverSnapshots());
}

class WrongPassword : public DemoWorld {
protected:
    void SetUp() override { setUpWith("Wrong-pw-1!", "Wrong-pw-2!"); }
};

TEST_F(WrongPassword, PrepareFailsAndNoLogLineHoldsAPassword) {
    // Devices of hnas1 reach the array and are turned away at the virtual
    // server lookup; those of evs2 find no array in the alias search.
    expectJob("prepare", kAll, kExitAllFailed, all(SNAP_STATUS_PREPARE_FAILED));
    expectJob("snap", kAll, kExitAllFailed, {});

    // Every log and every output of every process, but not the files that
    // hold the passwords by design (the store, the seed, the password files).
    std::string logs;
    const std::string everything = e2e::allFilesUnder(world->directory());
    size_t at = 0;
    while ((at = everything.find("==> ", at)) != std::string::npos) {
        const size_t pathEnd = everything.find('\n', at);
        const std::string path = everything.substr(at + 4, pathEnd - at - 4);
        const size_t next = everything.find("\n==> ", pathEnd);
        const bool logFile = path.size() > 4 && (path.compare(path.size() - 4, 4, ".log") == 0 ||
                                                 path.compare(path.size() - 4, 4, ".out") == 0);
        if (logFile) logs += everything.substr(pathEnd, next == std::string::npos ? std::string::npos : next - pathEnd);
        at = pathEnd;
    }
    EXPECT_NE(std::string::npos, logs.find("hnas1-supervisor")) << "the logs were read";
    EXPECT_NE(std::string::npos, logs.find("qzso_prepareDevices")) << "the plug-in's log was read";
    for (const char* password : {"Wrong-pw-1!", "Wrong-pw-2!", kPassword1, kPassword2})
        EXPECT_EQ(std::string::npos, logs.find(password)) << password;
    const e2e::HostRun arrays = world->host({"list-arrays"});
    EXPECT_EQ(std::string::npos, arrays.output.find("Wrong-pw-1!"));
}

TEST(DemoCommand, RunsTheWholeLifecycleAndExitsZero) {
    testsupport::TempDirectory dir;
    const std::string out = dir.path() + "/demo.out";
    const syskit::ProcessResult run = syskit::runProcess({HNAS_HOST_BINARY, "demo", "--workspace", dir.path() + "/ws",
                                          "--revert-wait", "0"},
                                         out, 120000);
    const std::string output = readWholeFile(out);
    EXPECT_EQ(0, run.exitCode) << output;
    EXPECT_NE(std::string::npos, output.find("All 9 jobs ended as expected")) << output;
    // check-array on both arrays before the first job, orphans at the end.
    EXPECT_NE(std::string::npos, output.find("all steps passed: the plug-in can reach array hnas1")) << output;
    EXPECT_NE(std::string::npos, output.find("all steps passed: the plug-in can reach array evs2")) << output;
    EXPECT_NE(std::string::npos, output.find("== orphans\nno orphaned snapshot on any array")) << output;
    EXPECT_EQ(std::string::npos, output.find("NOT AS EXPECTED")) << output;
}

}  // namespace
