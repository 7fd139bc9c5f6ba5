// HNASSnapDevice::setMetadata: the texts it stores with the host's
// descriptor, its log lines, and the values it refuses to store.
#include <gtest/gtest.h>

#include "device/HNASSnapDevice.h"
#include "tests/fakes/FakeSnapInfo.h"
#include "tests/support/RecordBuilders.h"

namespace {

using fakehost::FakeSnapInfo;
using testsupport::permissionEntry;

_HNASDeviceInfo identityRecord() {
    _HNASDeviceInfo info;
    info.fileSystemName = "fs1";
    info.fileSystemId = "42";
    info.sharePath = "\\\\data";
    info.subDirectory = "a";
    info.snapshotObjectId = "7";
    info.virtualServerId = "1";
    info.virtualServerObjectId = "333a";
    info.targetHostName = "host1";
    info.snapUUID = "QZHNAS-1234-fs1";
    return info;
}

_HNASDeviceInfo settingsRecord() {
    _HNASDeviceInfo info;
    __HNASFileSystemShareSettings& s = info.shareSettings;
    s.abeEnabled = true;
    s.followSymLinks = true;
    s.scanForVirusesEnabled = true;
    s.maxConcurrentUsers = -1;
    s.accessConfig = "*";
    s.cacheOption = "manual";
    s.comment = "c1";
    s.localReadCacheOption = "off";
    s.snapshotOption = "show";
    s.transferToReplicationTarget = "yes";
    s.userHomeDirectoryMode = "off";
    s.userHomeDirectoryPath = "\\\\home";
    return info;
}

const std::string kSettingsText =
    "{ABEEnabled:true,FollowGlobalSymLinks:false,FollowSymLinks:true,"
    "ForceFileNameToLowercase:false,ScanForVirusesEnabled:true,MaxConcurrentUsers:-1,"
    "AccessConfig:*,CacheOption:manual,Comment:c1,LocalReadCacheOption:off,SnapshotOption:show,"
    "TransferToReplicationTarget:yes,UserHomeDirectoryMode:off,UserHomeDirectoryPath:\\\\home,"
    "Permissions:";

struct Writer {
    FakeSnapInfo host;
    HNASSnapDevice device{&host, nullptr, HNAS_SNAP_OP_PREPARE};
};

TEST(MetadataWriter, SnapUUIDTextHasTheTenPairsInOrder) {
    Writer w;
    _HNASDeviceInfo info = identityRecord();
    ASSERT_TRUE(w.device.setMetadata(info, SM_MDT_SNAP_UUID));
    const std::string text =
        "{FileSystemName:fs1,FileSystemID:42,Path:\\\\data,SubDirectory:a,SnapshotObjectID:7,"
        "VirtualServerID:1,VirtualServerObjectID:333a,TargetHostName:host1,FileSystemName:fs1,"
        "SnapshotName:QZHNAS-1234-fs1}";
    ASSERT_EQ(1u, w.host.metadataWrites.size());
    EXPECT_EQ(SM_MDT_SNAP_UUID, w.host.metadataWrites[0].first);
    EXPECT_EQ(text, w.host.metadataWrites[0].second);
    ASSERT_EQ(1u, w.host.log.size());
    EXPECT_EQ(1, w.host.log[0].level);
    EXPECT_EQ("Setting Metadata[SM_MDT_SNAP_UUID]: " + text, w.host.log[0].text);
}

TEST(MetadataWriter, NativeDeviceWithoutSharePathWritesItsRawPath) {
    Writer w;
    _HNASDeviceInfo info = identityRecord();
    info.sharePath.clear();
    info.path = "/__VOLUME__/fs1/d1";
    ASSERT_TRUE(w.device.setMetadata(info, SM_MDT_SNAP_UUID));
    EXPECT_NE(std::string::npos,
              w.host.metadataWrites.at(0).second.find(",Path:/__VOLUME__/fs1/d1,"));
}

TEST(MetadataWriter, FsInfoTextWithZeroOneAndTwoEntries) {
    const std::string admins = "{Permission:56,EncodedName:e1,Name:BUILTIN\\Admins,Type:GROUP}";
    const std::string user = "{Permission:8,EncodedName:e2,Name:u1,Type:USER}";
    const struct {
        std::vector<__HNASCIFSAuthentication> entries;
        std::string permissions;
    } cases[] = {
        {{}, ""},
        {{permissionEntry(8, "e2", "u1", "USER")}, "s[" + user + "]e"},
        {{permissionEntry(56, "e1", "BUILTIN\\Admins", "GROUP"), permissionEntry(8, "e2", "u1", "USER")},
         "s[" + admins + "|" + user + "]e"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.permissions);
        Writer w;
        _HNASDeviceInfo info = settingsRecord();
        info.shareSettings.permissions = c.entries;
        ASSERT_TRUE(w.device.setMetadata(info, SM_MDT_FS_INFO));
        const std::string text = kSettingsText + c.permissions + "}";
        ASSERT_EQ(1u, w.host.metadataWrites.size());
        EXPECT_EQ(SM_MDT_FS_INFO, w.host.metadataWrites[0].first);
        EXPECT_EQ(text, w.host.metadataWrites[0].second);
        ASSERT_EQ(1u, w.host.log.size());
        EXPECT_EQ(1, w.host.log[0].level);
        EXPECT_EQ("Setting Metadata[SM_MDT_FS_INFO]: " + text, w.host.log[0].text);
    }
}

TEST(MetadataWriter, UnknownTypeStoresNothing) {
    for (const int type : {7, 0, -1}) {
        SCOPED_TRACE(type);
        Writer w;
        _HNASDeviceInfo info = identityRecord();
        EXPECT_FALSE(w.device.setMetadata(info, type));
        EXPECT_TRUE(w.host.metadataWrites.empty());
        ASSERT_EQ(1u, w.host.log.size());
        EXPECT_EQ(2, w.host.log[0].level);
        EXPECT_EQ("Unknown Meta Data type [" + std::to_string(type) + "].", w.host.log[0].text);
    }
}

TEST(MetadataWriter, HostRefusalIsReportedWithTheText) {
    Writer w;
    w.host.setMetadataResult = 1;
    _HNASDeviceInfo info = identityRecord();
    EXPECT_FALSE(w.device.setMetadata(info, SM_MDT_SNAP_UUID));
    ASSERT_EQ(1u, w.host.metadataWrites.size());
    ASSERT_EQ(2u, w.host.log.size());
    EXPECT_EQ(2, w.host.log[1].level);
    EXPECT_EQ("Failed to set/update metadata to [" + w.host.metadataWrites[0].second + "].",
              w.host.log[1].text);
}

// A value the text form cannot carry would be cut on reading or stand in for
// a later key («/a,SnapshotObjectID:9» would send a revert to snapshot 9):
// nothing is stored and the host log names the key.
TEST(MetadataWriter, RefusesValuesThatWouldNotReadBack) {
    const struct {
        std::string name;
        int type;
        void (*spoil)(_HNASDeviceInfo&);
        std::string key;
        std::string character;   // as the refusal names it
        std::string shown;
    } cases[] = {
        {"comma in share path", SM_MDT_SNAP_UUID,
         [](_HNASDeviceInfo& i) { i.sharePath = "/a,SnapshotObjectID:9"; }, "Path", "\",\"",
         "/a,SnapshotObjectID:9"},
        {"closing brace in the last value", SM_MDT_SNAP_UUID,
         [](_HNASDeviceInfo& i) { i.snapUUID = "snap}x"; }, "SnapshotName", "\"}\"", "snap}x"},
        {"opening brace in a name", SM_MDT_SNAP_UUID,
         [](_HNASDeviceInfo& i) { i.fileSystemName = "{Path:x"; }, "FileSystemName", "\"{\"", "{Path:x"},
        {"NUL byte", SM_MDT_SNAP_UUID,
         [](_HNASDeviceInfo& i) { i.subDirectory = std::string("a\0b", 3); }, "SubDirectory", "a NUL byte",
         "a"},
        {"comma in a path of the settings", SM_MDT_FS_INFO,
         [](_HNASDeviceInfo& i) { i.shareSettings.userHomeDirectoryPath = "\\home,x"; }, "UserHomeDirectoryPath",
         "\",\"", "\\home,x"},
        {"bar in a permission name", SM_MDT_FS_INFO,
         [](_HNASDeviceInfo& i) {
             i.shareSettings.permissions = {permissionEntry(8, "e1", "u1", "USER"),
                                            permissionEntry(8, "e2", "a|b", "USER")};
         },
         "Permissions[2].Name", "\"|\"", "a|b"},
        {"block end in an encoded name", SM_MDT_FS_INFO,
         [](_HNASDeviceInfo& i) {
             i.shareSettings.permissions = {permissionEntry(8, "x]ey", "u1", "USER")};
         },
         "Permissions[1].EncodedName", "\"]e\"", "x]ey"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Writer w;
        _HNASDeviceInfo info = c.type == SM_MDT_SNAP_UUID ? identityRecord() : settingsRecord();
        c.spoil(info);
        EXPECT_FALSE(w.device.setMetadata(info, c.type));
        EXPECT_TRUE(w.host.metadataWrites.empty());
        ASSERT_EQ(1u, w.host.log.size());
        EXPECT_EQ(2, w.host.log[0].level);
        const std::string& line = w.host.log[0].text;
        EXPECT_EQ("Metadata not stored: the value of [" + c.key + "] holds " + c.character +
                      ", which the metadata text cannot carry: [" + c.shown + "].",
                  line);
        // The same phrase goes into the device's failure message.
        EXPECT_EQ(line, "Metadata not stored: " + unstorableMetadataValue(info, c.type));
    }
}

// A free-text comment is cut at its first reserved character, never refused.
TEST(MetadataWriter, CutsACommentAtItsFirstReservedCharacter) {
    const struct {
        std::string comment;
        std::string stored;
    } cases[] = {
        {"Sales, EMEA", ",Comment:Sales,"},
        {"a{b", ",Comment:a,"},
        {"}", ",Comment:,"},
        {std::string("x\0y", 3), ",Comment:x,"},
        {"plain", ",Comment:plain,"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.comment);
        Writer w;
        _HNASDeviceInfo info = settingsRecord();
        info.shareSettings.comment = c.comment;
        EXPECT_EQ("", unstorableMetadataValue(info, SM_MDT_FS_INFO));
        ASSERT_TRUE(w.device.setMetadata(info, SM_MDT_FS_INFO));
        ASSERT_EQ(1u, w.host.metadataWrites.size());
        EXPECT_NE(std::string::npos, w.host.metadataWrites[0].second.find(c.stored))
            << w.host.metadataWrites[0].second;
    }
}

TEST(MetadataWriter, ReservedCharactersElsewhereInAPermissionAreFine) {
    // "]" and "e" apart, ":" and "\" are carried back unchanged.
    Writer w;
    _HNASDeviceInfo info = settingsRecord();
    info.shareSettings.permissions = {permissionEntry(8, "x]", "DOM\\u:e", "USER")};
    EXPECT_TRUE(w.device.setMetadata(info, SM_MDT_FS_INFO));
}

}  // namespace
