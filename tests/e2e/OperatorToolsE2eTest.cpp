// The operator's tools against hnas-arraysim: check-array, step by step, in
// a healthy setup and with each thing an operator gets wrong; orphans after
// a job killed between the array's work and the host's record.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ostream>

#include "harness/cli/Orphans.h"
#include "syskit/ChildProcess.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/SnapshotOwnership.h"
#include "host/SnapStatus.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/ClosedPort.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TestCertificates.h"

namespace {

using namespace QZSO;
using testsupport::closedPort;

const char kPassword[] = "Tool-Sekrit-77";
const char kSeed[] = R"JSON({"arrays": [{
  "name": "hnast", "user": "tool-admin", "password": "Tool-Sekrit-77",
  "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.40"]}],
  "filesystems": [{"label": "fa", "virtualServerId": 1}, {"label": "fb", "virtualServerId": 1}],
  "snapshots": [{"filesystem": "fa", "displayName": "nightly-fa"}]
}]})JSON";

struct CheckCase {
    const char* name;
    const char* arrayId;
    const char* password;
    bool closedPort;
    bool wrongCa;              // sCAFile names a CA that did not sign the server's certificate
    const char* setting;       // "key=value" of the client's section, or ""
    int exitCode;
    const char* failedStep;    // "" when every step passes
    const char* hint;          // part of the hint
    const char* note;          // part of a note line on the settings, or ""
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

const CheckCase kChecks[] = {
    {"healthy", "evs1", kPassword, false, false, "", kExitOk, "", "", ""},
    {"wrong_password", "evs1", "Wrong-Sekrit-1", false, false, "", kExitCheckFailed, "credentials accepted",
     "check the user and the password", ""},
    {"wrong_ca", "evs1", kPassword, false, true, "", kExitCheckFailed, "TLS verifies",
     "certificate not trusted: set sCAFile", ""},
    {"unknown_array_id", "evs9", kPassword, false, false, "", kExitCheckFailed, "virtual server found", "--array-id",
     ""},
    {"closed_port", "evs1", kPassword, true, false, "", kExitCheckFailed, "TCP connects", "check the port", ""},
    {"version_not_served", "evs1", kPassword, false, false, "sApiVersion=v99", kExitCheckFailed,
     "API version answers", "does not serve API version v99: set sApiVersion", ""},
    {"setting_out_of_range", "evs1", kPassword, false, false, "nConnectTimeoutSecs=0", kExitOk, "", "",
     "note  setting ignored: nConnectTimeoutSecs=0 (allowed 1..3600; using 10)"},
};

class CheckArray : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckArray, StopsAtTheFirstFailingStepWithAHintAndNeverShowsThePassword) {
    const CheckCase& c = GetParam();
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(0, world.addArray("hnast", c.arrayId, 1, "tool-admin", c.password, c.closedPort ? closedPort() : 0)
                     .exitCode);
    // The simulator's own certificate would not do as the wrong CA: libcurl
    // takes a certificate of the CA file as a trust anchor even when it is no
    // CA, so the client accepts the server that presents it.
    testsupport::TempDirectory otherCa;
    if (c.wrongCa) {
        ASSERT_TRUE(testsupport::makeTestCertificates(otherCa.path()));
        ASSERT_EQ(0, world.host({"set-setting", "~Vorlane/HNASClient", "sCAFile", otherCa.file("ca.pem")})
                         .exitCode);
    }
    const std::string setting = c.setting;
    if (!setting.empty()) {
        // Stored past set-setting, which refuses a value the client would
        // ignore: a store filled before it did may hold one.
        const size_t equals = setting.find('=');
        ASSERT_TRUE(world.storeSettingUnchecked({"~Vorlane/HNASClient", setting.substr(0, equals),
                                                 setting.substr(equals + 1)}));
    }

