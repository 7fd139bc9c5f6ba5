// One set of descriptors through all eight operations, the host keeping what
// each job reported, as later jobs would find it.
#include <gtest/gtest.h>

#include "hostkit/HostBuffers.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/TempSettings.h"

namespace {

using namespace QZSO;
using testsupport::EngineFixture;
using testsupport::Statuses;

void runLifecycle() {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNfs, "u2");
    f.addDevice(testsupport::kNative, "u3");
    f.addDevice(testsupport::kNativeOnFs1, "u4");
    // A source device and identity longer than the first read of 1024 bytes:
    // read after a regrowth, to exactly the size the host asks for.
    f.addDevice("{type:native_hnas,path:/__VOLUME__/fs3/" + std::string(1400, 'd') + ",targethostname:filer1}", "u5");

    EXPECT_EQ(0, f.run(qzso_prepareDevices));
    EXPECT_EQ(Statuses(5, SNAP_STATUS_PREPARED), f.statuses());

    EXPECT_EQ(0, f.run(qzso_snapDevices));
    EXPECT_EQ(Statuses(5, SNAP_STATUS_SNAPPED), f.statuses());
    EXPECT_EQ((std::vector<std::string>{"QZHNAS-u1-fs1", "QZHNAS-u2-fs2", "QZHNAS-u3-fs3"}), f.snapshotNames());

    EXPECT_EQ(0, f.run(qzso_isMapped));
    EXPECT_EQ(Statuses(5, SNAP_STATUS_NOT_MAPPED), f.statuses());

    EXPECT_EQ(0, f.run(qzso_mapSnaps));
    EXPECT_EQ(Statuses(5, SNAP_STATUS_MAPPED), f.statuses());
    EXPECT_NE(nullptr, f.share("QZHNAS-u1-data-sub1-QZShare"));

    EXPECT_EQ(0, f.run(qzso_isMapped));
    EXPECT_EQ((Statuses{SNAP_STATUS_NOT_MAPPED, SNAP_STATUS_NOT_MAPPED, SNAP_STATUS_MAPPED, SNAP_STATUS_MAPPED,
                        SNAP_STATUS_MAPPED}),
              f.statuses());

    EXPECT_EQ(0, f.run(qzso_unmapSnaps));
    EXPECT_EQ(Statuses(5, SNAP_STATUS_UNMAPPED), f.statuses());
    EXPECT_EQ(nullptr, f.share("QZHNAS-u1-data-sub1-QZShare"));

    // A snapshot removed behind the plug-in's back.
    arraymodel::Array& array = f.hnas1();
    ASSERT_TRUE(arraymodel::deleteSnapshot(array, array.snapshots[1].objectId).ok());
    EXPECT_EQ(2, f.run(qzso_reconcileSnaps));
    EXPECT_EQ((Statuses{SNAP_STATUS_UNMAPPED, SNAP_STATUS_EXTERNALLY_DELETED, SNAP_STATUS_UNMAPPED,
                        SNAP_STATUS_UNMAPPED, SNAP_STATUS_UNMAPPED}),
              f.statuses());

    // The host forgets the snap that is gone; the others go on.
    f.snaps.erase(f.snaps.begin() + 1);
    for (auto& snap : f.snaps) snap->status = SNAP_STATUS_SNAPPED;
    EXPECT_EQ(0, f.run(qzso_revertSnaps));
    EXPECT_EQ(Statuses(4, SNAP_STATUS_SNAPPED), f.statuses());
    // u1 and u4 share fs1's snapshot, u3 and u5 fs3's: each rolled back once.
    EXPECT_EQ(2, f.array.count("recoverFileSystemSnapshot"));

    EXPECT_EQ(0, f.run(qzso_deleteSnaps));
    EXPECT_EQ(Statuses(4, SNAP_STATUS_DELETED), f.statuses());
    EXPECT_TRUE(f.snapshotNames().empty());

    // No password in any log line of any job.
    for (const EvLogLine& line : f.log.lines()) EXPECT_EQ(std::string::npos, line.message.find("pw1-Secret"));
    for (auto& snap : f.snaps) EXPECT_EQ(std::string::npos, snap->logText().find("pw1-Secret"));
}

// Against a host that counts the sizes it needs with the terminator, and
// one that counts them without.
TEST(Lifecycle, EveryOperationOnOneSetOfDescriptors) {
    for (hostkit::SizeConvention convention :
         {hostkit::SizeConvention::WithTerminator, hostkit::SizeConvention::WithoutTerminator}) {
        SCOPED_TRACE(hostkit::conventionName(convention));
        const hostkit::ScopedSizeConvention scoped(convention);
        runLifecycle();
    }
}

// The first line of each call: the operation's opening line with the
// number of descriptors, under its entry point's context; delete has none
// and starts with the grouping.
TEST(Lifecycle, EachOperationOpensWithItsLine) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    const struct {
        testsupport::EntryPoint entry;
        const char* context;
        const char* opening;   // null: none
    } cases[] = {
        {qzso_prepareDevices, "QZSnapEngineHNAS::qzso_prepareDevices", "Preparing devices. Snap Engine [HNAS]."},
        {qzso_snapDevices, "QZSnapEngineHNAS::qzso_snapDevices", "Creating Snap. Snap Engine [HNAS]."},
        {qzso_isMapped, "QZSnapEngineHNAS::qzso_isMapped",
         "Checking if the given Snap(s) are mapped. Snap Engine [HNAS]."},
        {qzso_mapSnaps, "QZSnapEngineHNAS::qzso_mapSnaps", "Mapping the given Snap(s). Snap Engine [HNAS]."},
        {qzso_unmapSnaps, "QZSnapEngineHNAS::qzso_unmapSnaps", "Unmapping the given Snap(s). Snap Engine [HNAS]."},
        {qzso_deleteSnaps, "QZSnapEngineHNAS::qzso_deleteSnaps", nullptr},
        {qzso_revertSnaps, "QZSnapEngineHNAS::qzso_revertSnaps", "Reverting the given Snap(s). Snap Engine [HNAS]."},
        {qzso_reconcileSnaps, "QZSnapEngineHNAS::qzso_reconcileSnaps",
         "Initiating the Snap Reconcile Operation. Snap Engine [HNAS]."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.context);
        EngineFixture f;
        f.addDevice(testsupport::kUnc, "u1");
        f.addDevice(testsupport::kNfs, "u2");
        f.run(c.entry);
        const auto lines = f.log.lines();
        ASSERT_FALSE(lines.empty());
        if (c.opening != nullptr) {
            EXPECT_EQ(c.context, lines[0].context);
            EXPECT_EQ(std::string(c.opening) + " Device count[2]", lines[0].message);
            EXPECT_EQ(900u, lines[0].jobId);
        } else {
            EXPECT_EQ("QZSnapEngineHNAS::GetArrayToDeviceMap", lines[0].context);
        }
        int openings = 0;
        for (const EvLogLine& line : lines) openings += line.message.find("Device count[") != std::string::npos;
        EXPECT_EQ(c.opening != nullptr ? 1 : 0, openings);
    }
}

}  // namespace
