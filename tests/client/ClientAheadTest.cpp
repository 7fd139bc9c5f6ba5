// Calls made ahead with several requests in flight, against hnas-arraysim:
// the requests of a batch overlap; a refused, lost or closed request in the
// middle of a batch fails or settles only its own call, and the calls after
// a failure are not started; a create is sent once; each outcome is taken
// once, with its log lines, and every line is logged on the calling thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/QzManageHNAS.h"
#include "standins/qzlib/EvDebugSink.h"
#include "tests/client/ClientLogCheck.h"
#include "tests/client/Simulator.h"
#include "tests/client/TestCerts.h"
#include "tests/support/TempSettings.h"

namespace {

using clienttest::contains;
using clienttest::kSimPassword;
using clienttest::kSimUser;
using nlohmann::json;

constexpr char kPrefix[] = "QZHNAS";
constexpr int kFileSystems = 8;

// Array hnas1 with evs1 and file systems fs1 to fs8.
json eightFileSystems() {
    json seed = clienttest::standardSeed();
    json& fileSystems = seed["arrays"][0]["filesystems"];
    for (int i = 3; i <= kFileSystems; ++i)
        fileSystems.push_back({{"label", "fs" + std::to_string(i)}, {"virtualServerId", 1}});
    return seed;
}

// Every log line with the thread that logged it.
struct ThreadLog {
    struct Line {
        EvLogLine line;
        std::thread::id thread;
    };
    ThreadLog() {
        EvDebugSetSink([this](const EvLogLine& line) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back({line, std::this_thread::get_id()});
        });
    }
    ~ThreadLog() { EvDebugSetSink(EvLogSink()); }
    std::vector<Line> taken() {
        std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }
    std::mutex mutex;
    std::vector<Line> lines;
};