    const e2e::HostRun run = world.host({"check-array", "hnast"});
    EXPECT_EQ(c.exitCode, run.exitCode) << run.output;
    EXPECT_EQ(std::string::npos, run.output.find(c.password)) << run.output;
    const char* steps[] = {"address resolves", "TCP connects", "TLS verifies", "API version answers",
                           "credentials accepted", "virtual server found"};
    bool failedYet = false;
    for (const char* step : steps) {
        SCOPED_TRACE(step);
        const bool failsHere = std::string(step) == c.failedStep;
        if (failedYet) {
            EXPECT_EQ(std::string::npos, run.output.find(step)) << "a step after the failure ran: " << run.output;
        } else {
            EXPECT_NE(std::string::npos, run.output.find(std::string(failsHere ? "FAIL  " : "ok    ") + step))
                << run.output;
        }
        failedYet = failedYet || failsHere;
    }
    if (c.hint[0] != '\0') {
        EXPECT_NE(std::string::npos, run.output.find(c.hint)) << run.output;
    }
    if (c.note[0] != '\0') {
        EXPECT_NE(std::string::npos, run.output.find(c.note)) << run.output;
    }
}

INSTANTIATE_TEST_SUITE_P(Setups, CheckArray, ::testing::ValuesIn(kChecks),
                         [](const ::testing::TestParamInfo<CheckCase>& test) { return test.param.name; });

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// With an API key the client sends the key alone: what check-array says,
// and its hint when the array refuses, speak of the key, never of a user
// and password.
TEST(CheckArrayWithApiKey, SpeaksOfTheKeyItSent) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    const std::string keyFile = world.directory() + "/api.key";
    ASSERT_TRUE(writeWholeFile(keyFile, "not-a-key-the-array-knows\n"));
    chmod(keyFile.c_str(), 0600);
    ASSERT_EQ(0, world.host({"add-array", "hnast", "--array-id", "evs1", "--control-host", "127.0.0.1",
                             "--control-host-id", "1", "--api-key-file", keyFile, "--address", "127.0.0.1", "--port",
                             std::to_string(world.simulator().port())})
                     .exitCode);

    const e2e::HostRun run = world.host({"check-array", "hnast"});
    EXPECT_EQ(kExitCheckFailed, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("FAIL  credentials accepted")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("port " + std::to_string(world.simulator().port()) +
                                                 ", API key from " + keyFile))
        << run.output;
    EXPECT_NE(std::string::npos, run.output.find("hint: the array refused the API key in " + keyFile)) << run.output;
    for (const char* wrong : {"user tool-admin", "the user and the password", "not-a-key-the-array-knows"})
        EXPECT_EQ(std::string::npos, run.output.find(wrong)) << wrong << ": " << run.output;
}

// Each device a job failed gets one line on standard error with its reason,
// also with --quiet (which prints no table): the error text the plug-in set,
// else the last failure line it logged for the device.
TEST(RunQuiet, EachFailedDeviceIsNamedWithItsReason) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(0, world.addArray("hnast", "evs1", 1, "tool-admin", kPassword).exitCode);
    ASSERT_EQ(0, world.addDevice("good", "{type:native_hnas,path:/__VOLUME__/fa/d,targethostname:hnast}").exitCode);
    // add-device refuses the string now; a store filled before it did holds it.
    ASSERT_TRUE(world.storeDeviceUnchecked("garbled", "garbage"));
    ASSERT_EQ(0, world.addDevice("elsewhere", "{type:native_hnas,path:/__VOLUME__/fz/d,targethostname:nosuch}")
                     .exitCode);

    const e2e::HostRun run = world.job("prepare", {"good", "garbled", "elsewhere"});
    EXPECT_EQ(kExitSomeFailed, run.exitCode) << run.output;
    EXPECT_EQ(std::string::npos, run.output.find("good:")) << run.output;
    EXPECT_EQ(std::string::npos, run.output.find("device ")) << "no table with --quiet: " << run.output;
    const auto devices = world.devices();
    for (const char* failed : {"garbled", "elsewhere"}) {
        SCOPED_TRACE(failed);
        const std::string start = std::string("hnas-host: ") + failed + ": PREPARE_FAILED: ";
        const size_t at = run.output.find(start);
        ASSERT_NE(std::string::npos, at) << run.output;
        const std::string reason = run.output.substr(at + start.size(), run.output.find('\n', at) - at - start.size());
        EXPECT_FALSE(reason.empty()) << run.output;
        EXPECT_EQ(std::string::npos, reason.find("no reason given")) << run.output;
        if (!devices.at(failed).errorMessage.empty()) {
            EXPECT_EQ(devices.at(failed).errorMessage, reason);
        }
        EXPECT_EQ(1u, occurrences(run.output, start)) << run.output;
    }
}

