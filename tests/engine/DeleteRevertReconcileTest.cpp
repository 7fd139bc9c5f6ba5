// Delete, revert and reconcile through the exported entry points.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/EngineFixture.h"
#include "tests/support/TempSettings.h"

namespace {

using namespace QZSO;
using testsupport::EngineFixture;
using testsupport::Statuses;

// Three devices on fs1, fs2 and fs3, prepared and snapped.
void snapped(EngineFixture& f) {
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNfs, "u2");
    f.addDevice(testsupport::kNative, "u3");
    ASSERT_EQ(0, f.run(qzso_prepareDevices));
    ASSERT_EQ(0, f.run(qzso_snapDevices));
    f.array.clearCalls();
}

TEST(Delete, RemovesEachSnapshot) {
    EngineFixture f;
    snapped(f);
    EXPECT_EQ(0, f.run(qzso_deleteSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_DELETED), f.statuses());
    EXPECT_TRUE(f.snapshotNames().empty());
    const auto deletes = f.array.callsOf("deleteFileSystemSnapshot");
    ASSERT_EQ(3u, deletes.size());
    EXPECT_EQ("QZHNAS-u1-fs1", deletes[0].arguments[0]);
    EXPECT_EQ(f.fileSystemId("fs1"), deletes[0].arguments[1]);
    EXPECT_EQ("QZHNAS", deletes[0].arguments[2]);
}

// A device whose prepare failed before any snap holds no name of ours.
TEST(Delete, PrepareFailedDevicesNeedNoArrayCall) {
    EngineFixture f;
    snapped(f);
    f.snap(0).status = SNAP_STATUS_PREPARE_FAILED;
    f.snap(0).snapUUID = "u1";
    f.snap(2).status = SNAP_STATUS_PREPARE_FAILED;
    f.snap(2).snapUUID = "";
    EXPECT_EQ(0, f.run(qzso_deleteSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_DELETED), f.statuses());
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
    EXPECT_EQ((Statuses{SNAP_STATUS_DELETED, SNAP_STATUS_DELETE_FAILED, SNAP_STATUS_DELETE_FAILED}),
              f.statuses());
    EXPECT_EQ(ERROR_DELETE_FAILED, f.snap(1).errorCode);
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
    EXPECT_EQ(Statuses(3, SNAP_STATUS_SNAPPED), f.statuses());
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
    EXPECT_EQ(Statuses(3, SNAP_STATUS_REVERT_FAILED), f.statuses());
    EXPECT_EQ(ERROR_REVERT_FAILED, f.snap(0).errorCode);
    EXPECT_EQ("Failed to Revert Snap[QZHNAS-u1-fs1]", f.snap(0).errorMessage);
    EXPECT_EQ(1, f.array.count("recoverFileSystemSnapshot"));
}

TEST(Reconcile, ReadsTheSnapshotListOncePerArrayAndMarksMissingOnes) {
    EngineFixture f;
    snapped(f);
    ASSERT_TRUE(arraymodel::deleteSnapshot(f.hnas1(), f.hnas1().snapshots[1].objectId).ok());   // u2's
    EXPECT_EQ(2, f.run(qzso_reconcileSnaps));
    EXPECT_EQ((Statuses{SNAP_STATUS_SNAPPED, SNAP_STATUS_EXTERNALLY_DELETED, SNAP_STATUS_SNAPPED}), f.statuses());
    EXPECT_EQ(1, f.array.count("getAllSnapshots"));
    EXPECT_EQ(0, f.snap(1).errorCode);
    EXPECT_TRUE(f.log.has(0, "Snapshot QZHNAS-u2-fs2 not found. Marking it as externally deleted."));
    EXPECT_TRUE(f.log.has(0, "Snapshot QZHNAS-u1-fs1 found."));
}

