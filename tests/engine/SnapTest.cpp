// Snap through the exported entry point: one snapshot per file system of a
// group, names, metadata rewritten, the stop rule.
#include <gtest/gtest.h>

#include "tests/support/EngineFixture.h"

namespace {

using namespace QZSO;
using testsupport::EngineFixture;
using testsupport::Statuses;

void prepare(EngineFixture& f) {
    ASSERT_EQ(0, f.run(qzso_prepareDevices));
    f.array.clearCalls();
}

TEST(Snap, DevicesOnOneFileSystemShareOneSnapshot) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");           // on fs1
    f.addDevice(testsupport::kNativeOnFs1, "u2");   // also on fs1
    f.addDevice(testsupport::kNfs, "u3");           // on fs2
    prepare(f);
    EXPECT_EQ(0, f.run(qzso_snapDevices));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_SNAPPED), f.statuses());
    EXPECT_EQ(2, f.array.count("createFileSystemSnapshot"));
    const auto creates = f.array.callsOf("createFileSystemSnapshot");
    EXPECT_EQ((std::vector<std::string>{"u1-fs1", f.fileSystemId("fs1"), "QZHNAS"}), creates[0].arguments);
    EXPECT_EQ((std::vector<std::string>{"u3-fs2", f.fileSystemId("fs2"), "QZHNAS"}), creates[1].arguments);
    EXPECT_EQ((std::vector<std::string>{"QZHNAS-u1-fs1", "QZHNAS-u3-fs2"}), f.snapshotNames());

    const arraymodel::Snapshot& shared = f.hnas1().snapshots[0];
    for (size_t i : {0u, 1u}) {
        SCOPED_TRACE(i);
        EXPECT_EQ("QZHNAS-u1-fs1", f.snap(i).snapUUID);
        const std::string identity = f.snap(i).metadata[SM_MDT_SNAP_UUID];
        EXPECT_NE(std::string::npos, identity.find(",SnapshotObjectID:" + shared.objectId + ","));
        EXPECT_NE(std::string::npos, identity.find(",SnapshotName:QZHNAS-u1-fs1}"));
    }
    EXPECT_EQ("QZHNAS-u3-fs2", f.snap(2).snapUUID);
    EXPECT_TRUE(f.log.has(1, "Looks like there are multiple sub client paths using the same File System. Using "
                             "Snapshot [QZHNAS-u1-fs1] for Source Device [" + testsupport::kNativeOnFs1 +
                                 "] under Filesystem [fs1]."));
    EXPECT_TRUE(f.log.has(0, "=================END SNAP PHASE-DEVICE [3]=================="));
}

TEST(Snap, OneFileSystemInTwoGroupsIsSnappedTwice) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice("{type:native_hnas,path:/__VOLUME__/fs1/other,targethostname:filer1b}", "u2");
    prepare(f);
    EXPECT_EQ(0, f.run(qzso_snapDevices));
    EXPECT_EQ(2, f.array.count("createFileSystemSnapshot"));
    EXPECT_EQ((std::vector<std::string>{"QZHNAS-u1-fs1", "QZHNAS-u2-fs1"}), f.snapshotNames());
}

TEST(Snap, FailedCreateStopsTheOperation) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNativeOnFs1, "u2");
    f.addDevice("{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:filer2}", "u3");
    prepare(f);
    f.array.failNext("createFileSystemSnapshot");
    EXPECT_EQ(1, f.run(qzso_snapDevices));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_SNAP_FAILED), f.statuses());
    EXPECT_EQ(ERROR_SNAP_FAILED, f.snap(0).errorCode);
    EXPECT_EQ("Failed to create snapshot.", f.snap(0).errorMessage);
    EXPECT_EQ(0, f.snap(1).errorCode);
    EXPECT_EQ(1, f.array.count("init"));   // the second group is never reached
    EXPECT_FALSE(f.log.has(0, "=================END SNAP PHASE-ARRAY [1]================="));
}

// A snapshot whose identity could not be stored would be found by no later
// job: it is deleted again, and a later delete still reports the device done
// without a snapshot left behind. If that deletion fails too, the snapshot's
// name goes to the failure level for an administrator.
TEST(Snap, IdentityThatCannotBeRewrittenFailsTheDeviceAndRemovesItsSnapshot) {
    for (const bool deletionFails : {false, true}) {
        SCOPED_TRACE(deletionFails ? "the deletion fails too" : "the deletion succeeds");
        EngineFixture f;
        f.addDevice(testsupport::kUnc, "u1");
        prepare(f);
        f.snap(0).setMetadataResult = 5;
        if (deletionFails) f.array.failNext("deleteFileSystemSnapshot");
        EXPECT_EQ(1, f.run(qzso_snapDevices));
        EXPECT_EQ(SNAP_STATUS_SNAP_FAILED, f.snap(0).status);
        EXPECT_EQ(ERROR_SNAP_FAILED, f.snap(0).errorCode);
        EXPECT_EQ("Failed to store the snap metadata of type [6] for Source Device [" + testsupport::kUnc +
                      "]: the host refused it.",
                  f.snap(0).errorMessage);
        const auto deletes = f.array.callsOf("deleteFileSystemSnapshot");
        ASSERT_EQ(1u, deletes.size());
        EXPECT_EQ((std::vector<std::string>{"QZHNAS-u1-fs1", f.fileSystemId("fs1"), "QZHNAS"}), deletes[0].arguments);
        if (deletionFails) {
            EXPECT_TRUE(f.log.has(-1, "Failed to delete the snapshot [QZHNAS-u1-fs1] whose metadata could not be "
                                      "stored. It stays on the array and must be deleted by hand."));
            EXPECT_EQ((std::vector<std::string>{"QZHNAS-u1-fs1"}), f.snapshotNames());
        } else {
            EXPECT_TRUE(f.log.has(0, "Deleted the snapshot [QZHNAS-u1-fs1] again: its metadata could not be stored."));
            EXPECT_TRUE(f.snapshotNames().empty());
        }

        // The host kept the new snap UUID with the identity from prepare: a
        // later delete finds the snapshot by name (if still there) and is done.
        f.snap(0).setMetadataResult = 0;
        f.snap(0).status = SNAP_STATUS_SNAP_FAILED;
        EXPECT_EQ(0, f.run(qzso_deleteSnaps));
        EXPECT_EQ(SNAP_STATUS_DELETED, f.snap(0).status);
        EXPECT_TRUE(f.snapshotNames().empty());
    }
}

// A device that only shares a snapshot an earlier device of the call made
// and succeeded with leaves that snapshot alone when its own identity fails.
TEST(Snap, ASharedSnapshotStaysWhenALaterDevicesIdentityFails) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNativeOnFs1, "u2");
    prepare(f);
    f.snap(1).setMetadataResult = 5;
    EXPECT_EQ(2, f.run(qzso_snapDevices));
    EXPECT_EQ((Statuses{SNAP_STATUS_SNAPPED, SNAP_STATUS_SNAP_FAILED}), f.statuses());
    EXPECT_EQ(0, f.array.count("deleteFileSystemSnapshot"));
    EXPECT_EQ((std::vector<std::string>{"QZHNAS-u1-fs1"}), f.snapshotNames());
}

}  // namespace