TEST(Orphans, AJobKilledAfterTheArraysWorkLeavesAnOrphanThatOnlyTheToolDeletes) {
    if (e2e::requestsInFlight() > 1)
        GTEST_SKIP() << "needs dev-a recorded while dev-b's snapshot is made; with requests in flight both "
                        "snapshots are made together, before either device is recorded";
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(0, world.addArray("hnast", "evs1", 1, "tool-admin", kPassword).exitCode);
    ASSERT_EQ(0, world.addDevice("dev-a", "{type:native_hnas,path:/__VOLUME__/fa/d,targethostname:hnast}").exitCode);
    ASSERT_EQ(0, world.addDevice("dev-b", "{type:native_hnas,path:/__VOLUME__/fb/d,targethostname:hnast}").exitCode);
    ASSERT_EQ(0, world.job("prepare", {"dev-a", "dev-b"}).exitCode);

    // Killed while the array makes dev-b's snapshot; the array finishes it.
    ASSERT_TRUE(world.injectFault(R"({"operation":"createSnapshot","after":1,"count":1,"latencyMs":3000})"));
    std::string output;
    const pid_t job = world.startHost({"run", "snap", "dev-a", "dev-b", "--quiet"}, output);
    ASSERT_GT(job, 0);
    ASSERT_TRUE(e2e::eventually([&] { return world.faultsUsedUp(); })) << readWholeFile(output);
    kill(job, SIGKILL);
    syskit::waitProcess(job, 60000);
    ASSERT_TRUE(e2e::eventually([&] { return world.snapshotNames().size() == 3; }));

    // dev-b still holds the snap UUID its snapshot is named after: not an orphan.
    e2e::HostRun list = world.host({"orphans"});
    EXPECT_EQ(kExitOk, list.exitCode) << list.output;
    EXPECT_NE(std::string::npos, list.output.find(kNoOrphans)) << list.output;

    // The next snap gives dev-b a new name: the first snapshot is left behind.
    ASSERT_EQ(0, world.job("snap", {"dev-b"}).exitCode);
    auto devices = world.devices();
    std::vector<std::string> orphans;
    for (const std::string& name : world.snapshotNames())
        if (name.compare(0, 7, "QZHNAS-") == 0 && name != devices["dev-a"].snapUUID &&
            name != devices["dev-b"].snapUUID)
            orphans.push_back(name);
    ASSERT_EQ(1u, orphans.size());
    list = world.host({"orphans"});
    EXPECT_EQ(kExitOk, list.exitCode) << list.output;
    EXPECT_NE(std::string::npos, list.output.find(orphans[0] + "  ")) << list.output;
    EXPECT_NE(std::string::npos, list.output.find("hnast  fb  ")) << "array and file system: " << list.output;
    EXPECT_EQ(std::string::npos, list.output.find(devices["dev-a"].snapUUID)) << list.output;
    EXPECT_EQ(std::string::npos, list.output.find("nightly-fa")) << list.output;
    EXPECT_EQ(std::string::npos, list.output.find(kPassword)) << list.output;

    // Not confirmed (standard input is empty): nothing goes.
    const e2e::HostRun unconfirmed = world.host({"orphans", "--delete"});
    EXPECT_EQ(kExitHostError, unconfirmed.exitCode) << unconfirmed.output;
    EXPECT_EQ(4u, world.snapshotNames().size());

    const e2e::HostRun deleted = world.host({"orphans", "--delete", "--yes"});
    EXPECT_EQ(kExitOk, deleted.exitCode) << deleted.output;
    const std::vector<std::string> left = world.snapshotNames();
    EXPECT_EQ(3u, left.size());
    EXPECT_EQ(left.end(), std::find(left.begin(), left.end(), orphans[0]));
    for (const std::string& kept : {devices["dev-a"].snapUUID, devices["dev-b"].snapUUID, std::string("nightly-fa")})
        EXPECT_NE(left.end(), std::find(left.begin(), left.end(), kept)) << kept;
    EXPECT_NE(std::string::npos, world.host({"orphans"}).output.find(kNoOrphans));
}

