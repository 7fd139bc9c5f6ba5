// What an operator sees on the terminal and in the logs in everyday use,
// with real hnas-host processes against hnas-arraysim: an array set up as
// the man page shows it logs no failure for every device; a device that
// fails because the array client failed shows the client's own reason,
// once per array, with the command that looks into it; an is-mapped answered
// without its array says so; each snap that succeeded is a restore point
// that orphans never offers to delete.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/demo/WorkspaceFiles.h"
#include "harness/framework/ArrayAccess.h"
#include "harness/framework/ExitCodes.h"
#include "host/SnapStatus.h"
#include "tests/e2e/E2eSupport.h"

namespace {

const char kSeed[] = R"JSON({"arrays": [{
  "name": "hnaso", "user": "op-admin", "password": "Op-pw-9", "apiKeys": [{"key": "op-key-good"}],
  "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.60"]}],
  "filesystems": [{"label": "fa", "virtualServerId": 1}, {"label": "fb", "virtualServerId": 1}]
}]})JSON";

const char kPassword[] = "Op-pw-9";

std::string native(const std::string& fileSystem) {
    return "{type:native_hnas,path:/__VOLUME__/" + fileSystem + "/d,targethostname:hnaso}";
}

bool has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// add-array as the man page shows it: no --address (the control host is
// the management address); --port only because the simulator is not on 8444.
e2e::HostRun addArrayWithoutAddress(e2e::World& world, const std::string& password) {
    const std::string passwordFile = world.directory() + "/password-hnaso";
    writeWholeFile(passwordFile, password + "\n");
    return world.host({"add-array", "hnaso", "--array-id", "evs1", "--control-host", "127.0.0.1",
                       "--control-host-id", "1", "--user", "op-admin", "--password-file", passwordFile, "--port",
                       std::to_string(world.simulator().port())});
}

