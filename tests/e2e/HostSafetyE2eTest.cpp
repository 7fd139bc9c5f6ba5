// What a backup framework owes the plug-in, tried with real hnas-host
// processes against hnas-arraysim: two jobs on one device never run
// together, a job killed or starved of disk keeps every write the plug-in
// was told was stored, and a job that died shows as such.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "syskit/ChildProcess.h"
#include "harness/framework/ExitCodes.h"
#include "host/SnapStatus.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/TempDirectory.h"

namespace {

using namespace QZSO;

const char kSeed[] = R"JSON({"arrays": [{
  "name": "hnass", "user": "safe-admin", "password": "Safe-pw-3",
  "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.30"]}],
  "filesystems": [{"label": "fa", "virtualServerId": 1}, {"label": "fb", "virtualServerId": 1}]
}]})JSON";

const int kJobTimeoutMs = 60000;

// Two native devices on two file systems of one array, both prepared.
bool setUpTwoDevices(e2e::World& world, std::string& why) {
    const e2e::HostRun array = world.addArray("hnass", "evs1", 1, "safe-admin", "Safe-pw-3");
    const e2e::HostRun a = world.addDevice("dev-a", "{type:native_hnas,path:/__VOLUME__/fa/d,targethostname:hnass}");
    const e2e::HostRun b = world.addDevice("dev-b", "{type:native_hnas,path:/__VOLUME__/fb/d,targethostname:hnass}");
    const e2e::HostRun prepared = world.job("prepare", {"dev-a", "dev-b"});
    why = array.output + a.output + b.output + prepared.output;
    return array.exitCode == 0 && a.exitCode == 0 && b.exitCode == 0 && prepared.exitCode == 0;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A prepare held up at the array and a snap started
// meanwhile on the same device. The snap must not run inside the prepare
// (the prepare's end would set the device back to PREPARED, losing the
// snapshot); without --wait it is refused, with --wait it runs after.
TEST(ConcurrentJobs, ASecondJobOnAHeldDeviceWaitsOrIsRefusedWhileOtherDevicesRunOn) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    std::string why;
    ASSERT_TRUE(setUpTwoDevices(world, why)) << why;

    ASSERT_TRUE(world.injectFault(R"({"operation":"*","count":1,"latencyMs":6000})"));
    std::string slowOutput;
    const pid_t slow = world.startHost({"run", "prepare", "dev-a", "--quiet"}, slowOutput);
    ASSERT_GT(slow, 0);
    // The slow job holds dev-a and sits in the array's latency.
    ASSERT_TRUE(e2e::eventually([&] { return world.faultsUsedUp(); })) << readWholeFile(slowOutput);
    EXPECT_EQ(kJobRunning, world.devices()["dev-a"].lastJobOutcome);

    const e2e::HostRun refused = world.job("snap", {"dev-a"});
    EXPECT_EQ(kExitBusy, refused.exitCode) << refused.output;
    EXPECT_NE(std::string::npos, refused.output.find("device dev-a is in use by job")) << refused.output;
    EXPECT_NE(std::string::npos, refused.output.find("--wait SECONDS")) << refused.output;

    const e2e::HostRun other = world.job("snap", {"dev-b"});
    EXPECT_EQ(kExitOk, other.exitCode) << other.output;
    EXPECT_TRUE(syskit::processRunning(slow)) << "dev-b's job ran while dev-a's was still held";

    const e2e::HostRun waited = world.host({"run", "snap", "dev-a", "--wait", "60", "--quiet"});
    EXPECT_EQ(kExitOk, waited.exitCode) << waited.output;
    const syskit::ProcessResult slowEnd = syskit::waitProcess(slow, kJobTimeoutMs);
    EXPECT_EQ(kExitOk, slowEnd.exitCode) << readWholeFile(slowOutput);

    auto devices = world.devices();
    EXPECT_EQ(SNAP_STATUS_SNAPPED, devices["dev-a"].status) << "the prepare's end overwrote the snap";
    EXPECT_EQ(SNAP_STATUS_SNAPPED, devices["dev-b"].status);
    const std::vector<std::string> onArray = world.snapshotNames();
    EXPECT_TRUE(contains(onArray, devices["dev-a"].snapUUID)) << devices["dev-a"].snapUUID;
    EXPECT_TRUE(contains(onArray, devices["dev-b"].snapUUID)) << devices["dev-b"].snapUUID;
}