// No path reports a device deleted while a snapshot it made stays unlisted:
// after a snap job killed while the array made the snapshot (the device
// keeps the UUID it was given and the identity of prepare) delete removes
// it; after a snap followed by a prepare that failed (status 2) delete asks
// the array nothing, and orphans lists what stays.
TEST(Delete, NoPathReportsADeviceDeletedWhileASnapshotItMadeStaysUnlisted) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(0, world.addArray("hnast", "evs1", 1, "tool-admin", kPassword).exitCode);
    ASSERT_EQ(0, world.addDevice("dev-a", "{type:native_hnas,path:/__VOLUME__/fa/d,targethostname:hnast}").exitCode);
    ASSERT_EQ(0, world.addDevice("dev-b", "{type:native_hnas,path:/__VOLUME__/fb/d,targethostname:hnast}").exitCode);
    ASSERT_EQ(0, world.job("prepare", {"dev-a", "dev-b"}).exitCode);

    ASSERT_TRUE(world.injectFault(R"({"operation":"createSnapshot","count":1,"latencyMs":3000})"));
    std::string output;
    const pid_t job = world.startHost({"run", "snap", "dev-a", "--quiet"}, output);
    ASSERT_GT(job, 0);
    ASSERT_TRUE(e2e::eventually([&] { return world.faultsUsedUp(); })) << readWholeFile(output);
    kill(job, SIGKILL);
    syskit::waitProcess(job, 60000);
    ASSERT_TRUE(e2e::eventually([&] { return world.snapshotNames().size() == 2; }));
    const DeviceRecord interrupted = world.devices()["dev-a"];
    ASSERT_EQ(SNAP_STATUS_SNAP_FAILED, interrupted.status);
    ASSERT_EQ(std::string::npos, interrupted.snapUUID.find("QZHNAS")) << "the UUID the job gave it";

    e2e::HostRun deleted = world.job("delete", {"dev-a"});
    EXPECT_EQ(kExitOk, deleted.exitCode) << deleted.output;
    EXPECT_EQ(SNAP_STATUS_DELETED, world.devices()["dev-a"].status);
    EXPECT_EQ(std::vector<std::string>{"nightly-fa"}, world.snapshotNames());

    ASSERT_EQ(0, world.job("snap", {"dev-b"}).exitCode);
    ASSERT_EQ(2u, world.snapshotNames().size());
    ASSERT_TRUE(world.injectFault(R"({"operation":"listFileSystems","status":500})"));
    EXPECT_EQ(kExitAllFailed, world.job("prepare", {"dev-b"}).exitCode);
    ASSERT_EQ(SNAP_STATUS_PREPARE_FAILED, world.devices()["dev-b"].status);
    // A device whose prepare failed is finished without asking the array (its
    // snapshot may be another descriptor's too); what stays is an orphan,
    // listed with the device that reported it deleted, and orphans removes it.
    const std::string leftBehind = world.devices()["dev-b"].snapUUID;
    deleted = world.job("delete", {"dev-b"});
    EXPECT_EQ(kExitOk, deleted.exitCode) << deleted.output;
    EXPECT_EQ(SNAP_STATUS_DELETED, world.devices()["dev-b"].status);
    EXPECT_EQ(2u, world.snapshotNames().size());
    const e2e::HostRun list = world.host({"orphans"});
    EXPECT_NE(std::string::npos, list.output.find(leftBehind)) << list.output;
    EXPECT_NE(std::string::npos, list.output.find("dev-b reported it deleted")) << list.output;
    EXPECT_EQ(0, world.host({"orphans", "--delete", "--yes"}).exitCode);
    EXPECT_EQ(std::vector<std::string>{"nightly-fa"}, world.snapshotNames());
}

const char kTwoStoreSeed[] = R"JSON({"arrays": [{
  "name": "hnast", "user": "tool-admin", "password": "Tool-Sekrit-77",
  "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.40"]}],
  "filesystems": [{"label": "fa", "virtualServerId": 1}, {"label": "fb", "virtualServerId": 1},
                  {"label": "fc", "virtualServerId": 1}],
  "snapshots": [{"filesystem": "fb", "appSearchId": "QZHNAS", "displayName": "QZHNAS-keep-me"}]
}]})JSON";

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}


