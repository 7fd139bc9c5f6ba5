// What a backup framework owes the plug-in, tried with real hnas-host
// processes against hnas-arraysim: two jobs on one device never run
// together, a job killed or starved of disk keeps every write the plug-in
// was told was stored, and a job that died shows as such.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "harness/demo/Subprocess.h"
#include "harness/framework/ExitCodes.h"
#include "host/SnapStatus.h"
#include "tests/e2e/E2eSupport.h"

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
    EXPECT_TRUE(processRunning(slow)) << "dev-b's job ran while dev-a's was still held";

    const e2e::HostRun waited = world.host({"run", "snap", "dev-a", "--wait", "60", "--quiet"});
    EXPECT_EQ(kExitOk, waited.exitCode) << waited.output;
    const ProcessResult slowEnd = waitProcess(slow, kJobTimeoutMs);
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
    EXPECT_EQ(SIGKILL, waitProcess(job, kJobTimeoutMs).signal);

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
    const ProcessResult end = waitProcess(job, kJobTimeoutMs);
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
