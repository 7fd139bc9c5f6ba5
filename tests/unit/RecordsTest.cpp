// Defaults and reset of the records, and the value semantics callers rely on.
#include <gtest/gtest.h>

#include "records/HNASArrayRecords.h"
#include "records/HNASDeviceRecords.h"
#include "tests/support/RecordBuilders.h"

namespace {

using testsupport::settingsOffTheirDefaults;

void expectSettingsDefaults(const __HNASFileSystemShareSettings& s) {
    EXPECT_EQ("*", s.accessConfig);
    EXPECT_EQ("", s.comment);
    EXPECT_EQ("", s.userHomeDirectoryPath);
    EXPECT_EQ("CACHING_OFF", s.cacheOption);
    EXPECT_EQ("SHOW_AND_ALLOW_ACCESS", s.snapshotOption);
    EXPECT_EQ("DO_NOT_TRANSFER", s.transferToReplicationTarget);
    EXPECT_EQ("OFF", s.userHomeDirectoryMode);
    EXPECT_EQ("DISABLED", s.localReadCacheOption);
    EXPECT_FALSE(s.followSymLinks);
    EXPECT_FALSE(s.followGlobalSymLinks);
    EXPECT_FALSE(s.abeEnabled);
    EXPECT_FALSE(s.forceFileNameToLowercase);
    EXPECT_FALSE(s.scanForVirusesEnabled);
    EXPECT_EQ(100, s.maxConcurrentUsers);
    EXPECT_TRUE(s.permissions.empty());
}

TEST(Records, ShareSettingsStartAtTheirDefaultsAndClearBackToThem) {
    __HNASFileSystemShareSettings s;
    expectSettingsDefaults(s);
    s = settingsOffTheirDefaults();
    s.clear();
    expectSettingsDefaults(s);
}

TEST(Records, SettingsCopyCarriesEveryPermissionInOrder) {
    const __HNASFileSystemShareSettings original = settingsOffTheirDefaults();
    const __HNASFileSystemShareSettings copy = original;
    ASSERT_EQ(2u, copy.permissions.size());
    EXPECT_EQ("BUILTIN\\Administrators", copy.permissions[0].name);
    EXPECT_EQ(56, copy.permissions[0].permission);
    EXPECT_EQ("Everyone", copy.permissions[1].name);
    EXPECT_EQ(8, copy.permissions[1].permission);
    EXPECT_EQ(-1, copy.maxConcurrentUsers);
    EXPECT_TRUE(copy.scanForVirusesEnabled);
}

TEST(Records, ArrayRecordsStartEmpty) {
    __HNASVirtualServers server;
    EXPECT_TRUE(server.ipAddresses.empty());
    EXPECT_EQ(0u, server.virtualServerId);
    EXPECT_FALSE(server.isEnabled);
    EXPECT_EQ("", server.name);

    __HNASCIFSAuthentication entry;
    EXPECT_EQ(0, entry.permission);
    EXPECT_EQ("", entry.name);

    __HNASFileSystemSnapshot snapshot;
    EXPECT_EQ("", snapshot.objectId);
    EXPECT_EQ(0u, snapshot.creationTime);

    __HNASFileSystemShares share;
    expectSettingsDefaults(share.settings);
    EXPECT_EQ(0u, share.virtualServerId);
}

TEST(Records, ClearOfARecordLeavesItsEmbeddedSettingsAlone) {
    __HNASFileSystemShares share;
    share.name = "data";
    share.path = "\\data";
    share.settings = settingsOffTheirDefaults();
    share.clear();
    EXPECT_EQ("", share.name);
    EXPECT_EQ("", share.path);
    EXPECT_EQ("home", share.settings.comment);

    _HNASDeviceInfo info;
    info.arrayId = "hnas1";
    info.shareSettings = settingsOffTheirDefaults();
    info.fileSystemSnapped = info.shareSettingsSaved = true;
    info.clear();
    EXPECT_EQ("", info.arrayId);
    EXPECT_FALSE(info.fileSystemSnapped);
    EXPECT_FALSE(info.shareSettingsSaved);
    EXPECT_EQ(2u, info.shareSettings.permissions.size());
}

TEST(Records, NewDeviceRecordIsEmpty) {
    const _HNASDeviceInfo info;
    for (const std::string* text :
         {&info.arrayId, &info.hostName, &info.hostUserName, &info.hostPassword, &info.metroServerIP,
          &info.fileSystemName, &info.share, &info.sharePath, &info.subDirectory, &info.deviceType,
          &info.fileSystemId, &info.snapUUID, &info.snapshotObjectId, &info.virtualServerId,
          &info.virtualServerObjectId, &info.vorType, &info.sourceDevice, &info.targetHostName,
          &info.mountPath, &info.path})
        EXPECT_EQ("", *text);
    EXPECT_EQ(0, info.hostId);
    EXPECT_EQ(0, info.metroServerPort);
    EXPECT_FALSE(info.fileSystemSnapped);
    EXPECT_FALSE(info.shareSettingsSaved);
    expectSettingsDefaults(info.shareSettings);
}

TEST(Records, GroupCopyCopiesDevicePointersNotDevices) {
    _HNASArrayToDeviceMap group;
    group.hostId = 7;
    group.hostName = "ctl1";
    HNASSnapDevice* a = reinterpret_cast<HNASSnapDevice*>(0x1000);
    HNASSnapDevice* b = reinterpret_cast<HNASSnapDevice*>(0x2000);
    group.devices = {a, b};
    const _HNASArrayToDeviceMap copy = group;
    ASSERT_EQ(2u, copy.devices.size());
    EXPECT_EQ(a, copy.devices[0]);
    EXPECT_EQ(b, copy.devices[1]);
    group.clear();
    EXPECT_TRUE(group.devices.empty());
    EXPECT_EQ(0, group.hostId);
    EXPECT_EQ(2u, copy.devices.size());
}

TEST(Records, IdentifierAndConfigsReset) {
    _HNASDeviceIdentifier id;
    id.filer = "srv1";
    id.share = "share1";
    id.clear();
    EXPECT_EQ("", id.filer);
    EXPECT_EQ("", id.share);

    _HNASArrayConfigs configs;
    EXPECT_EQ(0, configs.metroServerPort);
    configs.metroServerPort = 8444;
    configs.metroServerIP = "10.0.0.1";
    configs.clear();
    EXPECT_EQ(0, configs.metroServerPort);
    EXPECT_EQ("", configs.metroServerIP);
}

}  // namespace