// Store A maps dev-a and snaps it again (its first snapshot stays exported),
// snaps dev-d twice (its first snapshot is a true orphan: the record of its
// snap's end, its restore point, is lost) and knows the array
// under two names; store B, on the same array, snaps dev-b; an administrator
// made "QZHNAS-keep-me". Only dev-d's first snapshot is A's orphan, listed
// once, and only it goes.
TEST(Orphans, OnlyThisStoresSnapshotsThatNoShareUsesAreOrphansAndEachIsListedOnce) {
    e2e::World world(kTwoStoreSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    const std::string storeB = world.directory() + "/store-b";
    ASSERT_TRUE(world.createStore(storeB)) << world.error();
    ASSERT_EQ(0, world.addArray("hnast", "evs1", 1, "tool-admin", kPassword).exitCode);
    ASSERT_EQ(0, world.addArray("hnast-again", "evs1", 2, "tool-admin", kPassword).exitCode);
    ASSERT_EQ(0, world.addArray("hnast", "evs1", 1, "tool-admin", kPassword, 0, storeB).exitCode);
    ASSERT_EQ(0, world.addDevice("dev-a", "{type:native_hnas,path:/__VOLUME__/fa/d,targethostname:hnast}").exitCode);
    ASSERT_EQ(0, world.addDevice("dev-d", "{type:native_hnas,path:/__VOLUME__/fc/d,targethostname:hnast}").exitCode);
    ASSERT_EQ(0, world.hostOn(storeB, {"add-device", "--label", "dev-b",
                                       "{type:native_hnas,path:/__VOLUME__/fb/d,targethostname:hnast}"})
                     .exitCode);
    for (const char* operation : {"prepare", "snap"})
        ASSERT_EQ(0, world.hostOn(storeB, {"run", operation, "dev-b", "--quiet"}).exitCode) << operation;
    for (const char* operation : {"prepare", "snap"})
        ASSERT_EQ(0, world.job(operation, {"dev-a", "dev-d"}).exitCode) << operation;
    ASSERT_EQ(0, world.job("map", {"dev-a"}).exitCode);
    const std::string exported = world.devices()["dev-a"].snapUUID;
    const std::string orphan = world.devices()["dev-d"].snapUUID;
    ASSERT_EQ(0, world.job("snap", {"dev-a", "dev-d"}).exitCode);
    ASSERT_EQ(6u, world.snapshotNames().size());
    // The first snaps' ends were never recorded: no restore point holds them.
    ASSERT_TRUE(world.forgetRestorePoint(exported));
    ASSERT_TRUE(world.forgetRestorePoint(orphan));

    e2e::HostRun list = world.host({"orphans"});
    EXPECT_EQ(kExitOk, list.exitCode) << list.output;
    EXPECT_NE(std::string::npos, list.output.find("1 orphaned snapshot(s)")) << list.output;
    EXPECT_EQ(1u, occurrences(list.output, orphan + "  ")) << "listed once: " << list.output;
    EXPECT_NE(std::string::npos, list.output.find("kept " + exported + " (array hnast): share")) << list.output;
    EXPECT_EQ(std::string::npos, list.output.find("keep-me")) << list.output;
    const std::string snapshotOfB = [&] {
        HostStore store;
        std::string error;
        std::vector<DeviceRecord> devices;
        return store.open(storeB, error) && store.loadDevices(devices, error) && devices.size() == 1
                   ? devices[0].snapUUID
                   : std::string("?");
    }();
    EXPECT_EQ(std::string::npos, list.output.find(snapshotOfB)) << list.output;
    // Store B sees none of A's snapshots, the exported one included.
    const e2e::HostRun listB = world.hostOn(storeB, {"orphans"});
    EXPECT_NE(std::string::npos, listB.output.find(kNoOrphans)) << listB.output;

    // Scoping: by array (the second name of the endpoint lists it too), by age.
    list = world.host({"orphans", "--array", "hnast-again"});
    EXPECT_NE(std::string::npos, list.output.find("\nhnast-again  fc")) << list.output;
    EXPECT_EQ(1u, occurrences(list.output, orphan + "  ")) << list.output;
    list = world.host({"orphans", "--older-than", "1h"});
    EXPECT_NE(std::string::npos, list.output.find(kNoOrphans)) << list.output;
    EXPECT_EQ(kExitBadInput, world.host({"orphans", "--array", "nosuch"}).exitCode);
    EXPECT_EQ(kExitBadInput, world.host({"orphans", "--older-than", "5x"}).exitCode);

    const e2e::HostRun deleted = world.host({"orphans", "--delete", "--yes"});
    EXPECT_EQ(kExitOk, deleted.exitCode) << deleted.output;
    const std::vector<std::string> left = world.snapshotNames();
    EXPECT_EQ(5u, left.size());
    EXPECT_FALSE(contains(left, orphan));
    for (const std::string& kept : {exported, snapshotOfB, std::string("QZHNAS-keep-me"),
                                    world.devices()["dev-a"].snapUUID, world.devices()["dev-d"].snapUUID})
        EXPECT_TRUE(contains(left, kept)) << kept;
}

// Copies a store directory as an operator's `cp -a` does.
bool copyStore(const std::string& from, const std::string& to) {
    return syskit::runProcess({"/bin/cp", "-a", from, to}, "", 30000).exitCode == 0;
}

// A store of an earlier version (no record of the snap UUIDs it handed out)
// leaves an orphan, and is copied; both copies carry its identity and run
// jobs on one array. Each lists and deletes only its own orphans: those of
// the history they share, and those it made since. A snapshot the other copy
// made stays, and that copy's revert of it works.
TEST(Orphans, ACopiedStoreDeletesOnlyTheSnapshotsItHandedOutItself) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(0, world.addArray("hnast", "evs1", 1, "tool-admin", kPassword).exitCode);
    ASSERT_EQ(0, world.addDevice("dev-a", "{type:native_hnas,path:/__VOLUME__/fa/d,targethostname:hnast}").exitCode);
    ASSERT_EQ(0, world.addDevice("dev-b", "{type:native_hnas,path:/__VOLUME__/fb/d,targethostname:hnast}").exitCode);
    ASSERT_EQ(0, world.job("prepare", {"dev-a", "dev-b"}).exitCode);
    ASSERT_EQ(0, world.job("snap", {"dev-b"}).exitCode);
    const std::string shared = world.devices()["dev-b"].snapUUID;
    ASSERT_EQ(0, world.job("snap", {"dev-b"}).exitCode);
    ASSERT_TRUE(world.forgetRestorePoint(shared));   // `shared` is an orphan of both copies
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((world.storeDirectory() + "/host.db").c_str(), &db));
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, "DROP TABLE IF EXISTS snap_uuids", nullptr, nullptr, nullptr));
    sqlite3_close(db);
    const std::string storeB = world.directory() + "/store-b";
    ASSERT_TRUE(copyStore(world.storeDirectory(), storeB));

    // B snaps dev-a: a snapshot A never handed out. A snaps dev-a twice: its
    // first is A's own orphan, which B never heard of.
    ASSERT_EQ(0, world.hostOn(storeB, {"run", "snap", "dev-a", "--quiet"}).exitCode);
    const std::string liveOfB = [&] {
        HostStore store;
        std::string error;
        std::vector<DeviceRecord> devices;
        return store.open(storeB, error) && store.loadDevices(devices, error) ? devices[0].snapUUID
                                                                               : std::string("?");
    }();
    ASSERT_EQ(0, world.job("snap", {"dev-a"}).exitCode);
    const std::string orphanOfA = world.devices()["dev-a"].snapUUID;
    ASSERT_EQ(0, world.job("snap", {"dev-a"}).exitCode);
    ASSERT_TRUE(world.forgetRestorePoint(orphanOfA));

    const e2e::HostRun listB = world.hostOn(storeB, {"orphans"});
    EXPECT_NE(std::string::npos, listB.output.find(shared + "  ")) << listB.output;
    EXPECT_EQ(std::string::npos, listB.output.find(orphanOfA)) << listB.output;
    const e2e::HostRun deleted = world.host({"orphans", "--delete", "--yes"});
    EXPECT_EQ(kExitOk, deleted.exitCode) << deleted.output;
    EXPECT_EQ(std::string::npos, deleted.output.find(liveOfB)) << deleted.output;
    const std::vector<std::string> left = world.snapshotNames();
    EXPECT_FALSE(contains(left, shared));
    EXPECT_FALSE(contains(left, orphanOfA));
    for (const std::string& kept : {liveOfB, world.devices()["dev-a"].snapUUID, world.devices()["dev-b"].snapUUID})
        EXPECT_TRUE(contains(left, kept)) << kept;
    const e2e::HostRun revert = world.hostOn(storeB, {"run", "revert", "dev-a", "--quiet"});
    EXPECT_EQ(kExitOk, revert.exitCode) << revert.output;
}

