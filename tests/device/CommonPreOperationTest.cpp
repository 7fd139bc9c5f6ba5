// The pre-operation of every operation after prepare, and the metadata
// recovery it runs.
#include <gtest/gtest.h>

#include <functional>

#include "tests/device/DeviceFixture.h"

namespace {

using devicetest::DeviceFixture;
using fakehost::ScriptedAnswer;

DeviceFixture& prepared(DeviceFixture& f, const std::string& source) {
    f.snap.sourceDevice = source;
    f.attachArray();
    f.storeIdentity();
    return f;
}

TEST(PreOperationCommon, StoredMetadataWinsOverTheSourceString) {
    DeviceFixture f;
    prepared(f, devicetest::kNativeSource);
    auto device = f.device(HNAS_SNAP_OP_SNAP);
    ASSERT_TRUE(device->preOperationCommon());
    const _HNASDeviceInfo info = device->getDeviceInfo();
    EXPECT_EQ("fsMeta", info.fileSystemName);    // the string says fs1
    EXPECT_EQ("metaSub", info.subDirectory);     // the string says /d1/d2
    EXPECT_EQ("0A1B", info.fileSystemId);
    EXPECT_EQ("\\data", info.sharePath);
    EXPECT_EQ("obj-1", info.snapshotObjectId);
    EXPECT_EQ("1", info.virtualServerId);
    EXPECT_EQ("vs-obj", info.virtualServerObjectId);
    EXPECT_EQ("QZHNAS-u1-fsMeta", info.snapUUID);
    EXPECT_EQ("/__VOLUME__/fs1/d1/d2", info.path);
    EXPECT_EQ("filer1", info.targetHostName);
    EXPECT_EQ("native_hnas", info.deviceType);
    EXPECT_EQ("hnas1", info.arrayId);
    EXPECT_EQ(3, info.hostId);
    EXPECT_EQ("smu1", info.metroServerIP);   // no configured address: the control host
    EXPECT_EQ(8444, info.metroServerPort);
}

TEST(PreOperationCommon, LogsTheFourteenSummaryLinesLiterally) {
    DeviceFixture f;
    prepared(f, devicetest::kUncSource);
    f.storeIdentity("{FileSystemName:fs%s1,FileSystemID:0A1B,Path:\\data,SubDirectory:sub,SnapshotObjectID:o,"
                    "VirtualServerID:1,VirtualServerObjectID:vs}");
    ASSERT_TRUE(f.device(HNAS_SNAP_OP_DELETE)->preOperationCommon());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Target Host: ", "filer1"},      {"Management IP: ", "smu1"},
        {"SMArray ID: ", "hnas1"},        {"Control Host ID: ", "3"},
        {"File System: ", "fs%s1"},       {"File System ID: ", "0A1B"},
        {"Path: ", "\\data"},             {"Sub Directory: ", "sub"},
        {"Snap UUID: ", "QZHNAS-u1-fsMeta"}, {"Snapshot Object ID: ", "o"},
        {"Device Type: ", "unc"},         {"vOR Type: ", "cifs"},
        {"Virtual Server ID: ", "1"},     {"Virtual Server Object ID: ", "vs"},
    };
    std::vector<std::pair<std::string, std::string>> summary;
    for (const auto& e : f.snap.log)
        if (e.level == 1 && e.context.size() > 2 && e.context.compare(e.context.size() - 2, 2, ": ") == 0)
            summary.emplace_back(e.context, e.text);
    EXPECT_EQ(expected, summary);
}

TEST(PreOperationCommon, MissingMetadataKeyKeepsWhatWasReadAndStillPasses) {
    DeviceFixture f;
    prepared(f, devicetest::kNativeSource);
    f.storeIdentity("{FileSystemName:fsMeta,FileSystemID:0A1B,Path:\\data}");
    auto device = f.device(HNAS_SNAP_OP_REVERT);
    ASSERT_TRUE(device->preOperationCommon());
    const _HNASDeviceInfo info = device->getDeviceInfo();
    EXPECT_EQ("fsMeta", info.fileSystemName);
    EXPECT_EQ("\\data", info.sharePath);
    EXPECT_EQ("/d1/d2", info.subDirectory);   // from the source string: the metadata lacks it
    EXPECT_EQ("", info.snapshotObjectId);
}

