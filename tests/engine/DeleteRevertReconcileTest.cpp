// Delete, revert and reconcile through the exported entry points.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/engine/EngineFixture.h"
#include "tests/support/TempSettings.h"

namespace {

using enginetest::EngineFixture;

// Three devices on fs1, fs2 and fs3, prepared and snapped.
void snapped(EngineFixture& f) {
    f.addDevice(enginetest::kUnc, "u1");
    f.addDevice(enginetest::kNfs, "u2");
    f.addDevice(enginetest::kNative, "u3");
    ASSERT_EQ(0, f.run(qzso_prepareDevices));
    ASSERT_EQ(0, f.run(qzso_snapDevices));
    f.array.clearCalls();
}

TEST(Delete, RemovesEachSnapshot) {
    EngineFixture f;
    snapped(f);
    EXPECT_EQ(0, f.run(qzso_deleteSnaps));
    EXPECT_EQ((std::vector<int>{20, 20, 20}), f.statuses());
    EXPECT_TRUE(f.snapshotNames().empty());
    const auto deletes = f.array.callsOf("deleteFileSystemSnapshot");
    ASSERT_EQ(3u, deletes.size());
    EXPECT_EQ("QZHNAS-u1-fs1", deletes[0].arguments[0]);
    EXPECT_EQ(f.fileSystemId("fs1"), deletes[0].arguments[1]);
    EXPECT_EQ("QZHNAS", deletes[0].arguments[2]);
}

TEST(Delete, PrepareFailedDevicesNeedNoArrayCall) {
    EngineFixture f;
    snapped(f);
    f.snap(0).status = 2;
    f.snap(2).status = 2;
    EXPECT_EQ(0, f.run(qzso_deleteSnaps));
    EXPECT_EQ((std::vector<int>{20, 20, 20}), f.statuses());
    EXPECT_EQ(1, f.array.count("deleteFileSystemSnapshot"));
    EXPECT_TRUE(f.log.has(0, "No need to process"));
    // The skipped device logs no end banner and the next device repeats its number.
    EXPECT_FALSE(f.log.has(0, "=================END DELETE PHASE-DEVICE [2]================="));
    EXPECT_EQ(2u, f.snapshotNames().size());
}

TEST(Delete, ASecondFailingDeletionStopsTheOperation) {
    EngineFixture f;
    snapped(f);
    const std::string objectId = f.hnas1().snapshots[1].objectId;   // u2's snapshot
    f.array.failCall("deleteFileSystemSnapshot", 2);
    EXPECT_EQ(2, f.run(qzso_deleteSnaps));
    EXPECT_EQ((std::vector<int>{20, 21, 21}), f.statuses());
    EXPECT_EQ(60004, f.snap(1).errorCode);
    EXPECT_EQ("Failed to delete Snap[" + objectId + "]", f.snap(1).errorMessage);
    EXPECT_EQ(0, f.snap(2).errorCode);
    EXPECT_EQ(2, f.array.count("deleteFileSystemSnapshot"));
}

TEST(Revert, RollsBackAndWaitsTheConfiguredTime) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=1\n");
    EngineFixture f;
    snapped(f);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, f.run(qzso_revertSnaps));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    // A successful revert leaves the descriptors as they were.
    EXPECT_EQ((std::vector<int>{5, 5, 5}), f.statuses());
    EXPECT_EQ(3, f.array.count("recoverFileSystemSnapshot"));
    EXPECT_TRUE(f.log.has(0, "Revert Operation mount path refresh time is set to : [1] secs"));
    EXPECT_TRUE(f.log.has(-1, "Successfully Reverted Snap: [QZHNAS-u2-fs2] "));
}

TEST(Revert, AFailureStopsWithoutWaiting) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=30\n");
    EngineFixture f;
    snapped(f);
    f.array.failNext("recoverFileSystemSnapshot");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(1, f.run(qzso_revertSnaps));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ((std::vector<int>{23, 23, 23}), f.statuses());
    EXPECT_EQ(60005, f.snap(0).errorCode);
    EXPECT_EQ("Failed to Revert Snap[QZHNAS-u1-fs1]", f.snap(0).errorMessage);
    EXPECT_EQ(1, f.array.count("recoverFileSystemSnapshot"));
}

TEST(Reconcile, ReadsTheSnapshotListOncePerArrayAndMarksMissingOnes) {
    EngineFixture f;
    snapped(f);
    ASSERT_TRUE(arraymodel::deleteSnapshot(f.hnas1(), f.hnas1().snapshots[1].objectId).ok());   // u2's
    EXPECT_EQ(2, f.run(qzso_reconcileSnaps));
    EXPECT_EQ((std::vector<int>{5, 24, 5}), f.statuses());
    EXPECT_EQ(1, f.array.count("getAllSnapshots"));
    EXPECT_EQ(0, f.snap(1).errorCode);
    EXPECT_TRUE(f.log.has(0, "Snapshot QZHNAS-u2-fs2 not found. Marking it as externally deleted."));
    EXPECT_TRUE(f.log.has(0, "Snapshot QZHNAS-u1-fs1 found."));
}

TEST(Reconcile, PrepareFailedDevicesNeverAskTheArray) {
    EngineFixture f;
    snapped(f);
    for (auto& snap : f.snaps) snap->status = 2;
    EXPECT_EQ(0, f.run(qzso_reconcileSnaps));
    EXPECT_EQ(0, f.array.count("getAllSnapshots"));
}

TEST(Reconcile, AnUnreadableSnapshotListStopsTheOperation) {
    EngineFixture f;
    snapped(f);
    f.array.failNext("getAllSnapshots");
    EXPECT_EQ(1, f.run(qzso_reconcileSnaps));
    EXPECT_EQ((std::vector<int>{5, 5, 5}), f.statuses());
    EXPECT_TRUE(f.log.has(-1, "Failed to get all the Snapshots"));
}

}  // namespace