// Two devices on an array added without --address, a whole lifecycle: the
// host answers the plug-in's read of the array's management address with
// the control host, so no job logs "Unable to get the Metro Server IP".
TEST(ArrayWithoutAddress, JobsLogNoFailureForTheManagementAddress) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, addArrayWithoutAddress(world, kPassword).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-a", native("fa")).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-b", native("fb")).exitCode);

    for (const char* operation : {"prepare", "snap", "map", "unmap", "delete"}) {
        const e2e::HostRun job = world.job(operation, {"dev-a", "dev-b"});
        EXPECT_EQ(kExitOk, job.exitCode) << operation << ": " << job.output;
    }
    const std::string logs = e2e::allFilesUnder(world.storeDirectory() + "/logs");
    EXPECT_FALSE(has(logs, "Unable to get the Metro Server")) << logs;
    EXPECT_FALSE(has(logs, "Metro Server array config values are not entered")) << logs;
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// Three ways the array client fails a whole array, each on a job over two
// devices: stderr says the client's reason once, for the array, pointing to
// check-array, and then each device's line; never the plug-in's generic
// texts alone.
TEST(ArrayClientFailure, TheClientsOwnReasonIsPrintedOncePerArrayBeforeTheDevices) {
    const struct {
        const char* name;
        const char* operation;       // run after a good prepare, or "prepare" itself
        const char* reason;          // what stderr must give as the array's reason
    } cases[] = {
        {"wrong password", "prepare", "the array refused the credentials"},
        {"simulator down", "snap", "cannot connect"},
        {"wrong API key", "snap", "the array refused the credentials"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        e2e::World world(kSeed);
        ASSERT_TRUE(world.ok()) << world.error();
        const std::string name = c.name;
        ASSERT_EQ(kExitOk, addArrayWithoutAddress(world, name == "wrong password" ? "Not-the-pw" : kPassword).exitCode);
        ASSERT_EQ(kExitOk, world.addDevice("dev-a", native("fa")).exitCode);
        ASSERT_EQ(kExitOk, world.addDevice("dev-b", native("fb")).exitCode);
        if (std::string(c.operation) != "prepare") {
            const e2e::HostRun prepared = world.job("prepare", {"dev-a", "dev-b"});
            ASSERT_EQ(kExitOk, prepared.exitCode) << prepared.output;
        }
        if (name == "simulator down") world.simulator().stop();
        if (name == "wrong API key") {
            const std::string keyFile = world.directory() + "/op.key";
            writeWholeFile(keyFile, "op-key-wrong\n");
            const e2e::HostRun updated = world.host({"update-array", "hnaso", "--api-key-file", keyFile});
            ASSERT_EQ(kExitOk, updated.exitCode) << updated.output;
        }
        const e2e::HostRun job = world.job(c.operation, {"dev-a", "dev-b"});
        EXPECT_EQ(kExitAllFailed, job.exitCode) << job.output;
        const std::string arrayLine = "hnas-host: array hnaso: ";
        EXPECT_EQ(1, count(job.output, arrayLine)) << job.output;
        const size_t reasonAt = job.output.find(arrayLine);
        ASSERT_NE(std::string::npos, reasonAt) << job.output;
        const std::string line = job.output.substr(reasonAt, job.output.find('\n', reasonAt) - reasonAt);
        EXPECT_TRUE(has(line, c.reason)) << line;
        EXPECT_TRUE(has(line, "hnas-host check-array hnaso")) << line;
        EXPECT_FALSE(has(line, kPassword)) << line;
        for (const char* device : {"hnas-host: dev-a: ", "hnas-host: dev-b: "}) {
            EXPECT_EQ(1, count(job.output, device)) << job.output;
            EXPECT_LT(reasonAt, job.output.find(device)) << "the array's reason comes first:\n" << job.output;
        }
        EXPECT_FALSE(has(job.output, "no reason given")) << job.output;
    }
}

// is-mapped with the array's port closed: the plug-in answers NOT_MAPPED
// for every device as it must, and the host says on stderr that the array
// was not reached, with the client's reason, and exits 6, not 0. With the
// array back, the same job exits 0 and says nothing of the kind.
TEST(IsMappedWithoutArray, SaysWhichArrayWasNotReachedAndExitsWithItsOwnCode) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, addArrayWithoutAddress(world, kPassword).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-a", native("fa")).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-b", native("fb")).exitCode);
    for (const char* operation : {"prepare", "snap", "map"}) {
        const e2e::HostRun job = world.job(operation, {"dev-a", "dev-b"});
        ASSERT_EQ(kExitOk, job.exitCode) << operation << ": " << job.output;
    }
    const e2e::HostRun reached = world.job("is-mapped", {"dev-a", "dev-b"});
    EXPECT_EQ(kExitOk, reached.exitCode) << reached.output;
    EXPECT_FALSE(has(reached.output, "not reached")) << reached.output;

    world.simulator().stop();
    const e2e::HostRun job = world.host({"run", "is-mapped", "dev-a", "dev-b"});
    EXPECT_EQ(kExitWithoutArray, job.exitCode) << job.output;
    EXPECT_EQ(1, count(job.output, "hnas-host: array hnaso not reached: ")) << job.output;
    EXPECT_TRUE(has(job.output, "cannot connect")) << job.output;
    EXPECT_TRUE(has(job.output, "the answer was given without it; check it with: hnas-host check-array hnaso"))
        << job.output;
    EXPECT_TRUE(has(job.output, "\n2 devices: 2 NOT_MAPPED\n")) << "the plug-in's answer stays as it is:\n" << job.output;
}

// The line of `text` that holds `what`, "" when none does.
std::string lineWith(const std::string& text, const std::string& what) {
    const size_t at = text.find(what);
    if (at == std::string::npos) return std::string();
    const size_t start = text.rfind('\n', at) == std::string::npos ? 0 : text.rfind('\n', at) + 1;
    return text.substr(start, text.find('\n', at) - start);
}

