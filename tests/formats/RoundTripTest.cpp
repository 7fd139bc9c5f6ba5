// The pieces fit: metadata written by the device reads back into the same
// record, snap device names read back through the source-device parsers, and
// map and unmap derive the same share name.
#include <gtest/gtest.h>

#include "device/HNASSnapDevice.h"
#include "tests/fakes/FakeSnapInfo.h"
#include "tests/support/RecordBuilders.h"
#include "utils/HNASUtils.h"

namespace {

using fakehost::FakeSnapInfo;
using testsupport::permissionEntry;

// Stores `type` from `written` through the recording host and reads the
// stored text back into `read`.
void writeAndRead(_HNASDeviceInfo& written, int type, _HNASDeviceInfo& read) {
    FakeSnapInfo host;
    HNASSnapDevice device(&host, nullptr, HNAS_SNAP_OP_PREPARE);
    ASSERT_TRUE(device.setMetadata(written, type));
    ASSERT_EQ(1u, host.metadataWrites.size());
    HNASUtils utils(1);
    ASSERT_TRUE(utils.parseMetaData(type, host.metadataWrites[0].second.c_str(), read));
}

TEST(RoundTrip, SettingsWithZeroOneAndTwoPermissionEntries) {
    const std::vector<std::vector<__HNASCIFSAuthentication>> lists = {
        {},
        {permissionEntry(56, "S-1-5-32-544", "BUILTIN\\Administrators", "GROUP")},
        {permissionEntry(24, "e1", "DOM\\Finance", "GROUP"), permissionEntry(-1, "", "u:1", "USER")},
    };
    for (const auto& permissions : lists) {
        SCOPED_TRACE(permissions.size());
        _HNASDeviceInfo written;
        __HNASFileSystemShareSettings& w = written.shareSettings;
        w.abeEnabled = true;
        w.followGlobalSymLinks = true;
        w.forceFileNameToLowercase = true;
        w.maxConcurrentUsers = 2147483647;
        w.accessConfig = "10.0.0.0/8(rw)";
        w.cacheOption = "manual";
        w.comment = "Finance: Q3 [draft]";
        w.localReadCacheOption = "off";
        w.snapshotOption = "show";
        w.transferToReplicationTarget = "yes";
        w.userHomeDirectoryMode = "user";
        w.userHomeDirectoryPath = "\\\\home\\\\%USERNAME%";
        w.permissions = permissions;

        _HNASDeviceInfo read;
        writeAndRead(written, SM_MDT_FS_INFO, read);
        const __HNASFileSystemShareSettings& r = read.shareSettings;
        EXPECT_EQ(w.abeEnabled, r.abeEnabled);
        EXPECT_EQ(w.followGlobalSymLinks, r.followGlobalSymLinks);
        EXPECT_EQ(w.followSymLinks, r.followSymLinks);
        EXPECT_EQ(w.forceFileNameToLowercase, r.forceFileNameToLowercase);
        EXPECT_EQ(w.scanForVirusesEnabled, r.scanForVirusesEnabled);
        EXPECT_EQ(w.maxConcurrentUsers, r.maxConcurrentUsers);
        EXPECT_EQ(w.accessConfig, r.accessConfig);
        EXPECT_EQ(w.cacheOption, r.cacheOption);
        EXPECT_EQ(w.comment, r.comment);
        EXPECT_EQ(w.localReadCacheOption, r.localReadCacheOption);
        EXPECT_EQ(w.snapshotOption, r.snapshotOption);
        EXPECT_EQ(w.transferToReplicationTarget, r.transferToReplicationTarget);
        EXPECT_EQ(w.userHomeDirectoryMode, r.userHomeDirectoryMode);
        EXPECT_EQ(w.userHomeDirectoryPath, r.userHomeDirectoryPath);
        ASSERT_EQ(permissions.size(), r.permissions.size());
        for (std::size_t i = 0; i < permissions.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(permissions[i].permission, r.permissions[i].permission);
            EXPECT_EQ(permissions[i].encodedName, r.permissions[i].encodedName);
            EXPECT_EQ(permissions[i].name, r.permissions[i].name);
            EXPECT_EQ(permissions[i].type, r.permissions[i].type);
        }
    }
}

// A comment is read back as stored: up to its first reserved character, or
// whole when it holds none ("|" and "]e" split permissions only inside their
// block). Every other setting and every permission entry reads back exactly.
TEST(RoundTrip, ACommentReadsBackCutAndEveryOtherSettingExactly) {
    const struct {
        std::string comment;
        std::string read;
    } cases[] = {
        {"Sales, EMEA", "Sales"},
        {"Ventes – région Nord, équipe {B}", "Ventes – région Nord"},
        {"x{AccessConfig:*(rw)", "x"},
        {"Ablage [2026]e|Archiv: Müller", "Ablage [2026]e|Archiv: Müller"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.comment);
        _HNASDeviceInfo written;
        written.shareSettings = testsupport::settingsOffTheirDefaults();
        written.shareSettings.comment = c.comment;
        written.shareSettings.permissions.push_back(
            permissionEntry(24, "S-1-5-21-7-1104", "EXAMPLE\\Équipe Müller (Vertrieb)", "GROUP"));

        _HNASDeviceInfo read;
        writeAndRead(written, SM_MDT_FS_INFO, read);
        const __HNASFileSystemShareSettings& w = written.shareSettings;
        const __HNASFileSystemShareSettings& r = read.shareSettings;
        EXPECT_EQ(c.read, r.comment);
        EXPECT_EQ(w.abeEnabled, r.abeEnabled);
        EXPECT_EQ(w.followGlobalSymLinks, r.followGlobalSymLinks);
        EXPECT_EQ(w.followSymLinks, r.followSymLinks);
        EXPECT_EQ(w.forceFileNameToLowercase, r.forceFileNameToLowercase);
        EXPECT_EQ(w.scanForVirusesEnabled, r.scanForVirusesEnabled);
        EXPECT_EQ(w.maxConcurrentUsers, r.maxConcurrentUsers);
        EXPECT_EQ(w.accessConfig, r.accessConfig);
        EXPECT_EQ(w.cacheOption, r.cacheOption);
        EXPECT_EQ(w.localReadCacheOption, r.localReadCacheOption);
        EXPECT_EQ(w.snapshotOption, r.snapshotOption);
        EXPECT_EQ(w.transferToReplicationTarget, r.transferToReplicationTarget);
        EXPECT_EQ(w.userHomeDirectoryMode, r.userHomeDirectoryMode);
        EXPECT_EQ(w.userHomeDirectoryPath, r.userHomeDirectoryPath);
        ASSERT_EQ(3u, r.permissions.size());
        for (std::size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(w.permissions[i].permission, r.permissions[i].permission);
            EXPECT_EQ(w.permissions[i].encodedName, r.permissions[i].encodedName);
            EXPECT_EQ(w.permissions[i].name, r.permissions[i].name);
            EXPECT_EQ(w.permissions[i].type, r.permissions[i].type);
        }
    }
}

TEST(RoundTrip, IdentityOfShareAndNativeDevices) {
    for (const bool native : {false, true}) {
        SCOPED_TRACE(native);
        _HNASDeviceInfo written;
        written.fileSystemName = "fs1";
        written.fileSystemId = "0x1A";
        written.sharePath = native ? "" : "\\\\data\\\\sub";
        written.path = native ? "/__VOLUME__/fs1/d1" : "";
        written.subDirectory = native ? "/d1" : "";
        written.snapshotObjectId = "7:3";
        written.virtualServerId = "2";
        written.virtualServerObjectId = "333a3a";
        written.targetHostName = "host1";
        written.snapUUID = "QZHNAS-1234-fs1";

        _HNASDeviceInfo read;
        writeAndRead(written, SM_MDT_SNAP_UUID, read);
        EXPECT_EQ("fs1", read.fileSystemName);
        EXPECT_EQ("0x1A", read.fileSystemId);
        EXPECT_EQ(native ? written.path : written.sharePath, read.sharePath);
        EXPECT_EQ(written.subDirectory, read.subDirectory);
        EXPECT_EQ("7:3", read.snapshotObjectId);
        EXPECT_EQ("2", read.virtualServerId);
        EXPECT_EQ("333a3a", read.virtualServerObjectId);
    }
}

TEST(RoundTrip, SnapDeviceNamesReadBackThroughTheParsers) {
    const struct {
        std::string type, protocol, vorType, base, subDirectory;
        std::string share, identifierSubDirectory, fileSystem;
    } cases[] = {
        {"nfs", "NFS", "", "QZHNAS-1234-exp1-QZShare", "", "QZHNAS-1234-exp1-QZShare", "", ""},
        {"nfs", "NFS", "VOR1", "e", "", "e", "", ""},
        {"unc", "CIFS", "", "QZHNAS-1234-data-QZShare$", "", "QZHNAS-1234-data-QZShare$", "", ""},
        {"unc", "CIFS", "VOR2", "s", "", "s", "", ""},
        {"native_hnas", "NFS", "", "snap1", "/d1/d2", "", "/~snapshot/snap1/d1/d2", "fs1"},
        {"native_hnas", "CIFS", "", "snap1", "", "", "/~snapshot/snap1", "fs1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type + " / " + c.protocol + " / " + c.vorType);
        HNASUtils utils(1);
        const std::string prefix = "vortype:" + c.vorType + ",";
        std::string name =
            utils.getSnapDeviceName(prefix, c.type, c.base, "host1", "fs1", c.subDirectory, c.protocol);
        _HNASDeviceIdentifier id;
        ASSERT_TRUE(utils.getDeviceInfo(name, id)) << name;
        EXPECT_EQ(c.type, id.deviceType);
        EXPECT_EQ("host1", id.filer);
        EXPECT_EQ(c.share, id.share);
        EXPECT_EQ(c.identifierSubDirectory, id.subDirectory);
        EXPECT_EQ(c.fileSystem, id.fileSystem);
        if (c.type != "native_hnas") {
            EXPECT_EQ(c.vorType, id.vorType);
        }
    }
}

TEST(RoundTrip, MapAndUnmapDeriveTheSameShareName) {
    // Map works on a record copied after the mount request was read (flag
    // set); unmap may see the same record without one.
    for (const std::string type : {"unc", "nfs", "native_hnas"}) {
        SCOPED_TRACE(type);
        _HNASDeviceInfo info;
        info.deviceType = type;
        info.snapUUID = "QZHNAS-5678-fs2";
        info.fileSystemName = "fs2";
        info.share = type == "nfs" ? "/exp2" : "data2";
        info.subDirectory = type == "nfs" ? "\\/a" : "a\\\\b";
        HNASUtils utils(1);
        const std::string map = utils.getUniqueShareForPath(info, true, HNAS_SNAP_OP_MAP);
        info.mountPath = "/mnt/m";
        const std::string unmap = utils.getUniqueShareForPath(info, false, HNAS_SNAP_OP_UNMAP);
        EXPECT_FALSE(map.empty());
        EXPECT_EQ(map, unmap);

        bool flag = false;
        std::string mapShare, unmapShare;
        ASSERT_TRUE(utils.getShareName(map, type, flag, mapShare));
        ASSERT_TRUE(utils.getShareName(unmap, type, flag, unmapShare));
        EXPECT_EQ(mapShare, unmapShare);
    }
}

}  // namespace