// A file system's retention holds a deleted snapshot until it expires: the
// delete is accepted and the device done, and the snapshot, still listed,
// is no device's loss, so reconcile marks nobody externally deleted until
// the retention has expired and the snapshot is gone.
TEST(Reconcile, ASnapshotWaitingForItsRetentionIsNotExternallyDeleted) {
    EngineFixture f;
    for (arraymodel::FileSystem& fs : f.hnas1().fileSystems)
        if (fs.label == "fs2") fs.retentionSeconds = 7 * 24 * 3600;
    snapped(f);
    const std::string u2 = f.hnas1().snapshots[1].objectId;
    ASSERT_TRUE(arraymodel::deleteSnapshot(f.hnas1(), u2, f.array.now).ok());
    ASSERT_EQ(3u, f.snapshotNames().size());
    EXPECT_EQ(0, f.run(qzso_reconcileSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_SNAPPED), f.statuses());

    // Deleted by the plug-in: done, and still there while retained.
    EXPECT_EQ(0, f.run(qzso_deleteSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_DELETED), f.statuses());
    EXPECT_EQ(std::vector<std::string>{"QZHNAS-u2-fs2"}, f.snapshotNames());

    // Once expired, the array lets it go.
    f.array.now += 7 * 24 * 3600;
    for (auto& snap : f.snaps) snap->status = SNAP_STATUS_SNAPPED;
    f.run(qzso_reconcileSnaps);
    EXPECT_EQ(Statuses(3, SNAP_STATUS_EXTERNALLY_DELETED), f.statuses());
}

TEST(Reconcile, PrepareFailedDevicesNeverAskTheArray) {
    EngineFixture f;
    snapped(f);
    for (auto& snap : f.snaps) snap->status = SNAP_STATUS_PREPARE_FAILED;
    EXPECT_EQ(0, f.run(qzso_reconcileSnaps));
    EXPECT_EQ(0, f.array.count("getAllSnapshots"));
}

TEST(Reconcile, AnUnreadableSnapshotListStopsTheOperation) {
    EngineFixture f;
    snapped(f);
    f.array.failNext("getAllSnapshots");
    EXPECT_EQ(1, f.run(qzso_reconcileSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_SNAPPED), f.statuses());
    EXPECT_TRUE(f.log.has(-1, "Failed to get all the Snapshots"));
}

// Sets the status of hnas1's file system `label`, e.g. "NOT_MOUNTED".
void setFileSystemStatus(EngineFixture& f, const std::string& label, const std::string& status) {
    for (arraymodel::FileSystem& fs : f.hnas1().fileSystems)
        if (fs.label == label) fs.status = status;
}

// A file system on another virtual server of hnas1, holding a snapshot but
// no device of the job.
void addFileSystemElsewhere(EngineFixture& f, const std::string& status) {
    arraymodel::VirtualServer evs;
    evs.id = 9;
    evs.name = "evs9";
    ASSERT_TRUE(arraymodel::addVirtualServer(f.hnas1(), evs).ok());
    arraymodel::FileSystem fs;
    fs.label = "fs9";
    fs.virtualServerId = 9;
    fs.status = status;
    ASSERT_TRUE(arraymodel::addFileSystem(f.hnas1(), fs).ok());
    arraymodel::Snapshot other;
    other.fileSystemId = "fs9";
    other.displayName = "QZHNAS-other-fs9";
    other.appSearchId = "QZHNAS";
    ASSERT_TRUE(arraymodel::addSnapshot(f.hnas1(), other, 1).ok());
}

