// Work run concurrently on the client's workers, against hnas-arraysim: the
// requests overlap; a refused request fails only its own item, whose lines
// are kept for it and logged on no thread; a worker refuses every change
// without sending it; with one request in flight nothing runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/QzManageHNAS.h"
#include "standins/qzlib/EvDebugSink.h"
#include "tests/client/ClientLogCheck.h"
#include "tests/client/LocalArray.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TempSettings.h"

namespace {

using clienttest::contains;
using testsupport::kSimPassword;
using testsupport::kSimUser;
using nlohmann::json;

constexpr char kPrefix[] = "QZHNAS";
constexpr int kFileSystems = 8;

// Array hnas1 with evs1 and file systems fs1 to fs8.
json eightFileSystems() {
    json seed = testsupport::standardSeed();
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
        settings_ = std::make_unique<testsupport::TempSettings>(testsupport::clientSettings(
            testsupport::serverCerts().ca, "nRequestTimeoutSecs=2\nnRetryBackoffMs=10\n" + extraSettings));
        sim_ = std::make_unique<testsupport::Simulator>(eightFileSystems(), options);
        ASSERT_TRUE(sim_->started()) << "hnas-arraysim did not come up";
        client_ = std::make_unique<QzManageHNAS>(jobId_);
        ASSERT_TRUE(client_->init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", sim_->port()));
        const json state = sim_->state();
        fileSystemIds_.clear();
        for (const auto& fs : state["arrays"][0]["filesystems"])
            fileSystemIds_.push_back(fs.value("filesystemId", ""));
        ASSERT_EQ(static_cast<size_t>(kFileSystems), fileSystemIds_.size());
    }

    // The ID of each file system by its label, asked by worker item i for
    // "fs<i+1>"; what each item found, and whether it succeeded.
    bool lookUpAll(std::vector<std::string>& found, std::vector<char>& succeeded,
                   std::vector<std::vector<QzLogLine>>& lines) {
        found.assign(kFileSystems, std::string());
        succeeded.assign(kFileSystems, 0);
        return client_->runConcurrently(
            kFileSystems,
            [&](QzManageHNAS& worker, size_t i) {
                succeeded[i] = worker.getFileSystemID("fs" + std::to_string(i + 1), found[i]);
            },
            lines);
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
    std::unique_ptr<testsupport::Simulator> sim_;
    std::unique_ptr<QzManageHNAS> client_;
    std::vector<std::string> fileSystemIds_;
};

TEST_F(ClientAhead, OneInFlightRunsNothingAndAsksTheArrayNothingMore) {
    start("");
    EXPECT_EQ(1, client_->requestsInFlight());
    std::vector<std::string> found;
    std::vector<char> succeeded;
    std::vector<std::vector<QzLogLine>> lines;
    EXPECT_FALSE(lookUpAll(found, succeeded, lines));
    EXPECT_EQ(std::vector<char>(kFileSystems, 0), succeeded);
    EXPECT_EQ(0, sim_->callCount("listFileSystems"));
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

TEST_F(ClientAhead, TheWorkersRequestsOverlapAndTheirLinesAreKeptPerItem) {
    start("nRequestsInFlight=8\n");
    const int latencyMs = 300;
    ASSERT_TRUE(sim_->inject({{"operation", "listFileSystems"}, {"count", kFileSystems}, {"latencyMs", latencyMs}}));
    // fs4's look-up is refused: only its own item fails.
    ASSERT_TRUE(sim_->inject({{"operation", "listFileSystems"}, {"matching", "label=fs4&"}, {"status", 500}}));
    ASSERT_GT(client_->requestsInFlight(), 1);   // the array's limit read first, and its line logged
    ASSERT_TRUE(sim_->admin("DELETE", "/admin/calls", nullptr));
    const size_t before = log_.taken().size();
    std::vector<std::string> found;
    std::vector<char> succeeded;
    std::vector<std::vector<QzLogLine>> lines;
    ASSERT_TRUE(lookUpAll(found, succeeded, lines));
    for (int i = 0; i < kFileSystems; ++i) {
        SCOPED_TRACE(i);
        const size_t item = static_cast<size_t>(i);
        EXPECT_EQ(i != 3, succeeded[item] != 0);
        if (i != 3) {
            EXPECT_EQ(fileSystemIds_[item], found[item]);
        }
        bool failureLine = false;
        for (const QzLogLine& line : lines[item]) {
            failureLine |= line.level == -1 && contains(line.context, "getFileSystemID");
            EXPECT_FALSE(contains(line.text, kSimPassword)) << line.text;
        }
        EXPECT_EQ(i == 3, failureLine);
    }
    // Nothing was logged while the workers ran: their lines are the caller's to log.
    EXPECT_EQ(before, log_.taken().size());

    // One after the other, the last would end at least 7 latencies after the
    // first; together they end within one.
    json answer;
    ASSERT_TRUE(sim_->admin("GET", "/admin/calls", nullptr, &answer));
    std::vector<long long> ends;
    for (const auto& call : answer["calls"])
        if (call.value("operation", "") == "listFileSystems" && call.value("status", 0) == 200)
            ends.push_back(call.value("endMicros", 0LL));
    ASSERT_EQ(static_cast<size_t>(kFileSystems - 1), ends.size());
    EXPECT_LT(*std::max_element(ends.begin(), ends.end()) - *std::min_element(ends.begin(), ends.end()),
              latencyMs * 1000LL);
}

TEST_F(ClientAhead, AWorkerRefusesEveryChangeWithoutSendingIt) {
    start("nRequestsInFlight=8\n");
    ASSERT_GT(client_->requestsInFlight(), 1);
    ASSERT_TRUE(sim_->admin("DELETE", "/admin/calls", nullptr));
    std::vector<std::vector<QzLogLine>> lines;
    std::vector<char> refused(5, 0);
    ASSERT_TRUE(client_->runConcurrently(
        5,
        [&](QzManageHNAS& worker, size_t i) {
            __HNASFileSystemSnapshot snapshot;
            snapshot.name = "QZHNAS-old-fs1";
            snapshot.fileSystemId = fileSystemIds_[0];
            __HNASVirtualServers server;
            server.virtualServerId = 1;
            __HNASFileSystemShares share;
            switch (i) {
                case 0: refused[i] = !worker.createFileSystemSnapshot("u2-fs1", fileSystemIds_[0], kPrefix, snapshot); break;
                case 1: refused[i] = !worker.deleteFileSystemSnapshot(snapshot, kPrefix); break;
                case 2: refused[i] = !worker.recoverFileSystemSnapshot("1"); break;
                case 3:
                    refused[i] = !worker.createFileSystemShare("s1-QZShare", "1", fileSystemIds_[0], "\\dir", "CIFS",
                                                               share, false);
                    break;
                default: refused[i] = !worker.deleteFileSystemShare("data", server, "CIFS"); break;
            }
        },
        lines));
    EXPECT_EQ(std::vector<char>(5, 1), refused);
    json answer;
    ASSERT_TRUE(sim_->admin("GET", "/admin/calls", nullptr, &answer));
    EXPECT_TRUE(answer["calls"].empty()) << answer.dump();
    for (const std::vector<QzLogLine>& itemLines : lines) {
        ASSERT_EQ(1u, itemLines.size());
        EXPECT_EQ(-1, itemLines.front().level);
    }
    EXPECT_EQ(snapshotNames(), std::set<std::string>{"QZHNAS-old-fs1"});
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

// A busy answer halves the requests in flight to the array, and each answer
// that is not busy adds one back, up to the setting. Eight in flight, and
// every look-up busy: once the first eight have been answered busy, the
// window is down to one, so the other eight go one at a time. Then every
// look-up answered: the window opens again from one, never past eight.
TEST(ClientAheadBusy, ABusyAnswerHalvesTheRequestsInFlightAndEachAnswerAddsOneBack) {
    testsupport::TempSettings settings(testsupport::clientSettings(
        testsupport::serverCerts().ca, "nRequestsInFlight=8\nnRetryCount=0\nnRequestTimeoutSecs=5\n"));
    std::atomic<bool> busy{true};
    std::atomic<int> active{0};
    std::mutex mutex;
    std::vector<int> seenActive;   // requests being answered as each look-up arrived, itself included
    clienttest::LocalArray array([&](const clienttest::LocalRequest& request, clienttest::LocalResponse& response) {
        if (request.path.find("management-access") != std::string::npos) {
            clienttest::answerJson(response, 200, R"({"accessConfig":{"type":"rest","maxAllowedConnections":20}})");
            return;
        }
        const int now = ++active;
        {
            std::lock_guard<std::mutex> lock(mutex);
            seenActive.push_back(now);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::string label = request.param("label");
        if (busy)
            clienttest::answerJson(response, 503, R"({"errorMsg":"busy"})");
        else
            clienttest::answerJson(response, 200,
                                   R"({"filesystems":[{"filesystemId":"0A1B2C3D4E5F60718293A4B5C6D7E8F9","label":")" +
                                       label + R"("}]})");
        --active;
    });
    QzManageHNAS client(5);
    ASSERT_TRUE(client.init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", array.port()));
    ASSERT_EQ(8, client.requestsInFlight());
    const size_t items = 16;
    auto lookUpAll = [&](std::vector<char>& succeeded) {
        succeeded.assign(items, 0);
        std::vector<std::vector<QzLogLine>> lines;
        return client.runConcurrently(
            items,
            [&](QzManageHNAS& worker, size_t i) {
                std::string id;
                succeeded[i] = worker.getFileSystemID("fs" + std::to_string(i + 1), id);
            },
            lines);
    };

    std::vector<char> succeeded;
    ASSERT_TRUE(lookUpAll(succeeded));
    EXPECT_EQ(std::vector<char>(items, 0), succeeded);
    std::vector<int> busyPhase;
    {
        std::lock_guard<std::mutex> lock(mutex);
        busyPhase.swap(seenActive);
    }
    ASSERT_EQ(items, busyPhase.size());
    EXPECT_EQ(std::vector<int>(items / 2, 1), std::vector<int>(busyPhase.begin() + items / 2, busyPhase.end()));

    busy = false;
    ASSERT_TRUE(lookUpAll(succeeded));
    EXPECT_EQ(std::vector<char>(items, 1), succeeded);
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(items, seenActive.size());
    EXPECT_EQ(1, seenActive.front());
    EXPECT_GT(*std::max_element(seenActive.begin(), seenActive.end()), 1);
    EXPECT_LE(*std::max_element(seenActive.begin(), seenActive.end()), 8);
}

}  // namespace