// A delete that reports done while the array keeps the snapshot (the array
// answers 404 to the delete of a snapshot it still lists): the device no
// longer refers to it, so orphans lists it, naming the device.
TEST(Orphans, ASnapshotLeakedByADeleteReportedDoneIsListedWithItsDevice) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(0, world.addArray("hnast", "evs1", 1, "tool-admin", kPassword).exitCode);
    ASSERT_EQ(0, world.addDevice("dev-b", "{type:native_hnas,path:/__VOLUME__/fb/d,targethostname:hnast}").exitCode);
    ASSERT_EQ(0, world.job("prepare", {"dev-b"}).exitCode);
    ASSERT_EQ(0, world.job("snap", {"dev-b"}).exitCode);
    const std::string leaked = world.devices()["dev-b"].snapUUID;
    ASSERT_TRUE(world.injectFault(R"({"operation":"deleteSnapshot","status":404})"));
    ASSERT_EQ(0, world.job("delete", {"dev-b"}).exitCode);
    ASSERT_EQ(SNAP_STATUS_DELETED, world.devices()["dev-b"].status);
    ASSERT_TRUE(contains(world.snapshotNames(), leaked));

    const e2e::HostRun list = world.host({"orphans"});
    EXPECT_NE(std::string::npos, list.output.find(leaked + "  ")) << list.output;
    EXPECT_NE(std::string::npos, list.output.find("dev-b reported it deleted")) << list.output;
    const e2e::HostRun state = world.host({"state", "--check-arrays"});
    EXPECT_EQ(kExitOk, state.exitCode) << state.output;
    EXPECT_NE(std::string::npos, state.output.find("leaked: dev-b was reported deleted, but its snapshot " + leaked +
                                                   " is still on array hnast"))
        << state.output;
    EXPECT_EQ(0, world.host({"orphans", "--delete", "--yes"}).exitCode);
    EXPECT_FALSE(contains(world.snapshotNames(), leaked));
    EXPECT_EQ(std::string::npos, world.host({"state", "--check-arrays"}).output.find("leaked:"));
}