// The array cannot list the snapshots of a file system that is not mounted:
// a device whose snapshot is on one keeps its status, is not counted and is
// named in a failure line; the others are reconciled as usual. An unmounted
// file system that holds no device of the job changes nothing.
TEST(Reconcile, ADeviceOnAnUnmountedFileSystemKeepsItsStatus) {
    const std::string keptU3 =
        "Snapshot [QZHNAS-u3-fs3] is on file system [fs3], whose snapshots cannot be listed (status "
        "[NOT_MOUNTED]): its status is kept.";
    const struct {
        const char* name;
        bool unmountFs3;        // u3's file system
        bool deleteU2Snapshot;  // u2's snapshot is gone from fs2
        int returnCode;
        Statuses statuses;
    } cases[] = {
        {"only a file system elsewhere unmounted", false, false, 0,
         {SNAP_STATUS_SNAPPED, SNAP_STATUS_SNAPPED, SNAP_STATUS_MAPPED}},
        {"found, not found, unmounted", true, true, 2,
         {SNAP_STATUS_SNAPPED, SNAP_STATUS_EXTERNALLY_DELETED, SNAP_STATUS_MAPPED}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EngineFixture f;
        snapped(f);
        addFileSystemElsewhere(f, "NOT_MOUNTED");
        f.snap(2).status = SNAP_STATUS_MAPPED;
        if (c.unmountFs3) setFileSystemStatus(f, "fs3", "NOT_MOUNTED");
        if (c.deleteU2Snapshot) {
            ASSERT_TRUE(arraymodel::deleteSnapshot(f.hnas1(), f.hnas1().snapshots[1].objectId).ok());
        }
        for (auto& snap : f.snaps) snap->calls.clear();
        EXPECT_EQ(c.returnCode, f.run(qzso_reconcileSnaps));
        EXPECT_EQ(c.statuses, f.statuses());
        EXPECT_EQ(1, f.array.count("getAllSnapshots"));
        EXPECT_FALSE(f.log.has(-1, "Failed to get all the Snapshots"));
        EXPECT_TRUE(f.log.has(0, "Snapshot QZHNAS-u1-fs1 found."));
        EXPECT_EQ(c.unmountFs3, f.log.has(-1, keptU3));
        EXPECT_FALSE(f.log.has(0, "Snapshot QZHNAS-u3-fs3 not found. Marking it as externally deleted."));
        EXPECT_EQ(0, f.snap(2).countCalls("setStatus"));
    }
}

// A stored identity cut short still ties the device to its file system:
// by its label without the ID, by its snapshot's name without either.
TEST(Reconcile, AnIdentityWithoutFileSystemIdStillFindsItsUnmountedFileSystem) {
    const struct {
        const char* identity;   // the stored type-6 text
        const char* fileSystem; // the file system unmounted
        SnapStatus after;
    } cases[] = {
        {"{FileSystemName:fs3}", "fs3", SNAP_STATUS_SNAPPED},
        {"{FileSystemName:}", "fs3", SNAP_STATUS_SNAPPED},
        // Another file system unmounted: fs3 was listed, the snapshot is gone.
        {"{FileSystemName:fs3}", "fs1", SNAP_STATUS_EXTERNALLY_DELETED},
        {"{FileSystemName:}", "fs1", SNAP_STATUS_EXTERNALLY_DELETED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.identity) + " " + c.fileSystem);
        EngineFixture f;
        f.addDevice(testsupport::kNative, "u1");   // fs3
        ASSERT_EQ(0, f.run(qzso_prepareDevices));
        ASSERT_EQ(0, f.run(qzso_snapDevices));
        ASSERT_TRUE(arraymodel::deleteSnapshot(f.hnas1(), f.hnas1().snapshots[0].objectId).ok());
        f.snap(0).metadata[SM_MDT_SNAP_UUID] = c.identity;
        setFileSystemStatus(f, c.fileSystem, "NOT_MOUNTED");
        EXPECT_EQ(1, f.run(qzso_reconcileSnaps));
        EXPECT_EQ(c.after, f.snap(0).status);
    }
}

std::string banner(const std::string& phase, const std::string& what, int number, bool end = false) {
    return "=================" + std::string(end ? "END " : "") + phase + "-" + what + " [" + std::to_string(number) +
           "]=================";
}

// Devices sharing one snapshot: one roll-back, one deletion per call; each
// device gets the result with its own lines and banners.
TEST(Revert, RollsBackEachSharedSnapshotOnceAndDeleteCountsTheDiscardedOnesDone) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");           // fs1
    f.addDevice(testsupport::kNativeOnFs1, "u2");   // fs1, the same snapshot
    f.addDevice(testsupport::kNfs, "u3");           // fs2
    ASSERT_EQ(0, f.run(qzso_prepareDevices));
    ASSERT_EQ(0, f.run(qzso_snapDevices));
    f.array.clearCalls();

    EXPECT_EQ(0, f.run(qzso_revertSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_SNAPPED), f.statuses());
    EXPECT_EQ(2, f.array.count("recoverFileSystemSnapshot"));
    // Both devices of fs1 report it, each with its own end banner.
    int reported = 0;
    for (const EvLogLine& line : f.log.lines()) reported += line.message == "Successfully Reverted Snap: [QZHNAS-u1-fs1] ";
    EXPECT_EQ(2, reported);
    EXPECT_TRUE(f.log.has(0, banner("REVERT", "DEVICE", 3, true)));
    // The roll-backs discarded every snapshot of fs1 and fs2.
    EXPECT_TRUE(f.snapshotNames().empty());

    EXPECT_EQ(1, f.run(qzso_reconcileSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_EXTERNALLY_DELETED), f.statuses());
    f.array.clearCalls();
    for (auto& snap : f.snaps) snap->status = SNAP_STATUS_SNAPPED;
    EXPECT_EQ(0, f.run(qzso_deleteSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_DELETED), f.statuses());
    EXPECT_EQ(2, f.array.count("deleteFileSystemSnapshot"));
}