// A device snapped twice keeps both snapshots as restore points, the
// second the latest; orphans lists neither. A delete ends the latest point
// with its snapshot; the earlier one stays listed and stays no orphan.
TEST(RestorePoints, EachSnapIsAPointThatOrphansNeverLists) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, addArrayWithoutAddress(world, kPassword).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-a", native("fa")).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-b", native("fb")).exitCode);
    ASSERT_EQ(kExitOk, world.job("prepare", {"dev-a", "dev-b"}).exitCode);
    ASSERT_EQ(kExitOk, world.job("snap", {"dev-a", "dev-b"}).exitCode);
    const std::string first = world.devices()["dev-a"].snapUUID;
    ASSERT_EQ(kExitOk, world.job("snap", {"dev-a"}).exitCode);
    const std::string second = world.devices()["dev-a"].snapUUID;
    ASSERT_NE(first, second);

    e2e::HostRun orphans = world.host({"orphans"});
    EXPECT_EQ(kExitOk, orphans.exitCode) << orphans.output;
    EXPECT_TRUE(has(orphans.output, kNoOrphans)) << orphans.output;
    e2e::HostRun points = world.host({"restore-points", "dev-a"});
    EXPECT_EQ(kExitOk, points.exitCode) << points.output;
    const std::string firstRow = lineWith(points.output, first);
    const std::string secondRow = lineWith(points.output, second);
    EXPECT_TRUE(has(firstRow, "dev-a") && firstRow.back() == '-') << points.output;
    EXPECT_TRUE(has(secondRow, "dev-a") && has(secondRow, "  latest")) << points.output;
    EXPECT_FALSE(has(points.output, "dev-b")) << points.output;

    ASSERT_EQ(kExitOk, world.job("delete", {"dev-a"}).exitCode);
    points = world.host({"restore-points", "--json"});
    EXPECT_TRUE(has(points.output, "\"snapUUID\": \"" + first + "\"")) << points.output;
    EXPECT_FALSE(has(points.output, second)) << "the deleted snapshot's point stayed:\n" << points.output;
    EXPECT_EQ(2, count(points.output, "\"latest\": true")) << points.output;   // dev-a's first, dev-b's
    orphans = world.host({"orphans"});
    EXPECT_EQ(kExitOk, orphans.exitCode) << orphans.output;
    EXPECT_TRUE(has(orphans.output, kNoOrphans)) << orphans.output;
}

bool onArray(e2e::World& world, const std::string& snapshot) {
    const std::vector<std::string> names = world.snapshotNames();
    return std::find(names.begin(), names.end(), snapshot) != names.end();
}

// map, unmap and delete on an earlier restore point (--point N) act on that
// point's snapshot and leave the device's own, the latest, as it was; the
// point follows what the job did to its snapshot. Once the latest snapshot
// is deleted, a job without --point acts on the latest point left.
TEST(RestorePoints, AJobOnAnEarlierPointActsOnItsSnapshotAndLeavesTheDevicesOwn) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, addArrayWithoutAddress(world, kPassword).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-a", native("fa")).exitCode);
    ASSERT_EQ(kExitOk, world.job("prepare", {"dev-a"}).exitCode);
    std::vector<std::string> snaps;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(kExitOk, world.job("snap", {"dev-a"}).exitCode);
        snaps.push_back(world.devices()["dev-a"].snapUUID);
    }
    // Points 1, 2, 3 in order; the device holds the third snapshot.
    e2e::HostRun job = world.host({"run", "map", "--point", "1", "--quiet"});
    ASSERT_EQ(kExitOk, job.exitCode) << job.output;
    DeviceRecord device = world.devices()["dev-a"];
    EXPECT_EQ(snaps[2], device.snapUUID);
    EXPECT_EQ(QZSO::SNAP_STATUS_SNAPPED, device.status) << "the device's own snapshot was touched";
    e2e::HostRun points = world.host({"restore-points", "--json"});
    EXPECT_EQ(1, count(points.output, "\"status\": 12")) << "point 1 is mapped:\n" << points.output;

    job = world.host({"run", "unmap", "--point", "1", "--quiet"});
    EXPECT_EQ(kExitOk, job.exitCode) << job.output;
    job = world.host({"run", "delete", "dev-a", "--point", "1", "--quiet"});
    EXPECT_EQ(kExitOk, job.exitCode) << job.output;
    EXPECT_FALSE(onArray(world, snaps[0]));
    EXPECT_TRUE(onArray(world, snaps[1]) && onArray(world, snaps[2]));
    device = world.devices()["dev-a"];
    EXPECT_EQ(snaps[2], device.snapUUID);
    EXPECT_EQ(QZSO::SNAP_STATUS_SNAPPED, device.status);
    points = world.host({"restore-points"});
    EXPECT_FALSE(has(points.output, snaps[0])) << points.output;

    // The latest goes; the next delete, without --point, takes the one left.
    ASSERT_EQ(kExitOk, world.job("delete", {"dev-a"}).exitCode);
    EXPECT_FALSE(onArray(world, snaps[2]));
    EXPECT_TRUE(onArray(world, snaps[1]));
    ASSERT_EQ(kExitOk, world.job("delete", {"dev-a"}).exitCode);
    EXPECT_FALSE(onArray(world, snaps[1]));
    points = world.host({"restore-points"});
    EXPECT_FALSE(has(points.output, "dev-a")) << points.output;

    job = world.host({"run", "snap", "dev-a", "--point", "2"});
    EXPECT_EQ(kExitUsage, job.exitCode) << job.output;
    job = world.host({"run", "map", "--point", "99"});
    EXPECT_EQ(kExitBadInput, job.exitCode) << job.output;
}