// Kills the snap job while the array holds up its second snapshot: dev-a's
// snapshot was made and reported, so the store must show it.
TEST(KilledJob, KeepsEveryWriteThePluginMadeAndShowsAsInterrupted) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    std::string why;
    ASSERT_TRUE(setUpTwoDevices(world, why)) << why;

    ASSERT_TRUE(world.injectFault(R"({"operation":"createSnapshot","after":1,"count":1,"latencyMs":5000})"));
    std::string output;
    const pid_t job = world.startHost({"run", "snap", "dev-a", "dev-b", "--quiet"}, output);
    ASSERT_GT(job, 0);
    ASSERT_TRUE(e2e::eventually([&] { return world.devices()["dev-a"].status == SNAP_STATUS_SNAPPED; }))
        << "dev-a's snapshot is not in the store while the job runs: " << readWholeFile(output);
    kill(job, SIGKILL);
    EXPECT_EQ(SIGKILL, syskit::waitProcess(job, kJobTimeoutMs).signal);

    auto devices = world.devices();
    EXPECT_EQ(0u, devices["dev-a"].snapUUID.find("QZHNAS-")) << devices["dev-a"].snapUUID;
    EXPECT_TRUE(contains(world.snapshotNames(), devices["dev-a"].snapUUID));
    EXPECT_EQ(kJobInterrupted, devices["dev-a"].lastJobOutcome);
    EXPECT_EQ(kJobInterrupted, devices["dev-b"].lastJobOutcome);

    const e2e::HostRun history = world.host({"history"});
    EXPECT_NE(std::string::npos, history.output.find(kJobInterrupted)) << history.output;
    EXPECT_EQ(std::string::npos, history.output.find(kJobRunning)) << history.output;
    const e2e::HostRun state = world.host({"state"});
    EXPECT_NE(std::string::npos, state.output.find(devices["dev-a"].snapUUID)) << state.output;
    EXPECT_NE(std::string::npos, state.output.find(kJobInterrupted)) << state.output;
    const e2e::HostRun results = world.host({"history", "--job", std::to_string(devices["dev-a"].lastJobId)});
    EXPECT_NE(std::string::npos, results.output.find(devices["dev-a"].snapUUID)) << results.output;

    // The devices are free again.
    const e2e::HostRun next = world.job("snap", {"dev-a", "dev-b"});
    EXPECT_EQ(kExitOk, next.exitCode) << next.output;
}

// Removes every file under `dir`.
void removeFilesIn(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return;
    while (struct dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") unlink((dir + "/" + name).c_str());
    }
    closedir(d);
}