class ClientAhead : public ::testing::Test {
protected:
    void start(const std::string& extraSettings, const std::vector<std::string>& options = {}) {
        client_.reset();
        sim_.reset();
        settings_.reset();   // before the next: its end restores the settings from before it
        settings_ = std::make_unique<testsupport::TempSettings>(clienttest::clientSettings(
            clienttest::serverCerts().ca, "nRequestTimeoutSecs=2\nnRetryBackoffMs=10\n" + extraSettings));
        sim_ = std::make_unique<clienttest::Simulator>(eightFileSystems(), options);
        ASSERT_TRUE(sim_->started()) << "hnas-arraysim did not come up";
        client_ = std::make_unique<QzManageHNAS>(jobId_);
        ASSERT_TRUE(client_->init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", sim_->port()));
        const json state = sim_->state();
        fileSystemIds_.clear();
        for (const auto& fs : state["arrays"][0]["filesystems"])
            fileSystemIds_.push_back(fs.value("filesystemId", ""));
        ASSERT_EQ(static_cast<size_t>(kFileSystems), fileSystemIds_.size());
    }

    // One snapshot create per file system, "u1-fs1" on fs1 and so on.
    std::vector<QzAheadCall> creates() const {
        std::vector<QzAheadCall> calls;
        for (int i = 0; i < kFileSystems; ++i) {
            QzAheadCall call;
            call.kind = QzAheadKind::CreateSnapshot;
            call.name = "u1-fs" + std::to_string(i + 1);
            call.fileSystemId = fileSystemIds_[static_cast<size_t>(i)];
            call.prefix = kPrefix;
            calls.push_back(call);
        }
        return calls;
    }

    std::set<std::string> snapshotNames() {
        std::set<std::string> names;
        const json state = sim_->state();
        for (const auto& s : state["arrays"][0]["snapshots"]) names.insert(s.value("displayName", ""));
        return names;
    }

    const unsigned long long jobId_ = 77;
    ThreadLog log_;
    std::unique_ptr<testsupport::TempSettings> settings_;
    std::unique_ptr<clienttest::Simulator> sim_;
    std::unique_ptr<QzManageHNAS> client_;
    std::vector<std::string> fileSystemIds_;
};

TEST_F(ClientAhead, OneInFlightMakesNothingAheadAndAsksTheArrayNothingMore) {
    start("");
    EXPECT_EQ(1, client_->requestsInFlight());
    std::vector<QzAheadCall> calls = creates();
    EXPECT_FALSE(client_->runAhead(calls));
    EXPECT_EQ(0, sim_->callCount("createSnapshot"));
    EXPECT_EQ(0, sim_->callCount("getRestAccess"));
}

TEST_F(ClientAhead, TheArraysConnectionLimitCapsTheSetting) {
    start("nRequestsInFlight=16\n", {"--max-allowed-connections", "5"});
    // Five connections: the client's own and four for calls made ahead.
    EXPECT_EQ(4, client_->requestsInFlight());
    EXPECT_EQ(1, sim_->callCount("getRestAccess"));
    EXPECT_EQ(4, client_->requestsInFlight());   // asked once per init
    EXPECT_EQ(1, sim_->callCount("getRestAccess"));
}

TEST_F(ClientAhead, TheRequestsOfABatchOverlapAndEachOutcomeIsTakenOnce) {
    start("nRequestsInFlight=8\n");
    const int latencyMs = 300;
    ASSERT_TRUE(sim_->inject({{"operation", "createSnapshot"}, {"count", kFileSystems}, {"latencyMs", latencyMs}}));
    ASSERT_TRUE(sim_->admin("DELETE", "/admin/calls", nullptr));
    std::vector<QzAheadCall> calls = creates();
    ASSERT_TRUE(client_->runAhead(calls));
    for (const QzAheadCall& call : calls) EXPECT_TRUE(call.made && call.succeeded) << call.name;

    // One after the other, the last would end at least 7 latencies after the
    // first; together they end within one.
    json answer;
    ASSERT_TRUE(sim_->admin("GET", "/admin/calls", nullptr, &answer));
    std::vector<long long> ends;
    for (const auto& call : answer["calls"])
        if (call.value("operation", "") == "createSnapshot") ends.push_back(call.value("endMicros", 0LL));
    ASSERT_EQ(static_cast<size_t>(kFileSystems), ends.size());
    EXPECT_LT(*std::max_element(ends.begin(), ends.end()) - *std::min_element(ends.begin(), ends.end()),
              latencyMs * 1000LL);

    // The member takes the outcome without a request; a second call of it
    // is a call of its own (the array refuses the name that now exists).
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(client_->createFileSystemSnapshot("u1-fs3", fileSystemIds_[2], kPrefix, snapshot));
    EXPECT_EQ("QZHNAS-u1-fs3", snapshot.name);
    EXPECT_EQ(kFileSystems, sim_->callCount("createSnapshot"));
    EXPECT_FALSE(client_->createFileSystemSnapshot("u1-fs3", fileSystemIds_[2], kPrefix, snapshot));
    EXPECT_EQ(kFileSystems + 1, sim_->callCount("createSnapshot"));
}

// A fault on fs4's create, in the middle of the batch.
TEST_F(ClientAhead, AFaultInTheMiddleOfABatchTouchesOnlyItsCallAndNoCreateGoesTwice) {
    struct Case {
        const char* action;
        bool fs4Created;   // on the array afterwards
        bool fs4Succeeds;
        bool laterStarted; // calls after fs4's still made
        int fs4Posts;      // POSTs of fs4's create
    };
    const Case cases[] = {
        // Refused: the calls after it are not started.
        {"status", false, false, false, 1},
        // Closed unanswered and not done: the look-up finds no such snapshot,
        // so the create goes again (as a call made alone does) and succeeds.
        {"close", true, true, true, 2},
        // Done, its answer lost: the look-up finds and adopts it; no second POST.
        {"closeAfter", true, true, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        start("nRequestsInFlight=8\n");
        // fs4's create is held so that the calls before it have ended when it
        // fails; those after it are in flight with it or not started.
        ASSERT_TRUE(sim_->inject({{"operation", "createSnapshot"}, {"matching", "u1-fs4"}, {"latencyMs", 200}}));
        json fault = {{"operation", "createSnapshot"}, {"matching", "u1-fs4"}, {"action", c.action}};
        if (std::string(c.action) == "status") fault["status"] = 500;
        ASSERT_TRUE(sim_->inject(fault));
        std::vector<QzAheadCall> calls = creates();
        ASSERT_TRUE(client_->runAhead(calls));

        const std::set<std::string> names = snapshotNames();
        int posts = 0;
        for (size_t i = 0; i < calls.size(); ++i) {
            const QzAheadCall& call = calls[i];
            SCOPED_TRACE(call.name);
            const bool onArray = names.count("QZHNAS-" + call.name) != 0;
            if (i < 3) {
                EXPECT_TRUE(call.made && call.succeeded && onArray);
            }
            if (i == 3) {
                EXPECT_TRUE(call.made);
                EXPECT_EQ(c.fs4Succeeds, call.succeeded);
                EXPECT_EQ(c.fs4Created, onArray);
            }
            if (i > 3 && c.laterStarted) {
                EXPECT_TRUE(call.made && call.succeeded && onArray);
            }
            // A call not made left nothing behind; one made did what it says.
            if (!call.made) {
                EXPECT_FALSE(onArray);
            }
            if (call.made && i != 3) {
                EXPECT_EQ(call.succeeded, onArray);
            }
            posts += !call.made ? 0 : i == 3 ? c.fs4Posts : 1;
        }
        EXPECT_EQ(posts, sim_->callCount("createSnapshot")) << "a create went twice";

        // The failure line comes when fs4's outcome is taken, on this thread.
        const size_t before = log_.taken().size();
        __HNASFileSystemSnapshot snapshot;
        EXPECT_EQ(c.fs4Succeeds, client_->createFileSystemSnapshot("u1-fs4", fileSystemIds_[3], kPrefix, snapshot));
        const std::vector<ThreadLog::Line> lines = log_.taken();
        bool failureLine = false;
        for (size_t i = before; i < lines.size(); ++i)
            failureLine |= lines[i].line.level == -1 && contains(lines[i].line.context, "createFileSystemSnapshot");
        EXPECT_EQ(!c.fs4Succeeds, failureLine);
        EXPECT_EQ(posts, sim_->callCount("createSnapshot"));

        // The client's end settles the rest: snapshots no device took are
        // deleted again.
        client_.reset();
        for (const std::string& name : snapshotNames())
            EXPECT_TRUE(name == "QZHNAS-old-fs1" || name == "QZHNAS-u1-fs4") << name;
        for (const ThreadLog::Line& line : log_.taken()) {
            EXPECT_EQ(std::this_thread::get_id(), line.thread) << line.line.message;
            EXPECT_FALSE(contains(line.line.message, kSimPassword)) << line.line.message;
        }
    }
}

// Reconcile's list of every snapshot asks for the file systems' lists
// several at once: the same list as one at a time, and a refused list in
// the middle fails the whole call (a partial list would make snapshots look
// deleted).
TEST_F(ClientAhead, EveryFileSystemsSnapshotsAreListedTogetherAndOneRefusalFailsTheList) {
    start("nRequestsInFlight=8\n");
    for (int i = 0; i < kFileSystems; i += 2) {
        __HNASFileSystemSnapshot made;
        ASSERT_TRUE(client_->createFileSystemSnapshot("u9-fs" + std::to_string(i + 1),
                                                      fileSystemIds_[static_cast<size_t>(i)], kPrefix, made));
    }
    std::vector<__HNASFileSystemSnapshot> snapshots;
    std::vector<__HNASFileSystemInfo> unlisted;
    ASSERT_TRUE(client_->getAllSnapshots(snapshots, unlisted));
    std::set<std::string> listed;
    for (const __HNASFileSystemSnapshot& snapshot : snapshots) listed.insert(snapshot.name);
    EXPECT_EQ(snapshotNames(), listed);
    EXPECT_TRUE(unlisted.empty());

    ASSERT_TRUE(sim_->inject({{"operation", "listSnapshots"}, {"matching", fileSystemIds_[3]}, {"status", 500}}));
    const size_t before = log_.taken().size();
    EXPECT_FALSE(client_->getAllSnapshots(snapshots, unlisted));
    EXPECT_TRUE(snapshots.empty());
    int failures = 0;
    const std::vector<ThreadLog::Line> lines = log_.taken();
    for (size_t i = before; i < lines.size(); ++i) {
        failures += lines[i].line.level == -1;
        EXPECT_EQ(std::this_thread::get_id(), lines[i].thread) << lines[i].line.message;
    }
    EXPECT_EQ(1, failures);
}

}  // namespace