// Retention: nothing expires without a limit, or by an age no point has
// reached; --dry-run lists and deletes nothing; the setting keeps the last
// point of each device and deletes the others through the plug-in, the
// mapped one unmapped first (its export goes with it), also after a later
// prepare of its device.
TEST(RestorePoints, RetentionExpiresOnlyWhatItsLimitsSayThroughThePluginsDelete) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, addArrayWithoutAddress(world, kPassword).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-a", native("fa")).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-b", native("fb")).exitCode);
    ASSERT_EQ(kExitOk, world.job("prepare", {"dev-a", "dev-b"}).exitCode);
    // The first snapshot is mapped, then the device is prepared again (which
    // says nothing of that snapshot) and snapped twice more.
    std::vector<std::string> snaps;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(kExitOk, world.job("snap", {"dev-a"}).exitCode);
        snaps.push_back(world.devices()["dev-a"].snapUUID);
        if (i > 0) continue;
        ASSERT_EQ(kExitOk, world.job("map", {"dev-a"}).exitCode);
        ASSERT_EQ(kExitOk, world.job("prepare", {"dev-a"}).exitCode);
    }
    ASSERT_EQ(kExitOk, world.job("snap", {"dev-b"}).exitCode);
    const std::string ofB = world.devices()["dev-b"].snapUUID;
    world.clearCalls();

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"expire-restore-points"},
          std::vector<std::string>{"expire-restore-points", "--max-age", "1d"},
          std::vector<std::string>{"expire-restore-points", "--keep", "1", "--dry-run"}}) {
        const e2e::HostRun run = world.host(args);
        EXPECT_EQ(kExitOk, run.exitCode) << run.output;
    }
    const e2e::HostRun dry = world.host({"expire-restore-points", "--keep", "1", "--dry-run"});
    EXPECT_TRUE(has(dry.output, "2 restore point(s) beyond the retention (--dry-run")) << dry.output;
    EXPECT_TRUE(has(dry.output, snaps[0]) && has(dry.output, snaps[1])) << dry.output;
    EXPECT_EQ(0, world.callCount("deleteSnapshot") + world.callCount("deleteShare"));
    for (const std::string& snap : snaps) EXPECT_TRUE(onArray(world, snap)) << snap;

    ASSERT_EQ(kExitOk, world.host({"set-setting", "hnas-host", "nKeepRestorePoints", "1"}).exitCode);
    const e2e::HostRun expire = world.host({"expire-restore-points"});
    EXPECT_EQ(kExitOk, expire.exitCode) << expire.output;
    EXPECT_EQ(1, world.callCount("deleteShare")) << expire.output;
    EXPECT_EQ(2, world.callCount("deleteSnapshot")) << expire.output;
    EXPECT_FALSE(onArray(world, snaps[0]));
    EXPECT_FALSE(onArray(world, snaps[1]));
    EXPECT_TRUE(onArray(world, snaps[2]) && onArray(world, ofB));
    const e2e::HostRun points = world.host({"restore-points"});
    EXPECT_EQ(4, count(points.output, "\n")) << "the header, its rule and one point each:\n" << points.output;
    EXPECT_EQ(3, count(points.output, "latest\n")) << "the header's and each device's:\n" << points.output;
    EXPECT_EQ(snaps[2], world.devices()["dev-a"].snapUUID);
    EXPECT_TRUE(has(world.host({"orphans"}).output, kNoOrphans));
}