TEST(PreOperationCommon, Failures) {
    struct Case {
        const char* name;
        std::function<void(DeviceFixture&)> breakIt;
        std::vector<std::pair<int, std::string>> messages;
    };
    const Case cases[] = {
        {"source unreadable", [](DeviceFixture& f) { f.snap.sourceDeviceReads.present = false; },
         {{2, "Unable to get snap source device."}}},
        {"source unparsable", [](DeviceFixture& f) { f.snap.sourceDevice = "{type:tape}"; },
         {{2, "Unable to fetch filer info from snap source device:{type:tape}"}}},
        {"no metadata", [](DeviceFixture& f) { f.snap.metadata.clear(); },
         {{2, "Unable to get the snap metadata"}, {2, "Unable to get the metadata information."}}},
        {"no array information", [](DeviceFixture& f) { f.snap.arrayInfoReads.present = false; },
         {{2, "HNASSnapDevice::getArrayNameAndCredentialsError:Unable to get the login credentials."},
          {2, "HNASSnapDevice::GetFileSystemAndFilerInfoFromSnapError:Unable to set the login credentials for "
              "array [].Please make sure array information has been entered."},
          {2, "Unable to get the metadata information."}}},
        {"array information unparsable", [](DeviceFixture& f) { f.attachArray("{arrayId:a9}"); },
         {{2, "HNASSnapDevice::getArrayNameAndCredentialsError:Unable to parse array info."},
          {2, "HNASSnapDevice::GetFileSystemAndFilerInfoFromSnapError:Unable to set the login credentials for "
              "array [a9].Please make sure array information has been entered."}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceFixture f;
        prepared(f, devicetest::kUncSource);
        c.breakIt(f);
        EXPECT_FALSE(f.device(HNAS_SNAP_OP_SNAP)->preOperationCommon());
        for (const auto& m : c.messages) EXPECT_TRUE(f.hostLogged(m.first, m.second)) << m.second << "\n" << f.snap.logText();
    }
}

// A value prepare could store only cut is never acted on: an operation that
// uses it fails the device, naming the value; one that does not goes on.
TEST(PreOperationCommon, AValueStoredCutIsRefusedWhereItWouldBeUsed) {
    const std::string identity =
        "{FileSystemName:fs1,FileSystemID:0A1B,Path:\\data,SubDirectory:a,SnapshotObjectID:o,VirtualServerID:1,"
        "VirtualServerObjectID:vs,TargetHostName:filer1,FileSystemName:fs1,SnapshotName:QZHNAS-u1-fs1,CutValues:";
    const struct {
        std::string cut;
        _HNASSnapOpType operation;
        std::string refused;   // the value named; "" when the operation goes on
    } cases[] = {
        {"SubDirectory", HNAS_SNAP_OP_MAP, "[SubDirectory] cut at a character the metadata text cannot carry: [a]"},
        {"SubDirectory", HNAS_SNAP_OP_UNMAP, "[SubDirectory] cut at a character the metadata text cannot carry: [a]"},
        {"SubDirectory", HNAS_SNAP_OP_SNAP, ""},
        {"SubDirectory", HNAS_SNAP_OP_DELETE, ""},
        {"SnapshotObjectID", HNAS_SNAP_OP_DELETE,
         "[SnapshotObjectID] cut at a character the metadata text cannot carry: [o]"},
        {"SnapshotObjectID", HNAS_SNAP_OP_RECONCILE, ""},
        {"SubDirectory|FileSystemID", HNAS_SNAP_OP_SNAP,
         "[FileSystemID] cut at a character the metadata text cannot carry: [0A1B]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cut + " " + std::to_string(c.operation));
        DeviceFixture f;
        prepared(f, devicetest::kUncSource);
        f.storeIdentity(identity + c.cut + "}");
        EXPECT_EQ(c.refused.empty(), f.device(c.operation)->preOperationCommon());
        const std::string line = "The snap metadata holds the value of " + c.refused +
                                 ". This operation does not act on a cut value; rename it on the array or in the "
                                 "source device and prepare again.";
        bool logged = false;
        for (const auto& e : f.snap.log) logged = logged || (e.level == 2 && e.text.find(line) != std::string::npos);
        EXPECT_EQ(!c.refused.empty(), logged);
    }
}

TEST(PreOperationCommon, UnsupportedTypeFailsAfterTheArrayConfigurationIsRead) {
    DeviceFixture f;
    prepared(f, "{vortype:x,type:weird,lunuuid:\\\\filer1\\\\data,note:type:unc}");
    EXPECT_FALSE(f.device(HNAS_SNAP_OP_SNAP)->preOperationCommon());
    EXPECT_TRUE(f.hostLogged(2, "Device type not supported."));
    EXPECT_EQ(1, f.snap.countCalls("getArrayConfigInt"));
    EXPECT_EQ(0, f.snap.countCalls("getMetadata"));
}

TEST(PreOperationCommon, ConfiguredEndpointAndPortZero) {
    DeviceFixture f;
    prepared(f, devicetest::kNfsSource);
    f.snap.arrayConfigStrings[QZSO::kMetroServerIpConfig].value = "192.0.2.10";
    f.snap.arrayConfigInts[QZSO::kMetroServerPortConfig] = 0;
    auto device = f.device(HNAS_SNAP_OP_SNAP);
    ASSERT_TRUE(device->preOperationCommon());
    EXPECT_EQ("192.0.2.10", device->getDeviceInfo().metroServerIP);
    EXPECT_EQ(8444, device->getDeviceInfo().metroServerPort);
    EXPECT_TRUE(f.hostLogged(1, "Metro Server array config values are not entered."));
}

TEST(MetadataRecovery, LongMetadataSpendsTheBudgetTheSnapUuidReadShares) {
    DeviceFixture f;
    prepared(f, devicetest::kNativeSource);
    f.storeIdentity(devicetest::kIdentityMetadata + std::string(1500, ' '));
    f.snap.snapUUIDReads.always = ScriptedAnswer::tooSmall(64);
    auto device = f.device(HNAS_SNAP_OP_SNAP);
    EXPECT_FALSE(device->getFileSystemAndFilerInfoFromSnap());
    EXPECT_EQ(2, f.snap.metadataReads[SM_MDT_SNAP_UUID].calls);
    EXPECT_EQ(4, f.snap.snapUUIDReads.calls);   // five calls in all, one spent on metadata
    // The snap-UUID read starts from the size the metadata read ended with.
    const int metadataSize = static_cast<int>(devicetest::kIdentityMetadata.size() + 1500 + 1);
    EXPECT_EQ(metadataSize, f.snap.snapUUIDReads.sizesOffered.front());
    EXPECT_EQ("", device->getDeviceInfo().snapUUID);
}

TEST(MetadataRecovery, LongSnapUuidIsReadAfterTheHostAsksForMore) {
    DeviceFixture f;
    prepared(f, devicetest::kNativeSource);
    const std::string longUuid(1500, 'u');
    f.snap.snapUUID = longUuid;
    auto device = f.device(HNAS_SNAP_OP_SNAP);
    ASSERT_TRUE(device->getFileSystemAndFilerInfoFromSnap());
    EXPECT_EQ(longUuid, device->getDeviceInfo().snapUUID);
    EXPECT_EQ((std::vector<int>{1024, 1501}), f.snap.snapUUIDReads.sizesOffered);
}

TEST(MetadataRecovery, WithoutASnapUuidTheDeviceFailsAndKeepsItEmpty) {
    for (bool readFails : {true, false}) {
        SCOPED_TRACE(readFails ? "read fails" : "empty text");
        DeviceFixture f;
        prepared(f, devicetest::kNativeSource);
        if (readFails) {
            f.snap.snapUUID = "stale-buffer-text";
            f.snap.snapUUIDReads.script.push_back(ScriptedAnswer::fail(9));
        } else {
            f.snap.snapUUID = "";
        }
        auto device = f.device(HNAS_SNAP_OP_SNAP);
        EXPECT_FALSE(device->getFileSystemAndFilerInfoFromSnap());
        EXPECT_EQ("", device->getDeviceInfo().snapUUID);
        EXPECT_TRUE(f.hostLogged(2, "Unable to get the snap UUID."));
    }
}

TEST(MetadataRecovery, AnIdentityTextWithoutItsFirstKeyIsNoMetadata) {
    for (const std::string text : {"", "garbage", "{SnapshotObjectID:o1}"}) {
        SCOPED_TRACE(text);
        DeviceFixture f;
        prepared(f, devicetest::kNativeSource);
        f.storeIdentity(text);
        EXPECT_FALSE(f.device(HNAS_SNAP_OP_DELETE)->getFileSystemAndFilerInfoFromSnap());
        EXPECT_TRUE(f.hostLogged(2, "Unable to get the snap metadata"));
        EXPECT_EQ(0, f.snap.countCalls("getArrayInfo"));
    }
}

}  // namespace
