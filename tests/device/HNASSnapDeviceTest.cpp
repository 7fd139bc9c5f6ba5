// The snap device object: construction, result setters, host value reads, release.
#include <gtest/gtest.h>

#include "device/HNASSnapDevice.h"
#include "tests/fakes/FakeOSUtil.h"
#include "tests/fakes/FakeSnapInfo.h"

namespace {

using fakehost::FakeOSUtil;
using fakehost::FakeSnapInfo;
using fakehost::ScriptedAnswer;

TEST(HNASSnapDevice, TakesTheJobIdFromTheUtilityWhenThereIsOne) {
    FakeSnapInfo snap;
    FakeOSUtil util(977);
    HNASSnapDevice withUtil(&snap, &util, HNAS_SNAP_OP_SNAP);
    EXPECT_EQ(1, util.countCalls("getJobId"));

    HNASSnapDevice withoutUtil(&snap, nullptr, HNAS_SNAP_OP_SNAP);
    EXPECT_TRUE(snap.calls.empty());   // construction makes no descriptor call
}

TEST(HNASSnapDevice, SetStatusPassesTheErrorOnlyWithANonZeroCode) {
    FakeSnapInfo snap;
    HNASSnapDevice device(&snap, nullptr, HNAS_SNAP_OP_PREPARE);
    device.setStatus(QZSO::SNAP_STATUS_PREPARED, 0, "ignored message");
    EXPECT_EQ(QZSO::SNAP_STATUS_PREPARED, snap.status);
    EXPECT_EQ(0, snap.countCalls("setError"));

    device.setStatus(QZSO::SNAP_STATUS_PREPARE_FAILED, QZSO::ERROR_PREPARE_FAILED, "it failed");
    EXPECT_EQ(QZSO::SNAP_STATUS_PREPARE_FAILED, snap.status);
    EXPECT_EQ(QZSO::ERROR_PREPARE_FAILED, snap.errorCode);
    EXPECT_EQ("it failed", snap.errorMessage);
    EXPECT_EQ(QZSO::SNAP_STATUS_PREPARE_FAILED, device.getStatus());
}

TEST(HNASSnapDevice, CopiesOfTheRecordDoNotFollowLaterChanges) {
    FakeSnapInfo snap;
    HNASSnapDevice device(&snap, nullptr, HNAS_SNAP_OP_SNAP);
    device.resetSnapUUID("uuid-1");
    const _HNASDeviceInfo before = device.getDeviceInfo();

    device.resetSnapUUID("QZHNAS-uuid-1-fs1");
    device.setSnapshotObjectId("6f626a31");
    device.markFileSystemSnapped();

    EXPECT_EQ("uuid-1", before.snapUUID);
    EXPECT_FALSE(before.fileSystemSnapped);
    const _HNASDeviceInfo after = device.getDeviceInfo();
    EXPECT_EQ("QZHNAS-uuid-1-fs1", after.snapUUID);
    EXPECT_EQ("6f626a31", after.snapshotObjectId);
    EXPECT_TRUE(after.fileSystemSnapped);
    EXPECT_EQ((std::vector<std::string>{"uuid-1", "QZHNAS-uuid-1-fs1"}), snap.setSnapUUIDArguments);
    EXPECT_EQ(0, snap.countCalls("setMetadata"));   // the object ID is not handed to the host
}

TEST(HNASSnapDevice, SetSnapDeviceGoesToTheHostOnly) {
    FakeSnapInfo snap;
    HNASSnapDevice device(&snap, nullptr, HNAS_SNAP_OP_MAP);
    device.setSnapDevice("{type:native_hnas,path:/x}");
    EXPECT_EQ("{type:native_hnas,path:/x}", snap.snapDevice);
    device.setSnapDevice("");
    EXPECT_TRUE(snap.snapDeviceSet);
    EXPECT_EQ("", snap.snapDevice);
}

TEST(HNASSnapDevice, GetValueIntReportsAHostFailureAsZero) {
    FakeSnapInfo snap;
    HNASSnapDevice device(&snap, nullptr, HNAS_SNAP_OP_MAP);
    EXPECT_EQ(0, device.getValueInt(QZSO::GET_VALUE_VOLSNAP_OP_SOURCE));
    ASSERT_EQ(1u, snap.log.size());
    EXPECT_EQ(2, snap.log[0].level);
    EXPECT_EQ("HNASSnapDevice::getValueInt", snap.log[0].context);
    EXPECT_EQ("Unable to get the mount request initiator.", snap.log[0].text);

    snap.valueInts[QZSO::GET_VALUE_VOLSNAP_OP_SOURCE] = 2;
    EXPECT_EQ(2, device.getValueInt(QZSO::GET_VALUE_VOLSNAP_OP_SOURCE));
    EXPECT_EQ(1u, snap.log.size());
}

TEST(HNASSnapDevice, GetValueStringFollowsTheBufferProtocol) {
    FakeSnapInfo snap;
    HNASSnapDevice device(&snap, nullptr, HNAS_SNAP_OP_MAP);
    EXPECT_EQ("", device.getValueString(3));   // the host has no such value

    snap.valueStrings[3].value = std::string(3000, 'v');
    EXPECT_EQ(std::string(3000, 'v'), device.getValueString(3));
    EXPECT_EQ((std::vector<int>{1024, 3001}), snap.valueStrings[3].sizesOffered);

    snap.valueStrings[4].always = ScriptedAnswer::tooSmall(2048);
    EXPECT_EQ("", device.getValueString(4));
    EXPECT_EQ(5, snap.valueStrings[4].calls);

    snap.valueStrings[5].script.push_back(ScriptedAnswer::tooSmall(-1));
    EXPECT_EQ("", device.getValueString(5));
    EXPECT_EQ(1, snap.valueStrings[5].calls);
}

TEST(HNASSnapDevice, CleanReleasesEveryDeviceAndSkipsNulls) {
    FakeSnapInfo snap;
    std::vector<HNASSnapDevice*> devices{new HNASSnapDevice(&snap, nullptr, HNAS_SNAP_OP_SNAP), nullptr,
                                         new HNASSnapDevice(&snap, nullptr, HNAS_SNAP_OP_SNAP)};
    HNASSnapDevice::clean(devices);   // LeakSanitizer reports a device not freed
    EXPECT_TRUE(devices.empty());
    EXPECT_TRUE(snap.calls.empty());  // release makes no host call
}

}  // namespace