// While a snap job sits in the array's latency, its lock files are removed
// (an operator clearing "stale" locks) and, as a command of an earlier
// version would have, the job is recorded as interrupted with results. The
// job still runs by its process: history says so, a second job on its
// device is refused; at its end it records its end over what was concluded.
TEST(RemovedLocks, ALiveJobStaysRunningHoldsItsDevicesAndRecordsItsEnd) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    std::string why;
    ASSERT_TRUE(setUpTwoDevices(world, why)) << why;

    ASSERT_TRUE(world.injectFault(R"({"operation":"createSnapshot","count":1,"latencyMs":4000})"));
    std::string output;
    const pid_t job = world.startHost({"run", "snap", "dev-a", "--quiet"}, output);
    ASSERT_GT(job, 0);
    ASSERT_TRUE(e2e::eventually([&] { return world.faultsUsedUp(); })) << readWholeFile(output);
    removeFilesIn(world.storeDirectory() + "/locks");

    const e2e::HostRun history = world.host({"history"});
    EXPECT_NE(std::string::npos, history.output.find(kJobRunning)) << history.output;
    EXPECT_EQ(std::string::npos, history.output.find(kJobInterrupted)) << history.output;
    const e2e::HostRun refused = world.job("snap", {"dev-a"});
    EXPECT_EQ(kExitBusy, refused.exitCode) << refused.output;
    EXPECT_NE(std::string::npos, refused.output.find("device dev-a is in use by job")) << refused.output;

    const long long jobId = world.devices()["dev-a"].lastJobId;
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((world.storeDirectory() + "/host.db").c_str(), &db));
    sqlite3_busy_timeout(db, 10000);
    const std::string concluded =
        "UPDATE jobs SET outcome = 'interrupted' WHERE id = " + std::to_string(jobId) +
        "; INSERT INTO job_results(job_id, device_id, device_name, status, error_code, error_message, snap_uuid, "
        "snap_device) SELECT last_job, id, label, status, error_code, error_message, snap_uuid, snap_device "
        "FROM devices WHERE last_job = " + std::to_string(jobId);
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, concluded.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
    sqlite3_close(db);

    const syskit::ProcessResult end = syskit::waitProcess(job, kJobTimeoutMs);
    const std::string said = readWholeFile(output);
    EXPECT_EQ(kExitOk, end.exitCode) << said;
    EXPECT_EQ(std::string::npos, said.find("UNIQUE")) << said;
    const auto devices = world.devices();
    EXPECT_EQ(SNAP_STATUS_SNAPPED, devices.at("dev-a").status);
    EXPECT_EQ(kJobDone, devices.at("dev-a").lastJobOutcome);
    const e2e::HostRun after = world.host({"history"});
    EXPECT_EQ(std::string::npos, after.output.find(kJobInterrupted)) << after.output;
    const e2e::HostRun results = world.host({"history", "--job", std::to_string(jobId)});
    EXPECT_NE(std::string::npos, results.output.find("SNAPPED")) << results.output;
}

const char kUnshare[] = "/usr/bin/unshare";