// Between the list and the deletion (the operator answering "yes"), a job
// gives a device the listed snapshot: it is checked again and kept.
TEST(Orphans, ASnapshotADeviceTookSinceTheListIsKept) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(0, world.addArray("hnast", "evs1", 1, "tool-admin", kPassword).exitCode);
    ASSERT_EQ(0, world.addDevice("dev-b", "{type:native_hnas,path:/__VOLUME__/fb/d,targethostname:hnast}").exitCode);
    ASSERT_EQ(0, world.addDevice("dev-c", "{type:native_hnas,path:/__VOLUME__/fb/e,targethostname:hnast}").exitCode);
    ASSERT_EQ(0, world.job("prepare", {"dev-b", "dev-c"}).exitCode);
    ASSERT_EQ(0, world.job("snap", {"dev-b"}).exitCode);
    const std::string orphan = world.devices()["dev-b"].snapUUID;
    ASSERT_EQ(0, world.job("snap", {"dev-b"}).exitCode);
    ASSERT_TRUE(world.forgetRestorePoint(orphan));

    const std::string go = world.directory() + "/answer-now";
    // The answer waits for the test, a minute at most.
    const std::string answer =
        "i=0; while [ ! -e '" + go + "' ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); done; echo yes";
    const std::string output = world.directory() + "/sweep.out";
    const pid_t sweep = syskit::startProcess({"/bin/sh", "-c", "(" + answer + ") | '" HNAS_HOST_BINARY "' --store '" +
                                                          world.storeDirectory() + "' orphans --delete"},
                                     output);
    ASSERT_GT(sweep, 0);
    ASSERT_TRUE(e2e::eventually([&] { return readWholeFile(output).find("Type yes") != std::string::npos; }))
        << readWholeFile(output);
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((world.storeDirectory() + "/host.db").c_str(), &db));
    sqlite3_busy_timeout(db, 10000);
    const std::string took = "UPDATE devices SET snap_uuid = '" + orphan + "' WHERE label = 'dev-c'";
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, took.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
    sqlite3_close(db);
    ASSERT_TRUE(writeWholeFile(go, "go"));

    EXPECT_EQ(kExitOk, syskit::waitProcess(sweep, 60000).exitCode) << readWholeFile(output);
    EXPECT_NE(std::string::npos, readWholeFile(output).find("kept " + orphan + ": a device refers to it now"))
        << readWholeFile(output);
    EXPECT_TRUE(contains(world.snapshotNames(), orphan));
}