TEST(Delete, DeletesEachSharedSnapshotOnce) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNativeOnFs1, "u2");
    f.addDevice(testsupport::kNfs, "u3");
    ASSERT_EQ(0, f.run(qzso_prepareDevices));
    ASSERT_EQ(0, f.run(qzso_snapDevices));
    f.array.clearCalls();
    EXPECT_EQ(0, f.run(qzso_deleteSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_DELETED), f.statuses());
    EXPECT_EQ(2, f.array.count("deleteFileSystemSnapshot"));
    EXPECT_TRUE(f.snapshotNames().empty());
    EXPECT_TRUE(f.log.has(0, banner("DELETE PHASE", "DEVICE", 2, true)));
}

// A successful revert never leaves a failure status: the status from before
// the call comes back, or snapped where that was itself a failure. A device
// whose prepare failed keeps that status whatever the revert's outcome, and
// still runs its pre-operation.
TEST(Revert, StatusAfterTheCallFollowsTheStatusBeforeIt) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    const struct {
        SnapStatus before;
        bool fails;
        SnapStatus after;
    } cases[] = {
        {SNAP_STATUS_SNAPPED, false, SNAP_STATUS_SNAPPED},
        {SNAP_STATUS_MAPPED, false, SNAP_STATUS_MAPPED},
        {SNAP_STATUS_UNMAPPED, false, SNAP_STATUS_UNMAPPED},
        {SNAP_STATUS_DELETED, false, SNAP_STATUS_DELETED},
        {SNAP_STATUS_REVERT_FAILED, false, SNAP_STATUS_SNAPPED},
        {SNAP_STATUS_SNAP_FAILED, false, SNAP_STATUS_SNAPPED},
        {SNAP_STATUS_MAP_FAILED, false, SNAP_STATUS_SNAPPED},
        {SNAP_STATUS_NOT_MAPPED, false, SNAP_STATUS_SNAPPED},
        {SNAP_STATUS_UNMAP_FAILED, false, SNAP_STATUS_SNAPPED},
        {SNAP_STATUS_DELETE_FAILED, false, SNAP_STATUS_SNAPPED},
        // "Prepare failed" stays, so that delete and reconcile keep skipping it.
        {SNAP_STATUS_PREPARE_FAILED, false, SNAP_STATUS_PREPARE_FAILED},
        {SNAP_STATUS_SNAPPED, true, SNAP_STATUS_REVERT_FAILED},
        {SNAP_STATUS_PREPARE_FAILED, true, SNAP_STATUS_PREPARE_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testsupport::statusName(c.before) + (c.fails ? " failing" : ""));
        EngineFixture f;
        f.addDevice(testsupport::kNative, "u1");
        f.addDevice(testsupport::kNfs, "u2");   // after a failure: never reached
        ASSERT_EQ(0, f.run(qzso_prepareDevices));
        ASSERT_EQ(0, f.run(qzso_snapDevices));
        for (auto& snap : f.snaps) {
            snap->status = c.before;
            snap->calls.clear();
        }
        if (c.fails) f.array.failNext("recoverFileSystemSnapshot");
        f.run(qzso_revertSnaps);
        EXPECT_EQ(c.after, f.snap(0).status);
        EXPECT_EQ(c.fails ? ERROR_REVERT_FAILED : 0, f.snap(0).errorCode);
        const SnapStatus secondAfter = !c.fails                                ? c.after
                                       : c.before == SNAP_STATUS_PREPARE_FAILED ? SNAP_STATUS_PREPARE_FAILED
                                                                                : SNAP_STATUS_REVERT_FAILED;
        EXPECT_EQ(secondAfter, f.snap(1).status);
        EXPECT_EQ(1, f.snap(0).countCalls("getSourceDevice"));   // the pre-operation ran
    }
}