// `args` run as hnas-host on the world's store, after `prefix`.
std::vector<std::string> hostArgs(const std::vector<std::string>& prefix, e2e::World& world,
                                  const std::vector<std::string>& args) {
    std::vector<std::string> argv = prefix;
    argv.insert(argv.end(), {HNAS_HOST_BINARY, "--store", world.storeDirectory()});
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

void setOutcome(const std::string& storeDir, long long jobId, const char* outcome) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((storeDir + "/host.db").c_str(), &db));
    sqlite3_busy_timeout(db, 10000);
    const std::string update =
        "UPDATE jobs SET outcome = '" + std::string(outcome) + "' WHERE id = " + std::to_string(jobId);
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, update.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// A job and the commands that look at it in different PID namespaces: the
// job's process ID means nothing to them, and /proc shows them none of each
// other's processes. While the job runs it shows as running, and the logs
// of the later jobs' pruning keep its logs, also once an earlier version
// recorded it interrupted (its device lock is still held). Killed, it shows
// as interrupted.
TEST(UnreadableLiveness, AJobWhoseProcessCannotBeSeenCountsAsRunningWhileItHoldsItsDevices) {
    const std::vector<std::string> ownNamespace = {kUnshare, "--pid", "--mount-proc", "--kill-child=KILL"};
    {
        testsupport::TempDirectory dir;
        if (syskit::runProcess({kUnshare, "--pid", "--mount-proc", "--fork", "/bin/true"}, dir.file("probe"), 20000)
                .exitCode != 0)
            GTEST_SKIP() << "cannot make a PID namespace here: " << readWholeFile(dir.file("probe"));
    }
    const struct {
        const char* name;
        std::vector<std::string> job;       // what the long job runs under
        std::vector<std::string> others;    // what the commands looking at it run under
    } cases[] = {
        {"the job in a PID namespace of its own", ownNamespace, {}},
        {"the commands in a PID namespace of their own", {}, ownNamespace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        e2e::World world(kSeed);
        ASSERT_TRUE(world.ok()) << world.error();
        std::string why;
        ASSERT_TRUE(setUpTwoDevices(world, why)) << why;   // job 1
        ASSERT_EQ(kExitOk, world.host({"set-setting", "hnas-host", "nKeepJobLogs", "1"}).exitCode);
        auto other = [&](const std::vector<std::string>& args) {
            const std::string output = world.directory() + "/other.out";
            unlink(output.c_str());
            const syskit::ProcessResult result = syskit::runProcess(hostArgs(c.others, world, args), output, kJobTimeoutMs);
            return e2e::HostRun{result.exitCode, readWholeFile(output)};
        };

        ASSERT_TRUE(world.injectFault(R"({"operation":"createSnapshot","count":1,"latencyMs":5000})"));
        const std::string output = world.directory() + "/job.out";
        const pid_t job = syskit::startProcess(hostArgs(c.job, world, {"run", "snap", "dev-a", "--quiet"}), output);
        ASSERT_GT(job, 0);
        ASSERT_TRUE(e2e::eventually([&] { return world.faultsUsedUp(); })) << readWholeFile(output);
        const std::string logs = world.storeDirectory() + "/logs/job-2-snap.";

        e2e::HostRun run = other({"history"});
        EXPECT_NE(std::string::npos, run.output.find(kJobRunning)) << run.output;
        EXPECT_EQ(std::string::npos, run.output.find(kJobInterrupted)) << run.output;
        run = other({"run", "prepare", "dev-b", "--quiet"});   // job 3 prunes the logs of jobs 1 and 2
        EXPECT_EQ(kExitOk, run.exitCode) << run.output;
        EXPECT_EQ(kExitBusy, other({"run", "snap", "dev-a", "--quiet"}).exitCode);
        setOutcome(world.storeDirectory(), 2, kJobInterrupted);
        run = other({"run", "prepare", "dev-b", "--quiet"});   // job 4
        EXPECT_EQ(kExitOk, run.exitCode) << run.output;
        for (const char* log : {"host.log", "plugin.log"}) {
            struct stat info;
            EXPECT_EQ(0, lstat((logs + log).c_str(), &info)) << logs << log << " was pruned under its job";
        }
        EXPECT_NE(0, access((world.storeDirectory() + "/logs/job-1-prepare.host.log").c_str(), F_OK));

        const syskit::ProcessResult end = syskit::waitProcess(job, kJobTimeoutMs);
        EXPECT_EQ(kExitOk, end.exitCode) << readWholeFile(output);
        EXPECT_EQ(kJobDone, world.devices()["dev-a"].lastJobOutcome);

        // Killed: no device lock is held any more, so it shows as interrupted.
        ASSERT_TRUE(world.injectFault(R"({"operation":"createSnapshot","count":1,"latencyMs":5000})"));
        const pid_t killed = syskit::startProcess(hostArgs(c.job, world, {"run", "snap", "dev-a", "--quiet"}), output);
        ASSERT_GT(killed, 0);
        ASSERT_TRUE(e2e::eventually([&] { return world.faultsUsedUp(); })) << readWholeFile(output);
        kill(killed, SIGKILL);
        syskit::waitProcess(killed, kJobTimeoutMs);
        ASSERT_TRUE(e2e::eventually([&] {
            return other({"history"}).output.find(kJobInterrupted) != std::string::npos;
        }, 10000));
        EXPECT_EQ(std::string::npos, other({"history"}).output.find(kJobRunning));
    }
}

// Files a co-tenant can plant where the operator points hnas-host: a
// password file that is a link to a file only the victim can read, a FIFO
// that would block for ever, a file far too large; a demo workspace another
// user made or anyone may write to. Each is refused at once, saying why.
TEST(PlantedFiles, PasswordFilesAndDemoWorkspacesThatAreNotSafeAreRefusedSayingWhy) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    const std::string dir = world.directory();
    const std::string secret = dir + "/victim-only";
    ASSERT_TRUE(writeWholeFile(secret, "Victims-Own-Secret\n"));
    ASSERT_EQ(0, symlink(secret.c_str(), (dir + "/pw-link").c_str()));
    ASSERT_EQ(0, mkfifo((dir + "/pw-fifo").c_str(), 0600));
    ASSERT_TRUE(writeWholeFile(dir + "/pw-huge", std::string(5000, 'p')));
    const struct {
        const char* file;
        const char* reason;
    } passwords[] = {
        {"pw-link", "it is a symbolic link"},
        {"pw-fifo", "it is a FIFO, not a regular file"},
        {"pw-huge", "it is larger than 4096 bytes"},
    };
    for (const auto& p : passwords) {
        SCOPED_TRACE(p.file);
        const e2e::HostRun run =
            world.host({"add-array", std::string("a-") + p.file, "--array-id", "evs1", "--control-host", "127.0.0.1",
                        "--control-host-id", "7", "--user", "u", "--password-file", dir + "/" + p.file});
        EXPECT_EQ(kExitBadInput, run.exitCode) << run.output;
        EXPECT_NE(std::string::npos, run.output.find(p.reason)) << run.output;
        EXPECT_EQ(std::string::npos, run.output.find("Victims-Own-Secret")) << run.output;
    }
    EXPECT_EQ(std::string::npos, world.host({"list-arrays"}).output.find("a-pw")) << "nothing was added";

    const std::string foreign = dir + "/ws-foreign";
    const std::string open = dir + "/ws-open";
    ASSERT_EQ(0, mkdir(foreign.c_str(), 0700));
    ASSERT_EQ(0, chown(foreign.c_str(), 4242, 4242)) << "the tests run as root";
    ASSERT_EQ(0, mkdir(open.c_str(), 0700));
    ASSERT_EQ(0, chmod(open.c_str(), 0777));
    const struct {
        std::string workspace;
        const char* reason;
    } workspaces[] = {
        {foreign, "it belongs to user 4242"},
        {open, "others can write to it"},
    };
    for (const auto& w : workspaces) {
        SCOPED_TRACE(w.workspace);
        const e2e::HostRun run = world.host({"demo", "--workspace", w.workspace});
        EXPECT_EQ(kExitHostError, run.exitCode) << run.output;
        EXPECT_NE(std::string::npos, run.output.find(w.reason)) << run.output;
        struct stat made;
        EXPECT_NE(0, lstat((w.workspace + "/store").c_str(), &made)) << "the demo went on";
    }
}