// Three devices, one on a file system the array lacks, prepared as one
// job: run ends its table with the totals by status (not with --quiet or
// --json); history gives the job one short line with its device count and
// totals, naming no device, and --job N names them; a job the history does
// not hold is bad input, in table and --json form.
TEST(OperatorDayLists, RunAndHistoryGiveTotalsByStatus) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, addArrayWithoutAddress(world, kPassword).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-a", native("fa")).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-b", native("fb")).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-gone", native("no-such-fs")).exitCode);

    const e2e::HostRun run = world.host({"run", "prepare", "dev-a", "dev-b", "dev-gone"});
    EXPECT_EQ(kExitSomeFailed, run.exitCode) << run.output;
    EXPECT_TRUE(has(run.output, "\n3 devices: 2 PREPARED, 1 PREPARE_FAILED\n")) << run.output;
    for (const char* quiet : {"--quiet", "--json"}) {
        const e2e::HostRun again = world.host({"run", "prepare", "dev-a", quiet});
        EXPECT_EQ(kExitOk, again.exitCode) << again.output;
        EXPECT_FALSE(has(again.output, "1 device: ")) << quiet << ":\n" << again.output;
    }

    const e2e::HostRun history = world.host({"history"});
    EXPECT_EQ(kExitOk, history.exitCode) << history.output;
    const std::string line = lineWith(history.output, "prepare");
    EXPECT_TRUE(has(line, " 3 ")) << history.output;
    EXPECT_TRUE(has(line, "2 PREPARED, 1 PREPARE_FAILED")) << history.output;
    EXPECT_FALSE(has(history.output, "dev-a")) << history.output;
    const e2e::HostRun one = world.host({"history", "--job", "1"});
    EXPECT_EQ(kExitOk, one.exitCode) << one.output;
    for (const char* device : {"dev-a", "dev-b", "dev-gone"}) EXPECT_TRUE(has(one.output, device)) << one.output;

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"history", "--job", "999"}, {"history", "--job", "999", "--json"}}) {
        const e2e::HostRun missing = world.host(args);
        EXPECT_EQ(kExitBadInput, missing.exitCode) << missing.output;
        EXPECT_TRUE(has(missing.output, "no job 999")) << missing.output;
    }
}

// remove-array refused over seven attached devices names the first five
// and how many more, not every one of them.
TEST(OperatorDayLists, RemoveArrayNamesItsFirstDevicesAndACount) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, addArrayWithoutAddress(world, kPassword).exitCode);
    std::vector<std::string> labels;
    for (int i = 1; i <= 7; ++i) {
        labels.push_back("dev-" + std::to_string(i));
        const std::string source =
            "{type:native_hnas,path:/__VOLUME__/fa/d" + std::to_string(i) + ",targethostname:hnaso}";
        ASSERT_EQ(kExitOk, world.addDevice(labels.back(), source).exitCode);
    }
    const e2e::HostRun prepared = world.job("prepare", labels);
    ASSERT_EQ(kExitOk, prepared.exitCode) << prepared.output;

    const e2e::HostRun refused = world.host({"remove-array", "hnaso"});
    EXPECT_EQ(kExitBadInput, refused.exitCode) << refused.output;
    EXPECT_TRUE(has(refused.output, "7 devices (dev-1, dev-2, dev-3, dev-4, dev-5 and 2 more)")) << refused.output;
    EXPECT_FALSE(has(refused.output, "dev-6")) << refused.output;
}

