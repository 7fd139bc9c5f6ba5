// The pieces behind run's progress line and the pruning of old jobs' logs:
// which status writes count a device as done, and which logs go.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "harness/demo/WorkspaceFiles.h"
#include "harness/framework/JobProgress.h"
#include "harness/framework/JsonOutput.h"
#include "harness/framework/LogPruning.h"
#include "harness/framework/StoreLocks.h"
#include "host/SnapStatus.h"
#include "tests/support/TempDirectory.h"

namespace {

using namespace QZSO;

TEST(JobProgress, CountsADeviceOnceItsStatusIsItsOwnNotThePreset) {
    using Writes = std::vector<std::pair<long long, int>>;   // device, status, in order
    const struct {
        const char* operation;
        Writes writes;
        int done;
    } cases[] = {
        // The preset alone is no progress; the device's own status is.
        {"snap", {{1, SNAP_STATUS_SNAP_FAILED}, {2, SNAP_STATUS_SNAP_FAILED}}, 0},
        {"snap", {{1, SNAP_STATUS_SNAP_FAILED}, {2, SNAP_STATUS_SNAP_FAILED}, {1, SNAP_STATUS_SNAPPED}}, 1},
        // A failure sets the preset status again.
        {"prepare", {{1, SNAP_STATUS_PREPARE_FAILED}, {1, SNAP_STATUS_PREPARE_FAILED}}, 1},
        // is-mapped presets NOT_MAPPED and confirms it for a share that is not there.
        {"is-mapped", {{1, SNAP_STATUS_NOT_MAPPED}, {2, SNAP_STATUS_NOT_MAPPED}, {1, SNAP_STATUS_NOT_MAPPED}}, 1},
        {"is-mapped", {{1, SNAP_STATUS_NOT_MAPPED}, {1, SNAP_STATUS_MAPPED}}, 1},
        // Delete presets nothing on a device whose prepare failed, then says deleted.
        {"delete", {{1, SNAP_STATUS_DELETED}, {2, SNAP_STATUS_DELETE_FAILED}}, 1},
        // Reconcile presets nothing: a snapshot found missing counts at once.
        {"reconcile", {{1, SNAP_STATUS_EXTERNALLY_DELETED}}, 1},
        // A device counts once, whatever follows.
        {"map", {{1, SNAP_STATUS_MAP_FAILED}, {1, SNAP_STATUS_MAPPED}, {1, SNAP_STATUS_MAPPED}}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        JobProgress progress;
        std::vector<std::pair<int, int>> reports;
        progress.report = [&](int done, int total) { reports.emplace_back(done, total); };
        progress.start(c.operation, 2);
        for (const auto& w : c.writes) progress.statusSet(w.first, w.second);
        EXPECT_EQ(c.done, static_cast<int>(progress.done.size()));
        // Told at the start, then once per change of the count.
        ASSERT_EQ(static_cast<size_t>(c.done) + 1, reports.size());
        EXPECT_EQ(std::make_pair(0, 2), reports.front());
        EXPECT_EQ(std::make_pair(c.done, 2), reports.back());
    }
}

TEST(LogPruning, TheSettingGivesTheJobsKeptAndABadValueTheDefault) {
    const struct {
        const char* value;   // null: not set
        int keep;
        bool noted;
    } cases[] = {{nullptr, 20, false}, {"5", 5, false}, {"0", 0, false}, {"-1", 20, true}, {"abc", 20, true},
                 {"", 20, true},       {"99999999999", 20, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
        std::vector<SettingRecord> settings = {{"~Vorlane", kKeepJobLogsKey, "3"}};
        if (c.value != nullptr) settings.push_back({kHostSettingsSection, kKeepJobLogsKey, c.value});
        std::string note;
        EXPECT_EQ(c.keep, keepJobLogsSetting(settings, note));
        EXPECT_EQ(c.noted, !note.empty()) << note;
    }
}

// Jobs 0 to 6, the last two kept: job 0's row names files of another
// directory (another store's), job 1 still runs (e.g. waiting for the
// array), job 2 lost its host log already, job 3 holds its device's lock
// (its row says it ended: an earlier version took it for dead).
TEST(LogPruning, RemovesTheOldestLogsButNeverThoseOfAJobThatMayRunNorAFileOutsideTheLogDirectory) {
    testsupport::TempDirectory dir;
    testsupport::TempDirectory outside;
    testsupport::TempDirectory locks;
    std::vector<JobRecord> jobs;
    for (long long id = 0; id <= 6; ++id) {
        JobRecord j;
        j.id = id;
        j.outcome = id == 1 ? kJobRunning : kJobDone;
        const std::string logs = id == 0 ? outside.path() : dir.path();
        j.hostLog = logs + "/job-" + std::to_string(id) + ".host.log";
        j.pluginLog = logs + "/job-" + std::to_string(id) + ".plugin.log";
        j.lastJobOf = {10 + id};
        ASSERT_TRUE(id == 2 || writeWholeFile(j.hostLog, "h\n"));
        ASSERT_TRUE(writeWholeFile(j.pluginLog, "p\n"));
        jobs.push_back(j);
    }
    HeldLocks held;
    long long heldId = 0;
    std::string error;
    ASSERT_EQ(LockOutcome::Taken, lockDevices(locks.path(), {13}, 0, held, heldId, error)) << error;
    EXPECT_EQ(0, pruneJobLogs(dir.path(), locks.path(), jobs, 0, error)) << "0 keeps every log";
    EXPECT_EQ(3, pruneJobLogs(dir.path(), locks.path(), jobs, 2, error));
    EXPECT_EQ("", error);
    for (const JobRecord& j : jobs) {
        SCOPED_TRACE(j.id);
        const bool kept = j.id != 2 && j.id != 4;
        EXPECT_EQ(kept, logFilePresent(j.pluginLog));
        EXPECT_EQ(kept && j.id != 2, logFilePresent(j.hostLog));
        const JsonValue shown = jobJson(j);
        EXPECT_EQ(!kept, shown["logsGone"].get<bool>());
        EXPECT_EQ(kept, shown["pluginLog"].is_string());
    }
    // Its lock dropped, job 3's logs go too; one that cannot be removed is
    // named, and the others still go.
    held.release();
    EXPECT_EQ(2, pruneJobLogs(dir.path(), locks.path(), jobs, 2, error));
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0500));
    const int removed = pruneJobLogs(dir.path(), locks.path(), jobs, 1, error);
    chmod(dir.path().c_str(), 0700);
    if (geteuid() != 0) {
        EXPECT_EQ(0, removed);
        EXPECT_NE(std::string::npos, error.find("cannot remove " + jobs[5].hostLog)) << error;
    }
}

TEST(JsonOutput, EscapesWhatJsonMustAndReplacesBytesThatAreNotUtf8) {
    JsonValue document = jsonDocument("state");
    document["text"] = std::string("q\"b\\c\n\x01 é {a,b} \xff!");
    EXPECT_EQ("{\n  \"format\": 1,\n  \"command\": \"state\",\n"
              "  \"text\": \"q\\\"b\\\\c\\n\\u0001 é {a,b} \xEF\xBF\xBD!\"\n}\n",
              jsonText(document));
}

}  // namespace