// The disk fails every sync from the moment the plug-in has returned: the
// commit of the job's end fails while syncing, though SQLite wrote it whole
// to its log. What hnas-host says about the end and what history shows
// afterwards agree.
TEST(FailingSync, WhatTheJobSaysOfItsEndIsWhatHistoryShows) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    std::string why;
    ASSERT_TRUE(setUpTwoDevices(world, why)) << why;   // job 1: prepare
    const std::string hostLog = world.storeDirectory() + "/logs/job-2-snap.host.log";
    setenv("LD_PRELOAD", HNAS_FAILING_SYNC, 1);
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    setenv("HNAS_TEST_FAIL_SYNC_FILE", hostLog.c_str(), 1);
    setenv("HNAS_TEST_FAIL_SYNC_TEXT", "the plug-in returned", 1);
    const e2e::HostRun run = world.job("snap", {"dev-a"});
    unsetenv("LD_PRELOAD");
    unsetenv("ASAN_OPTIONS");
    unsetenv("HNAS_TEST_FAIL_SYNC_FILE");
    unsetenv("HNAS_TEST_FAIL_SYNC_TEXT");

    EXPECT_EQ(kExitHostError, run.exitCode) << run.output;
    const bool saysRecorded = run.output.find("the job's end is recorded, but the disk reported an error") !=
                              std::string::npos;
    const bool saysNotRecorded = run.output.find("the job's end is not recorded") != std::string::npos;
    ASSERT_NE(saysRecorded, saysNotRecorded) << run.output;
    const e2e::HostRun history = world.host({"history"});
    EXPECT_EQ(std::string::npos, history.output.find(kJobRunning)) << history.output;
    const std::string expected = saysRecorded ? kJobDone : kJobInterrupted;
    EXPECT_EQ(expected, world.devices()["dev-a"].lastJobOutcome) << run.output << history.output;
    // SQLite wrote the commit whole before the sync failed: it stands.
    EXPECT_TRUE(saysRecorded) << run.output;
}