// The filters, each against a store where two devices are PREPARED on
// hnaso, one failed its prepare and one never ran a job.
TEST(OperatorDayLists, FiltersByStatusAndByArray) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, addArrayWithoutAddress(world, kPassword).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-a", native("fa")).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-b", native("fb")).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-gone", native("no-such-fs")).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-new", native("fa")).exitCode);
    const e2e::HostRun prepared = world.job("prepare", {"dev-a", "dev-b", "dev-gone"});
    ASSERT_EQ(kExitSomeFailed, prepared.exitCode) << prepared.output;

    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::vector<std::string> shown;
        std::vector<std::string> hidden;
    } cases[] = {
        {{"state", "--status", "PREPARE_FAILED"}, kExitOk, {"dev-gone"}, {"dev-a", "dev-b", "dev-new"}},
        {{"state", "--status", "prepared"}, kExitOk, {"dev-a", "dev-b"}, {"dev-gone", "dev-new"}},
        {{"state", "--status", "NONE", "--json"}, kExitOk, {"dev-new"}, {"dev-a", "dev-b", "dev-gone"}},
        {{"state", "dev-a", "dev-gone", "--status", "PREPARED"}, kExitOk, {"dev-a"}, {"dev-b", "dev-gone"}},
        {{"state", "--status", "READY"}, kExitBadInput, {"SNAP_FAILED"}, {"dev-a"}},
        {{"list-devices", "--array", "hnaso"}, kExitOk, {"dev-a", "dev-b"}, {"dev-new"}},
        {{"list-devices", "--array", "hnaso", "--json"}, kExitOk, {"dev-a", "dev-b"}, {"dev-new"}},
        {{"list-devices", "--array", "nosuch"}, kExitBadInput, {"nosuch"}, {"dev-a"}},
        {{"remove-device", "--array", "nosuch"}, kExitBadInput, {"nosuch"}, {}},
        {{"remove-device", "dev-a", "--array", "hnaso"}, kExitUsage, {"not both"}, {}},
    };
    for (const auto& c : cases) {
        const e2e::HostRun run = world.host(c.args);
        SCOPED_TRACE(run.output);
        EXPECT_EQ(c.exitCode, run.exitCode);
        for (const std::string& name : c.shown) EXPECT_TRUE(has(run.output, name)) << name;
        for (const std::string& name : c.hidden) EXPECT_FALSE(has(run.output, name)) << name;
    }

    const e2e::HostRun removed = world.host({"remove-device", "--array", "hnaso"});
    EXPECT_EQ(kExitOk, removed.exitCode) << removed.output;
    const e2e::HostRun left = world.host({"list-devices"});
    EXPECT_TRUE(has(left.output, "dev-new")) << left.output;
    EXPECT_FALSE(has(left.output, "dev-a")) << left.output;
    EXPECT_FALSE(has(left.output, "dev-b")) << left.output;
}

// init on a store that is there changes nothing and exits 0; set-setting
// refuses an sCAFile the jobs could not read, saying why.
TEST(OperatorDayLists, InitAgainIsNoErrorAndAnUnreadableCaFileIsRefused) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, addArrayWithoutAddress(world, kPassword).exitCode);
    const e2e::HostRun again = world.host({"init"});
    EXPECT_EQ(kExitOk, again.exitCode) << again.output;
    EXPECT_TRUE(has(again.output, "there already")) << again.output;
    EXPECT_TRUE(has(world.host({"list-arrays"}).output, "hnaso")) << "init kept the store as it was";

    const std::string caFile = world.directory() + "/ca-copy.pem";
    writeWholeFile(caFile, "-----BEGIN CERTIFICATE-----\n");
    const struct {
        std::string value;
        int exitCode;
        const char* reason;
    } cases[] = {
        {world.directory() + "/no-such-ca.pem", kExitBadInput, "No such file or directory"},
        {world.directory(), kExitBadInput, "not a regular file"},
        {caFile, kExitOk, ""},
    };
    for (const auto& c : cases) {
        const e2e::HostRun set = world.host({"set-setting", "~Vorlane/HNASClient", "sCAFile", c.value});
        EXPECT_EQ(c.exitCode, set.exitCode) << c.value << ": " << set.output;
        EXPECT_TRUE(has(set.output, c.reason)) << c.value << ": " << set.output;
    }
}

}  // namespace
