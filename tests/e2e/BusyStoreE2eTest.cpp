// A store in use by several hnas-host processes at once, as an operator's
// day has it: jobs on different devices side by side, jobs queued with
// --wait on one device, and monitors polling history and state. No command
// may fail because another holds the store's database: each waits its turn.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "harness/demo/WorkspaceFiles.h"
#include "harness/framework/ExitCodes.h"
#include "syskit/ChildProcess.h"
#include "tests/e2e/E2eSupport.h"

namespace {

using syskit::ProcessResult;
using syskit::processRunning;
using syskit::waitProcess;

const char kSeed[] = R"JSON({"arrays": [{
  "name": "hnasb", "user": "busy-admin", "password": "Busy-pw-7",
  "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.50"]}],
  "filesystems": [{"label": "fa", "virtualServerId": 1}, {"label": "fb", "virtualServerId": 1},
                  {"label": "fc", "virtualServerId": 1}]
}]})JSON";

const char* const kDevices[] = {"dev-a", "dev-b", "dev-c"};
// Jobs per device, all started at once: each device's queue up on --wait.
const int kJobsPerDevice = 12;
const int kJobTimeoutMs = 120000;

struct Started {
    pid_t pid;
    std::string output;
    std::string what;
};

// Jobs on three devices, all started at once and queued by --wait, while
// monitors poll history --json and state and write a setting until the last
// job has ended. Every command exits 0; the polls are counted so that the
// test proves it polled while the jobs ran.
TEST(BusyStore, JobsAndPollersSideBySideNeverFailForTheStore) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, world.addArray("hnasb", "evs1", 1, "busy-admin", "Busy-pw-7").exitCode);
    const char* fileSystems[] = {"fa", "fb", "fc"};
    for (int i = 0; i < 3; ++i) {
        const std::string source =
            std::string("{type:native_hnas,path:/__VOLUME__/") + fileSystems[i] + "/d,targethostname:hnasb}";
        const e2e::HostRun added = world.addDevice(kDevices[i], source);
        ASSERT_EQ(kExitOk, added.exitCode) << added.output;
    }

    std::vector<Started> jobs;
    for (int round = 0; round < kJobsPerDevice; ++round) {
        for (const char* device : kDevices) {
            Started job;
            job.what = std::string("run prepare ") + device;
            job.pid = world.startHost({"run", "prepare", device, "--wait", "100", "--quiet"}, job.output);
            ASSERT_GT(job.pid, 0);
            jobs.push_back(job);
        }
    }

    int polls = 0;
    std::vector<std::string> failures;
    const std::vector<std::vector<std::string>> monitors = {
        {"history", "--json"}, {"state"}, {"set-setting", "hnas-host", "nKeepJobLogs", "100"}};
    auto jobsRunning = [&] {
        for (const Started& job : jobs)
            if (processRunning(job.pid)) return true;
        return false;
    };
    while (jobsRunning()) {
        for (const auto& args : monitors) {
            const e2e::HostRun poll = world.host(args);
            ++polls;
            if (poll.exitCode != kExitOk)
                failures.push_back(args[0] + " exited " + std::to_string(poll.exitCode) + ": " + poll.output);
        }
    }
    int jobFailures = 0;
    for (const Started& job : jobs) {
        const ProcessResult end = waitProcess(job.pid, kJobTimeoutMs);
        if (end.exitCode == kExitOk) continue;
        ++jobFailures;
        failures.push_back(job.what + " exited " + std::to_string(end.exitCode) + ": " + readWholeFile(job.output));
    }
    std::string said;
    for (const std::string& f : failures) said += f + "\n";
    RecordProperty("jobs", static_cast<int>(jobs.size()));
    RecordProperty("polls", polls);
    std::printf("busy store: %zu jobs, %d polls, %zu non-zero exits (%d of them jobs)\n", jobs.size(), polls,
                failures.size(), jobFailures);
    EXPECT_TRUE(failures.empty()) << failures.size() << " command(s) failed:\n" << said;
    EXPECT_GE(polls, static_cast<int>(monitors.size())) << "the monitors did not poll while the jobs ran";
}

// Holds the store's write lock the way a long transaction of another
// process does, until released.
class WriteLockHolder {
public:
    explicit WriteLockHolder(const std::string& storeDir) {
        if (sqlite3_open((storeDir + "/host.db").c_str(), &db_) == SQLITE_OK)
            held_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~WriteLockHolder() { sqlite3_close(db_); }
    bool held() const { return held_; }
    void release() {
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        held_ = false;
    }

private:
    sqlite3* db_ = nullptr;
    bool held_ = false;
};

// A command that needs the store while another process holds it waits:
// it ends well once the holder lets go, and exits 75 with the reason when
// the busy wait ($HNAS_HOST_BUSY_WAIT) runs out first.
TEST(BusyStore, ACommandWaitsForTheStoreAndExits75WhenTheWaitRunsOut) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();

    {
        WriteLockHolder holder(world.storeDirectory());
        ASSERT_TRUE(holder.held());
        std::string output;
        const pid_t waiting = world.startHost({"set-setting", "hnas-host", "nKeepJobLogs", "7"}, output);
        ASSERT_GT(waiting, 0);
        e2e::pauseMs(1500);
        EXPECT_TRUE(processRunning(waiting)) << "it did not wait for the store: " << readWholeFile(output);
        holder.release();
        const ProcessResult end = waitProcess(waiting, kJobTimeoutMs);
        EXPECT_EQ(kExitOk, end.exitCode) << readWholeFile(output);
    }
    const e2e::HostRun settings = world.host({"list-settings"});
    EXPECT_NE(std::string::npos, settings.output.find("nKeepJobLogs")) << settings.output;

    WriteLockHolder holder(world.storeDirectory());
    ASSERT_TRUE(holder.held());
    setenv("HNAS_HOST_BUSY_WAIT", "1", 1);
    const e2e::HostRun setting = world.host({"set-setting", "hnas-host", "nKeepJobLogs", "8"});
    const e2e::HostRun device =
        world.addDevice("dev-x", "{type:native_hnas,path:/__VOLUME__/fa/d,targethostname:hnasb}");
    unsetenv("HNAS_HOST_BUSY_WAIT");
    for (const e2e::HostRun& run : {setting, device}) {
        EXPECT_EQ(kExitBusy, run.exitCode) << run.output;
        EXPECT_NE(std::string::npos,
                  run.output.find("the store is busy: another hnas-host command held it for longer than 1 s"))
            << run.output;
    }
}

}  // namespace
