// Prepare-time discovery: the record from the source-device string and the
// host's array information.
#include <gtest/gtest.h>

#include "tests/device/DeviceFixture.h"

namespace {

using devicetest::DeviceFixture;
using fakehost::ScriptedAnswer;

TEST(PrePrepare, FillsTheRecordForEachKindOfDevice) {
    struct Case {
        std::string source;
        std::string share, subDirectory, vorType, deviceType, fileSystemName;
    };
    const Case cases[] = {
        {devicetest::kUncSource, "data", "sub", "cifs", "unc", ""},
        {devicetest::kNfsSource, "/exp1", "", "", "nfs", ""},
        {devicetest::kNativeSource, "", "/d1/d2", "", "native_hnas", "fs1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        DeviceFixture f;
        f.knowFiler();
        f.snap.sourceDevice = c.source;
        auto device = f.device(HNAS_SNAP_OP_PREPARE);
        ASSERT_TRUE(device->prePrepareDevice());
        const _HNASDeviceInfo info = device->getDeviceInfo();
        EXPECT_EQ("filer1", info.targetHostName);
        EXPECT_EQ("hnas1", info.arrayId);
        EXPECT_EQ("smu1", info.hostName);
        EXPECT_EQ("admin", info.hostUserName);
        EXPECT_EQ("pw-Secret9", info.hostPassword);
        EXPECT_EQ(3, info.hostId);
        EXPECT_EQ(c.share, info.share);
        EXPECT_EQ(c.subDirectory, info.subDirectory);
        EXPECT_EQ(c.vorType, info.vorType);
        EXPECT_EQ(c.deviceType, info.deviceType);
        EXPECT_EQ(c.fileSystemName, info.fileSystemName);
        EXPECT_EQ(c.source, info.sourceDevice);
        EXPECT_EQ("", info.path);          // not copied at prepare time
        EXPECT_EQ("", info.fileSystemId);  // worked out by the prepare driver
        EXPECT_EQ("smu1", info.metroServerIP);
        EXPECT_EQ(8444, info.metroServerPort);
        EXPECT_EQ(0, f.util.countCalls("listArrays"));   // the host knew the filer by name
        EXPECT_EQ(std::vector<std::string>{"filer1"}, f.snap.setArrayNameArguments);
    }
}

TEST(PrePrepare, ConfiguredEndpointWinsOverTheControlHost) {
    DeviceFixture f;
    f.knowFiler();
    f.snap.sourceDevice = devicetest::kNfsSource;
    f.snap.arrayConfigInts[QZSO::kMetroServerPortConfig] = 9443;
    f.snap.arrayConfigStrings[QZSO::kMetroServerIpConfig].value = "10.9.8.7";
    auto device = f.device(HNAS_SNAP_OP_PREPARE);
    ASSERT_TRUE(device->prePrepareDevice());
    EXPECT_EQ("10.9.8.7", device->getDeviceInfo().metroServerIP);
    EXPECT_EQ(9443, device->getDeviceInfo().metroServerPort);

    f.snap.arrayConfigInts[QZSO::kMetroServerPortConfig] = 0;
    auto second = f.device(HNAS_SNAP_OP_PREPARE);
    ASSERT_TRUE(second->prePrepareDevice());
    EXPECT_EQ(8444, second->getDeviceInfo().metroServerPort);
}

TEST(PrePrepare, FailuresLeaveTheRecordClearedWithTheirMessage) {
    struct Case {
        const char* name;
        std::string source;
        bool sourceReadable;
        bool filerKnown;
        std::string arrayInfo;
        int level;
        std::string message;
        bool viaLogMessage;
    };
    const std::string weirdType = "{vortype:x,type:weird,lunuuid:\\\\filer1\\\\data,note:type:unc}";
    const Case cases[] = {
        {"source unreadable", devicetest::kUncSource, false, true, devicetest::kArrayInfo, 2,
         "Unable to get snap source device.", false},
        {"unknown kind", "{type:tape,targethostname:filer1}", true, true, devicetest::kArrayInfo, 2,
         "Unable to fetch filer info from snap source device:{type:tape,targethostname:filer1}", false},
        {"filer unknown and no alias", devicetest::kUncSource, true, false, devicetest::kArrayInfo, 2,
         "Unable to set the array info." + devicetest::kUncSource, false},
        {"array info without a password", devicetest::kUncSource, true, true, "{arrayId:a,hostName:h,hostUserName:u,hostid:3}", 2,
         "HNASSnapDevice::prePrepareDeviceError:Unable to set the login credentials for array [filer1].Please make "
         "sure array information has been entered for device [" + devicetest::kUncSource +
             "] in the DB using array management.",
         true},
        {"type text not supported", weirdType, true, true, devicetest::kArrayInfo, 2, "Device type not supported.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceFixture f;
        if (c.filerKnown) f.snap.knowArray("filer1", c.arrayInfo);
        f.snap.sourceDevice = c.source;
        f.snap.sourceDeviceReads.present = c.sourceReadable;
        auto device = f.device(HNAS_SNAP_OP_PREPARE);
        EXPECT_FALSE(device->prePrepareDevice());
        EXPECT_TRUE(f.hostLogged(c.level, c.message)) << f.snap.logText();
        if (c.viaLogMessage) {
            bool viaLogMessage = false;
            for (const auto& e : f.snap.log) viaLogMessage |= (e.context.empty() && e.text == c.message);
            EXPECT_TRUE(viaLogMessage);
        }
        const _HNASDeviceInfo info = device->getDeviceInfo();
        EXPECT_EQ("", info.arrayId);
        EXPECT_EQ("", info.sourceDevice);
        EXPECT_EQ(0, info.hostId);
    }
}

TEST(PrePrepare, UnknownKindFailsBeforeAnyArrayLookup) {
    DeviceFixture f;
    f.knowFiler();
    f.snap.sourceDevice = "{type:tape,targethostname:filer1}";
    EXPECT_FALSE(f.device(HNAS_SNAP_OP_PREPARE)->prePrepareDevice());
    EXPECT_EQ(0, f.snap.countCalls("setArrayName"));
    EXPECT_EQ(0, f.util.countCalls("listArrays"));
}

TEST(PrePrepare, CredentialsFailureAddsNoSecondMessageWhenTheHostHasAnError) {
    DeviceFixture f;
    f.snap.knowArray("filer1", "{arrayId:a}");
    f.snap.sourceDevice = devicetest::kUncSource;
    f.snap.errorCode = QZSO::ERROR_PREPARE_FAILED;
    EXPECT_FALSE(f.device(HNAS_SNAP_OP_PREPARE)->prePrepareDevice());
    EXPECT_EQ(1, f.snap.countCalls("getError"));
    for (const auto& e : f.snap.log)
        EXPECT_EQ(std::string::npos, e.text.find("Please make sure array information")) << e.text;
}

TEST(PrePrepare, SourceDeviceReadFollowsTheBufferProtocol) {
    DeviceFixture f;
    f.knowFiler();
    const std::string longSource =
        "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\filer1\\\\data\\\\" + std::string(1500, 'd') +
        ",targethostname:filer1}";
    f.snap.sourceDevice = longSource;
    auto device = f.device(HNAS_SNAP_OP_PREPARE);
    ASSERT_TRUE(device->prePrepareDevice());
    EXPECT_EQ(longSource, device->getDeviceInfo().sourceDevice);
    EXPECT_EQ(2, f.snap.sourceDeviceReads.calls);

    DeviceFixture stuck;
    stuck.knowFiler();
    stuck.snap.sourceDeviceReads.always = ScriptedAnswer::tooSmall(2000);
    EXPECT_FALSE(stuck.device(HNAS_SNAP_OP_PREPARE)->prePrepareDevice());
    EXPECT_EQ(5, stuck.snap.sourceDeviceReads.calls);
    EXPECT_TRUE(stuck.hostLogged(2, "Unable to get snap source device."));
}

TEST(PrePrepare, PasswordIsNeverLogged) {
    DeviceFixture f;
    f.knowFiler();
    f.snap.sourceDevice = devicetest::kUncSource;
    ASSERT_TRUE(f.device(HNAS_SNAP_OP_PREPARE)->prePrepareDevice());
    EXPECT_EQ(std::string::npos, f.snap.logText().find("pw-Secret9"));
    EXPECT_EQ(std::string::npos, f.log.text().find("pw-Secret9"));
    EXPECT_TRUE(f.hostLogged(1, "ArrayId[hnas1], ControlHost[smu1], ControlHost ID [3] login[admin]"));
}

}  // namespace