TEST(Orphans, ADeviceRefersToASnapshotByNameByItsUuidOrThroughItsMetadata) {
    DeviceRecord named;
    named.snapUUID = "QZHNAS-u1-fs1";
    DeviceRecord fresh;
    fresh.snapUUID = "u2";
    DeviceRecord described;
    described.metadata[6] = "{SnapshotName:QZHNAS-u3-fs3,FileSystemName:fs3}";
    const std::vector<DeviceRecord> devices = {named, fresh, described};
    for (const char* referenced : {"QZHNAS-u1-fs1", "QZHNAS-u2-fs2", "QZHNAS-u3-fs3"})
        EXPECT_TRUE(snapshotReferenced(referenced, devices)) << referenced;
    for (const char* orphan : {"QZHNAS-u1-fs1x", "QZHNAS-u22-fs2", "QZHNAS-u4-fs1"})
        EXPECT_FALSE(snapshotReferenced(orphan, devices)) << orphan;
    EXPECT_FALSE(snapshotReferenced("QZHNAS-x-fs1", {DeviceRecord()})) << "an empty snap UUID refers to nothing";
    DeviceRecord deleted = named;
    deleted.status = SNAP_STATUS_DELETED;
    deleted.metadata[6] = "{SnapshotName:QZHNAS-u1-fs1}";
    EXPECT_FALSE(snapshotReferenced("QZHNAS-u1-fs1", {deleted})) << "a device reported deleted refers to nothing";
}

TEST(Orphans, StoreIdentityAndSharesDecideWhatMayGo) {
    const std::string identity = "5e0c2a7b91d4";
    const std::string uuid = newSnapUuid(identity);
    EXPECT_TRUE(madeByStore("QZHNAS-" + uuid + "-fs1", identity)) << uuid;
    const std::vector<std::string> others = {"QZHNAS-keep-me", "QZHNAS-" + uuid, "QZHNAS-" + uuid + "-",
                                             "QZHNAS-" + newSnapUuid("000000000000") + "-fs1",
                                             "QZHNAS-3f2a9c1e-7b4d-4e21-9a55-0c6b8e2d1f47-fs1",
                                             "nightly-" + uuid + "-fs1"};
    for (const std::string& other : others)
        EXPECT_FALSE(madeByStore(other, identity)) << other;

    __HNASFileSystemShares cifs;
    cifs.name = "data-QZShare";
    cifs.path = "\\~snapshot\\QZHNAS-u1-fs1\\data";
    __HNASFileSystemShares nfs;
    nfs.name = "/exp1-QZShare";
    nfs.path = "/.snapshot/QZHNAS-u2-fs1/exp1";
    const std::vector<__HNASFileSystemShares> shares = {cifs, nfs};
    EXPECT_EQ("data-QZShare", shareInto("QZHNAS-u1-fs1", shares));
    EXPECT_EQ("/exp1-QZShare", shareInto("QZHNAS-u2-fs1", shares));
    EXPECT_EQ("", shareInto("QZHNAS-u2-fs", shares)) << "a whole path piece, not a part of one";
    EXPECT_EQ("", shareInto("QZHNAS-u3-fs1", shares));

    int64_t seconds = 0;
    const struct {
        const char* text;
        int64_t seconds;   // -1: refused
    } ages[] = {{"90", 90}, {"90s", 90}, {"30m", 1800}, {"12h", 43200}, {"7d", 604800}, {"5x", -1}, {"h", -1},
                {"", -1}, {"-3h", -1}};
    for (const auto& age : ages) {
        EXPECT_EQ(age.seconds >= 0, parseAge(age.text, seconds)) << age.text;
        if (age.seconds >= 0) {
            EXPECT_EQ(age.seconds, seconds) << age.text;
        }
    }
}

}  // namespace
