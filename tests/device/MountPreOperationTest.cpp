// Map and unmap pre-operation: mount request source, mount path, saved share settings.
#include <gtest/gtest.h>

#include "tests/device/DeviceFixture.h"

namespace {

using devicetest::DeviceFixture;
using fakehost::ScriptedAnswer;

const std::string kSavedSettings =
    "{ABEEnabled:true,FollowGlobalSymLinks:false,FollowSymLinks:false,ForceFileNameToLowercase:false,"
    "ScanForVirusesEnabled:false,MaxConcurrentUsers:25,AccessConfig:*,CacheOption:CACHING_OFF,Comment:saved,"
    "LocalReadCacheOption:DISABLED,SnapshotOption:SHOW_AND_ALLOW_ACCESS,TransferToReplicationTarget:DO_NOT_TRANSFER,"
    "UserHomeDirectoryMode:OFF,UserHomeDirectoryPath:,Permissions:s[{Permission:56,EncodedName:e1,Name:Admins,"
    "Type:GROUP}]e}";

void setUp(DeviceFixture& f, const std::string& source, int requestSource) {
    f.snap.sourceDevice = source;
    f.attachArray();
    f.storeIdentity();
    if (requestSource >= 0) f.snap.valueInts[QZSO::GET_VALUE_VOLSNAP_OP_SOURCE] = requestSource;
}

TEST(PreOperationMapUnMap, MountRequestSource) {
    struct Case {
        int source;            // -1: the host has no value
        bool ok;
        std::string mountPath;
    };
    const Case cases[] = {{1, true, ""}, {5, true, ""}, {2, true, "QZHNAS-u1-fsMeta"}, {0, false, ""}, {-1, false, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        DeviceFixture f;
        setUp(f, devicetest::kNativeSource, c.source);
        auto device = f.device(HNAS_SNAP_OP_MAP);
        EXPECT_EQ(c.ok, device->preOperationMapUnMap());
        EXPECT_EQ(c.mountPath, device->getDeviceInfo().mountPath);
        EXPECT_EQ(c.source == 2, f.hostLogged(1, "Mount/Unmount Request Source: GUI"));
        if (!c.ok) {
            EXPECT_TRUE(f.hostLogged(2, "Unable to get the mount request initiator."));
        }
    }
}

TEST(PreOperationMapUnMap, GuiRequestWithoutSnapUuidFailsBeforeTheMountRequest) {
    // Share names and mount paths are made from the snap UUID: without one
    // the device fails in the common pre-operation.
    DeviceFixture f;
    setUp(f, devicetest::kNativeSource, 2);
    f.snap.snapUUID = "";
    auto device = f.device(HNAS_SNAP_OP_UNMAP);
    EXPECT_FALSE(device->preOperationMapUnMap());
    EXPECT_TRUE(f.hostLogged(2, "Unable to get the snap UUID."));
    EXPECT_EQ(0, f.snap.countCalls("getValueInt"));
}

TEST(PreOperationMapUnMap, NativeDeviceNeverReadsShareSettings) {
    DeviceFixture f;
    setUp(f, devicetest::kNativeSource, 1);
    f.snap.metadata[SM_MDT_FS_INFO] = kSavedSettings;
    auto device = f.device(HNAS_SNAP_OP_MAP);
    ASSERT_TRUE(device->preOperationMapUnMap());
    EXPECT_EQ(0, f.snap.metadataReads[SM_MDT_FS_INFO].calls);
    EXPECT_FALSE(device->getDeviceInfo().shareSettingsSaved);
    EXPECT_EQ(std::string::npos, f.snap.logText().find("Permissions are"));
}

TEST(PreOperationMapUnMap, ShareDeviceWithoutSavedSettingsUsesTheParentShare) {
    DeviceFixture f;
    setUp(f, devicetest::kUncSource, 1);
    auto device = f.device(HNAS_SNAP_OP_MAP);
    ASSERT_TRUE(device->preOperationMapUnMap());
    EXPECT_FALSE(device->getDeviceInfo().shareSettingsSaved);
    EXPECT_TRUE(f.hostLogged(0, "Permissions are not saved. Will be using the permissions of the parent share/export."));
}

TEST(PreOperationMapUnMap, SavedSettingsAreReadBackEvenWhenLong) {
    DeviceFixture f;
    setUp(f, devicetest::kNfsSource, 1);
    const std::string longComment(17000, 'c');
    std::string saved = kSavedSettings;
    saved.replace(saved.find("Comment:saved"), 13, "Comment:" + longComment);
    f.snap.metadata[SM_MDT_FS_INFO] = saved;
    auto device = f.device(HNAS_SNAP_OP_MAP);
    ASSERT_TRUE(device->preOperationMapUnMap());
    const _HNASDeviceInfo info = device->getDeviceInfo();
    EXPECT_TRUE(info.shareSettingsSaved);
    EXPECT_EQ(longComment, info.shareSettings.comment);
    EXPECT_TRUE(info.shareSettings.abeEnabled);
    EXPECT_EQ(25, info.shareSettings.maxConcurrentUsers);
    ASSERT_EQ(1u, info.shareSettings.permissions.size());
    EXPECT_EQ("Admins", info.shareSettings.permissions[0].name);
    EXPECT_EQ((std::vector<int>{16384, static_cast<int>(saved.size()) + 1}),
              f.snap.metadataReads[SM_MDT_FS_INFO].sizesOffered);
}

TEST(PreOperationMapUnMap, FailedCommonPreOperationStopsBeforeTheMountRequest) {
    DeviceFixture f;
    setUp(f, devicetest::kUncSource, 2);
    f.snap.metadata.clear();
    EXPECT_FALSE(f.device(HNAS_SNAP_OP_MAP)->preOperationMapUnMap());
    EXPECT_EQ(0, f.snap.countCalls("getValueInt"));
}

TEST(PreOperationDispatch, ChoosesThePreOperationOfTheOperation) {
    struct Case {
        int op;
        bool ok;
        int identityReads;    // the common pre-operation reads type-6 metadata
        int mountSourceReads;  // map and unmap also read the mount request source
    };
    const Case cases[] = {
        {HNAS_SNAP_OP_SNAP, true, 1, 0},      {HNAS_SNAP_OP_ISMAPPED, true, 1, 0}, {HNAS_SNAP_OP_MAP, true, 1, 1},
        {HNAS_SNAP_OP_UNMAP, true, 1, 1},     {HNAS_SNAP_OP_DELETE, true, 1, 0},   {HNAS_SNAP_OP_REVERT, true, 1, 0},
        {HNAS_SNAP_OP_RECONCILE, true, 1, 0}, {HNAS_SNAP_OP_PREPARE, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        DeviceFixture f;
        setUp(f, devicetest::kNfsSource, 1);
        f.knowFiler();
        auto device = f.device(static_cast<_HNASSnapOpType>(c.op));
        EXPECT_EQ(c.ok, device->preOperation());
        EXPECT_EQ(c.identityReads, f.snap.metadataReads[SM_MDT_SNAP_UUID].calls);
        EXPECT_EQ(c.mountSourceReads, f.snap.countCalls("getValueInt"));
        EXPECT_TRUE(f.hostLogged(0, "Snap operation[" + std::to_string(c.op) + "]"));
    }
}

TEST(PreOperationDispatch, InvalidAndUnknownTypesFailWithoutReadingTheHost) {
    {
        DeviceFixture f;
        setUp(f, devicetest::kNfsSource, 1);
        EXPECT_FALSE(f.device(HNAS_SNAP_OP_INVALID)->preOperation());
        EXPECT_TRUE(f.hostLogged(2, "Invalid Snap operation[0]"));
        EXPECT_EQ(std::vector<std::string>{"logFormatted"}, f.snap.calls);
    }
    for (int op : {9, -1}) {
        SCOPED_TRACE(op);
        DeviceFixture f;
        setUp(f, devicetest::kNfsSource, 1);
        EXPECT_FALSE(f.device(static_cast<_HNASSnapOpType>(op))->preOperation());
        EXPECT_TRUE(f.log.has(-1, "Internal error: Operation [" + std::to_string(op) + "] not implemented"));
        EXPECT_EQ(0, f.snap.countCalls("getSourceDevice"));
    }
}

}  // namespace