// Three devices, the first revert fails, the retry with no fault succeeds:
// every device ends snapped.
TEST(Revert, ARetryAfterAFailureLeavesNoFailureStatus) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    EngineFixture f;
    snapped(f);
    f.array.failNext("recoverFileSystemSnapshot");
    EXPECT_EQ(1, f.run(qzso_revertSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_REVERT_FAILED), f.statuses());
    EXPECT_EQ(0, f.run(qzso_revertSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_SNAPPED), f.statuses());
}

// A negative wait waits not at all (seconds x 1000 of -2147484 would
// overflow into a wait of 25 days); a huge one is kept within an int.
TEST(Revert, ANegativeRefreshWaitDoesNotWait) {
    for (const char* wait : {"-1", "-2147484", "-2147483648"}) {
        SCOPED_TRACE(wait);
        testsupport::TempSettings settings(std::string("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=") + wait + "\n");
        EngineFixture f;
        f.addDevice(testsupport::kNative, "u1");
        ASSERT_EQ(0, f.run(qzso_prepareDevices));
        ASSERT_EQ(0, f.run(qzso_snapDevices));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(0, f.run(qzso_revertSnaps));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
}

// What delete does with a device whose identity holds no snapshot object ID:
// nothing when its snap UUID names none of our snapshots; deletion by name
// and file system when it does, the file system's ID looked up by name when
// the stored identity was cut short. No row reports deleted with the snapshot
// left.
// The device was snapped with the UUID "u1" (snapshot "QZHNAS-u1-fs3");
// each case then leaves its descriptor as a path to delete finds it. No
// path reports it deleted while that snapshot stays, unless the device holds
// no name of ours at all.
TEST(Delete, AnIdentityWithoutObjectId) {
    const char kPrepareIdentity[] =
        "{FileSystemName:fs3,FileSystemID:@,Path:,SubDirectory:,SnapshotObjectID:,VirtualServerID:1,"
        "VirtualServerObjectID:x}";
    const struct {
        const char* name;
        SnapStatus status;
        std::string uuid;        // the host's snap UUID at delete time
        std::string identity;    // the stored type-6 text; "" keeps the one from snap
        SnapStatus expectedStatus;
        std::vector<std::string> expectedCalls;
        std::string deletedName;  // the name asked for, when deleteFileSystemSnapshot is called
        bool snapshotRemains;
    } cases[] = {
        {"prepare failed before any snap: nothing to delete", SNAP_STATUS_PREPARE_FAILED, "u9", "",
         SNAP_STATUS_DELETED, {"init"}, "", true},
        // Status 2 is finished without asking the array, whatever its snap
        // UUID: another descriptor may hold the same snapshot. A snapshot
        // left so is what orphans lists.
        {"prepare failed after the snap: nothing asked", SNAP_STATUS_PREPARE_FAILED, "QZHNAS-u1-fs3", "",
         SNAP_STATUS_DELETED, {"init"}, "", true},
        {"prepare failed after the snap, identity of the failed prepare", SNAP_STATUS_PREPARE_FAILED,
         "QZHNAS-u1-fs3", kPrepareIdentity, SNAP_STATUS_DELETED, {"init"}, "", true},
        {"snap interrupted after the array made the snapshot", SNAP_STATUS_SNAP_FAILED, "u1", kPrepareIdentity,
         SNAP_STATUS_DELETED, {"init", "deleteFileSystemSnapshot"}, "QZHNAS-u1-fs3", false},
        {"snap interrupted before the array made it", SNAP_STATUS_SNAP_FAILED, "u9", kPrepareIdentity,
         SNAP_STATUS_DELETED, {"init", "deleteFileSystemSnapshot"}, "QZHNAS-u9-fs3", true},
        {"snapped, no object ID, our name", SNAP_STATUS_SNAPPED, "QZHNAS-u1-fs3", kPrepareIdentity,
         SNAP_STATUS_DELETED, {"init", "deleteFileSystemSnapshot"}, "QZHNAS-u1-fs3", false},
        {"identity cut short", SNAP_STATUS_SNAPPED, "QZHNAS-u1-fs3", "{FileSystemName:fs3}", SNAP_STATUS_DELETED,
         {"init", "getFileSystemID", "deleteFileSystemSnapshot"}, "QZHNAS-u1-fs3", false},
        {"identity cut short, file system unknown", SNAP_STATUS_SNAPPED, "QZHNAS-u1-fs3", "{FileSystemName:nofs}",
         SNAP_STATUS_DELETE_FAILED, {"init", "getFileSystemID"}, "", true},
        {"identity cut short, a UUID not ours: no name to ask for", SNAP_STATUS_SNAPPED, "u1",
         "{FileSystemName:fs3}", SNAP_STATUS_DELETED, {"init"}, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EngineFixture f;
        f.addDevice(testsupport::kNative, "u1");
        ASSERT_EQ(0, f.run(qzso_prepareDevices));
        ASSERT_EQ(0, f.run(qzso_snapDevices));
        fakehost::FakeSnapInfo& snap = f.snap(0);
        if (!c.identity.empty()) {
            std::string identity = c.identity;
            const size_t at = identity.find('@');
            if (at != std::string::npos) identity.replace(at, 1, f.fileSystemId("fs3"));
            snap.metadata[SM_MDT_SNAP_UUID] = identity;
        }
        snap.snapUUID = c.uuid;
        snap.status = c.status;
        f.array.clearCalls();
        EXPECT_EQ(c.expectedStatus == SNAP_STATUS_DELETED ? 0 : 1, f.run(qzso_deleteSnaps));
        EXPECT_EQ(c.expectedStatus, snap.status);
        EXPECT_EQ(c.expectedCalls, f.array.operations());
        EXPECT_EQ(c.snapshotRemains, !f.snapshotNames().empty());
        const auto deletes = f.array.callsOf("deleteFileSystemSnapshot");
        if (!c.deletedName.empty() && deletes.size() == 1) {
            EXPECT_EQ(c.deletedName, deletes[0].arguments[0]);
        }
        if (c.expectedStatus == SNAP_STATUS_DELETE_FAILED) {
            EXPECT_EQ("Failed to delete Snap[" + c.uuid + "]", snap.errorMessage);
        }
    }
}

// Two native paths on fs3 snapped together hold one snapshot. Descriptor 2
// is prepared again and fails; deleted alone, it is finished without asking
// the array, so descriptor 1 keeps its snapshot. A descriptor of the host's
// own UUID with status 2 and no metadata is finished alike.
TEST(Delete, AStatusTwoDescriptorNeverDeletesASnapshotAnotherHolds) {
    EngineFixture f;
    f.addDevice(testsupport::kNative, "u1");
    f.addDevice("{type:native_hnas,path:/__VOLUME__/fs3/other,targethostname:filer1}", "u1");
    ASSERT_EQ(0, f.run(qzso_prepareDevices));
    ASSERT_EQ(0, f.run(qzso_snapDevices));
    ASSERT_EQ("QZHNAS-u1-fs3", f.snap(1).snapUUID);
    f.array.failNext("getVirtualServerInfo");   // the array cannot be asked: the re-prepare fails
    QZSO::SnapInfo* second[] = {&f.snap(1)};
    EXPECT_EQ(1, qzso_prepareDevices(second, 1, &f.util));
    ASSERT_EQ(SNAP_STATUS_PREPARE_FAILED, f.snap(1).status);
    ASSERT_EQ("QZHNAS-u1-fs3", f.snap(1).snapUUID);

    f.array.clearCalls();
    EXPECT_EQ(0, qzso_deleteSnaps(second, 1, &f.util));
    EXPECT_EQ(SNAP_STATUS_DELETED, f.snap(1).status);
    EXPECT_EQ(0, f.array.count("deleteFileSystemSnapshot"));
    EXPECT_EQ(std::vector<std::string>{"QZHNAS-u1-fs3"}, f.snapshotNames());
    EXPECT_EQ(SNAP_STATUS_SNAPPED, f.snap(0).status);

    fakehost::FakeSnapInfo& own = f.addDevice(testsupport::kNative, "QZHNAS-hostuuid-0001");
    own.status = SNAP_STATUS_PREPARE_FAILED;
    QZSO::SnapInfo* hostOwn[] = {&own};
    EXPECT_EQ(0, qzso_deleteSnaps(hostOwn, 1, &f.util));
    EXPECT_EQ(SNAP_STATUS_DELETED, own.status);
    EXPECT_EQ(0, own.errorCode);
    EXPECT_EQ(0, f.array.count("deleteFileSystemSnapshot"));
}

// Devices whose prepare failed are grouped without a pre-operation (their
// own group, control host 0) and finish without an array call; they and a
// device with nothing to delete log no end banner, so the next device
// repeats the number. Banners count arrays across groups and devices within each.
TEST(Delete, BannerNumbersAcrossGroups) {
    EngineFixture f;
    f.addDevice(testsupport::kNative, "u1");                                                          // prepare failed
    f.addDevice(testsupport::kNfs, "u2");                                                             // prepare failed
    f.addDevice(testsupport::kUnc, "u3");                                                             // nothing to delete
    f.addDevice(testsupport::kNativeOnFs1, "u4");                                                     // host 3
    f.addDevice("{type:native_hnas,path:/__VOLUME__/fs2/c,targethostname:filer2}", "u5");            // host 4
    ASSERT_EQ(0, f.run(qzso_prepareDevices));
    ASSERT_EQ(0, f.run(qzso_snapDevices));
    f.snap(0).status = SNAP_STATUS_PREPARE_FAILED;   // before any snap: no name of ours
    f.snap(0).snapUUID = "u1";
    f.snap(1).status = SNAP_STATUS_PREPARE_FAILED;
    f.snap(1).snapUUID = "u2";
    f.snap(2).snapUUID = "u3";   // the host lost the snapshot's name: nothing of ours to delete
    f.snap(2).metadata[SM_MDT_SNAP_UUID] = "{FileSystemName:fs1}";
    for (auto& snap : f.snaps) snap->calls.clear();
    const size_t first = f.log.lines().size();
    EXPECT_EQ(0, f.run(qzso_deleteSnaps));
    EXPECT_EQ(Statuses(5, SNAP_STATUS_DELETED), f.statuses());
    // The devices whose prepare failed ran no pre-operation; the others did.
    EXPECT_EQ(0, f.snap(0).countCalls("getSourceDevice"));
    EXPECT_EQ(0, f.snap(1).countCalls("getSourceDevice"));
    EXPECT_EQ(1, f.snap(2).countCalls("getSourceDevice"));
    const std::string d = "DELETE PHASE";
    const std::vector<std::string> expected = {
        banner(d, "ARRAY", 1),  banner(d, "DEVICE", 1), banner(d, "DEVICE", 1), banner(d, "ARRAY", 1, true),
        banner(d, "ARRAY", 2),  banner(d, "DEVICE", 1), banner(d, "DEVICE", 1), banner(d, "DEVICE", 1, true),
        banner(d, "ARRAY", 2, true), banner(d, "ARRAY", 3), banner(d, "DEVICE", 1), banner(d, "DEVICE", 1, true),
        banner(d, "ARRAY", 3, true)};
    std::vector<std::string> seen;
    const auto lines = f.log.lines();
    for (size_t i = first; i < lines.size(); ++i)
        if (lines[i].message.rfind("=================", 0) == 0 && lines[i].message.find(d) != std::string::npos)
            seen.push_back(lines[i].message);
    EXPECT_EQ(expected, seen);
}

// Reconcile, like delete, takes devices whose prepare failed without a
// pre-operation; revert runs it for them (tested above).
TEST(Reconcile, StatusTwoSkipsThePreOperation) {
    EngineFixture f;
    snapped(f);
    f.snap(1).status = SNAP_STATUS_PREPARE_FAILED;
    for (auto& snap : f.snaps) snap->calls.clear();
    EXPECT_EQ(0, f.run(qzso_reconcileSnaps));
    EXPECT_EQ(0, f.snap(1).countCalls("getSourceDevice"));
    EXPECT_EQ(1, f.snap(0).countCalls("getSourceDevice"));
    EXPECT_EQ(SNAP_STATUS_PREPARE_FAILED, f.snap(1).status);
}

}  // namespace