// A small file system of its own for the store, unmounted when it goes.
class TinyDisk {
public:
    explicit TinyDisk(const std::string& path) : path_(path) {
        mkdir(path.c_str(), 0700);
        mounted_ = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=2m,mode=0700") == 0;
        if (!mounted_) error_ = strerror(errno);
    }
    ~TinyDisk() {
        if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }

    // Fills what is left with one file.
    void fill() {
        const int fd = open((path_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        static const char block[4096] = {0};
        while (fd >= 0 && write(fd, block, sizeof(block)) > 0) {
        }
        if (fd >= 0) close(fd);
    }
    void freeUp() { unlink((path_ + "/filler").c_str()); }

private:
    std::string path_;
    bool mounted_ = false;
    std::string error_;
};

// The disk fills while the array holds up dev-b's snapshot: dev-b's writes
// cannot be stored. The job says so and fails; what was stored before (dev-a
// snapped) stays; once there is room again, the job shows as interrupted.
TEST(FullDisk, TheJobFailsLoudlyAndTheStoreKeepsWhatWasStoredBefore) {
    if (e2e::requestsInFlight() > 1)
        GTEST_SKIP() << "needs dev-a recorded while dev-b's snapshot is made; with requests in flight both "
                        "snapshots are made together, before either device is recorded";
    e2e::World world(kSeed, false);
    ASSERT_TRUE(world.ok()) << world.error();
    TinyDisk disk(world.storeDirectory());
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.error();
    ASSERT_TRUE(world.createStore()) << world.error();
    std::string why;
    ASSERT_TRUE(setUpTwoDevices(world, why)) << why;

    ASSERT_TRUE(world.injectFault(R"({"operation":"createSnapshot","after":1,"count":1,"latencyMs":3000})"));
    std::string output;
    const pid_t job = world.startHost({"run", "snap", "dev-a", "dev-b", "--quiet"}, output);
    ASSERT_GT(job, 0);
    ASSERT_TRUE(e2e::eventually([&] { return world.devices()["dev-a"].status == SNAP_STATUS_SNAPPED; }))
        << readWholeFile(output);
    disk.fill();
    const syskit::ProcessResult end = syskit::waitProcess(job, kJobTimeoutMs);
    disk.freeUp();

    EXPECT_EQ(kExitHostError, end.exitCode);
    const std::string said = readWholeFile(output);
    EXPECT_NE(std::string::npos, said.find("could not be stored")) << said;
    EXPECT_NE(std::string::npos, said.find("full")) << said;
    auto devices = world.devices();
    EXPECT_EQ(SNAP_STATUS_SNAPPED, devices["dev-a"].status);
    EXPECT_TRUE(contains(world.snapshotNames(), devices["dev-a"].snapUUID)) << devices["dev-a"].snapUUID;
    EXPECT_NE(SNAP_STATUS_SNAPPED, devices["dev-b"].status) << "a write that failed cannot show";
    EXPECT_EQ(kJobInterrupted, devices["dev-a"].lastJobOutcome);
    const e2e::HostRun history = world.host({"history"});
    EXPECT_EQ(std::string::npos, history.output.find(kJobRunning)) << history.output;
}

}  // namespace
