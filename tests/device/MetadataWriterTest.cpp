// HNASSnapDevice::setMetadata: the texts it stores with the host's
// descriptor, its log lines, and the values it refuses to store.
#include <gtest/gtest.h>

#include <iterator>
#include <map>

#include "device/HNASSnapDevice.h"
#include "tests/fakes/FakeSnapInfo.h"
#include "tests/support/RecordBuilders.h"
#include "utils/HNASUtils.h"

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

// Share settings that map hands to the array are used whole or not at all: a
// value the text form cannot carry (an NFS option list, a group name with a
// comma) leaves an empty text, which replaces an earlier one and makes map use
// the live settings. The write itself succeeds, and the progress line names
// the value; a comment cut in the same text is not mentioned, as nothing of
// it is stored.
TEST(MetadataWriter, SettingsThatCannotBeCarriedAreStoredAsAnEmptyText) {
    const struct {
        std::string name;
        void (*spoil)(_HNASDeviceInfo&);
        std::string key;
        std::string character;   // as the note names it
        std::string shown;
    } cases[] = {
        {"NFS option list", [](_HNASDeviceInfo& i) { i.shareSettings.accessConfig = "10.1.0.0/16(rw,no_root_squash)"; },
         "AccessConfig", "\",\"", "10.1.0.0/16(rw,no_root_squash)"},
        {"home directory path with a comma after a comment with one",
         [](_HNASDeviceInfo& i) {
             i.shareSettings.comment = "Sales, EMEA";
             i.shareSettings.userHomeDirectoryPath = "\\homes\\Sales, EMEA";
         },
         "UserHomeDirectoryPath", "\",\"", "\\homes\\Sales, EMEA"},
        {"snapshot option with a brace", [](_HNASDeviceInfo& i) { i.shareSettings.snapshotOption = "show{x}"; },
         "SnapshotOption", "\"{\"", "show{x}"},
        {"NUL byte", [](_HNASDeviceInfo& i) { i.shareSettings.cacheOption = std::string("a\0b", 3); }, "CacheOption",
         "a NUL byte", "a"},
        {"bar in a permission name",
         [](_HNASDeviceInfo& i) {
             i.shareSettings.permissions = {permissionEntry(8, "e1", "u1", "USER"),
                                            permissionEntry(8, "e2", "a|b", "USER")};
         },
         "Permissions[2].Name", "\"|\"", "a|b"},
        {"comma in a group name",
         [](_HNASDeviceInfo& i) { i.shareSettings.permissions = {permissionEntry(24, "e1", "Sales, EMEA", "GROUP")}; },
         "Permissions[1].Name", "\",\"", "Sales, EMEA"},
        {"block end in an encoded name",
         [](_HNASDeviceInfo& i) { i.shareSettings.permissions = {permissionEntry(8, "x]ey", "u1", "USER")}; },
         "Permissions[1].EncodedName", "\"]e\"", "x]ey"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Writer w;
        _HNASDeviceInfo info = settingsRecord();
        c.spoil(info);
        EXPECT_TRUE(w.device.setMetadata(info, SM_MDT_FS_INFO));
        ASSERT_EQ(1u, w.host.metadataWrites.size());
        EXPECT_EQ(SM_MDT_FS_INFO, w.host.metadataWrites[0].first);
        EXPECT_EQ("", w.host.metadataWrites[0].second);
        ASSERT_EQ(2u, w.host.log.size());
        EXPECT_EQ(0, w.host.log[0].level);
        EXPECT_EQ("Setting Metadata[SM_MDT_FS_INFO]: the value of [" + c.key + "] holds " + c.character +
                      ", which the metadata text cannot carry: [" + c.shown +
                      "]. No share settings are stored: map will use the live settings and permissions of the "
                      "source share/export.",
                  w.host.log[0].text);
        EXPECT_EQ("Setting Metadata[SM_MDT_FS_INFO]: ", w.host.log[1].text);
    }
}

// A comment only describes the share: it is stored up to its first reserved
// character, so that the access configuration and permissions saved beside
// it still reach map. The progress line shows the whole comment.
TEST(MetadataWriter, ACommentIsStoredCutAndTheRestOfTheSettingsWhole) {
    const std::string admins = "{Permission:56,EncodedName:e1,Name:BUILTIN\\Admins,Type:GROUP}";
    const struct {
        std::string comment;
        std::string character;   // as the note names it
        std::string stored;
    } cases[] = {
        {"Sales, EMEA", "\",\"", "Sales"},
        {"Ventes région {Nord}", "\"{\"", "Ventes région "},
        {std::string("Q3\0draft", 8), "a NUL byte", "Q3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Writer w;
        _HNASDeviceInfo info = settingsRecord();
        info.shareSettings.comment = c.comment;
        info.shareSettings.permissions = {permissionEntry(56, "e1", "BUILTIN\\Admins", "GROUP")};
        EXPECT_TRUE(w.device.setMetadata(info, SM_MDT_FS_INFO));
        std::string text = kSettingsText + "s[" + admins + "]e}";
        text.replace(text.find(",Comment:c1,"), 12, ",Comment:" + c.stored + ",");
        ASSERT_EQ(1u, w.host.metadataWrites.size());
        EXPECT_EQ(text, w.host.metadataWrites[0].second);
        ASSERT_EQ(2u, w.host.log.size());
        EXPECT_EQ(0, w.host.log[0].level);
        EXPECT_EQ("Setting Metadata[SM_MDT_FS_INFO]: the value of [Comment] holds " + c.character +
                      ", which the metadata text cannot carry: [" + std::string(c.comment.c_str()) +
                      "]. It is stored cut to [" + c.stored + "].",
                  w.host.log[0].text);
        EXPECT_EQ("Setting Metadata[SM_MDT_FS_INFO]: " + text, w.host.log[1].text);
    }
}

// The identity text is always stored. A value later jobs only log is cut at
// its first reserved character; one they act on stays whole when it reads
// back exactly, and is otherwise cut and named under "CutValues", also when
// only another value stood in for its key. A record that carries an earlier
// cut keeps it named.
TEST(MetadataWriter, IdentityValuesThatCannotBeCarriedAreCutAndNamed) {
    const struct {
        std::string name;
        void (*spoil)(_HNASDeviceInfo&);
        std::string stored;   // a part of the stored text
        std::string cutValues;   // "" when the text has no such pair
        std::size_t notes;
    } cases[] = {
        {"share path with a comma", [](_HNASDeviceInfo& i) { i.sharePath = "\\Finance, Legal"; },
         ",Path:\\Finance,SubDirectory:a,", "", 1},
        {"share path with braces", [](_HNASDeviceInfo& i) { i.sharePath = "\\Team {A}"; },
         ",Path:\\Team ,SubDirectory:a,", "", 1},
        {"share path standing in for a key", [](_HNASDeviceInfo& i) { i.sharePath = "\\a,SnapshotObjectID:9"; },
         ",Path:\\a,SubDirectory:a,SnapshotObjectID:7,", "", 1},
        {"sub-directory with braces reads back", [](_HNASDeviceInfo& i) { i.subDirectory = "Team {A}"; },
         ",SubDirectory:Team {A},", "", 0},
        {"sub-directory with a comma", [](_HNASDeviceInfo& i) { i.subDirectory = "a,b"; }, ",SubDirectory:a,",
         "SubDirectory", 1},
        {"sub-directory standing in for a later key",
         [](_HNASDeviceInfo& i) { i.subDirectory = "x{VirtualServerID:9"; }, ",SubDirectory:x,", "SubDirectory", 1},
        {"file system label with a comma", [](_HNASDeviceInfo& i) { i.fileSystemName = "fs,1"; },
         "{FileSystemName:fs,FileSystemID:42,", "FileSystemName", 1},
        {"NUL byte in an object ID", [](_HNASDeviceInfo& i) { i.snapshotObjectId = std::string("7\0x", 3); },
         ",SnapshotObjectID:7,", "SnapshotObjectID", 1},
        {"closing brace in the last value", [](_HNASDeviceInfo& i) { i.snapUUID = "snap}x"; },
         ",SnapshotName:snap}", "", 1},
        {"an earlier cut is carried", [](_HNASDeviceInfo& i) { i.cutMetadataValues = 1u << 2; },
         ",SubDirectory:a,", "SubDirectory", 0},
        // A value that holds "{" + a key + ":" is found by that key's lookup
        // before the key's own pair, even where both say the same.
        {"sub-directory standing in with the same value",
         [](_HNASDeviceInfo& i) { i.subDirectory = "x{VirtualServerID:1"; }, ",SubDirectory:x,", "SubDirectory", 1},
        {"native sub-directory forging the marker",
         [](_HNASDeviceInfo& i) { i.subDirectory = "/a{CutValues:FileSystemID"; }, ",SubDirectory:/a,",
         "SubDirectory", 1},
        {"label hiding a later cut",
         [](_HNASDeviceInfo& i) {
             i.fileSystemName = "fs9{CutValues:none";
             i.subDirectory = "sub{VirtualServerID:7";
         },
         "{FileSystemName:fs9,FileSystemID:42,Path:\\\\data,SubDirectory:sub,", "FileSystemName|SubDirectory", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Writer w;
        _HNASDeviceInfo info = identityRecord();
        c.spoil(info);
        EXPECT_TRUE(w.device.setMetadata(info, SM_MDT_SNAP_UUID));
        ASSERT_EQ(1u, w.host.metadataWrites.size());
        const std::string& text = w.host.metadataWrites[0].second;
        EXPECT_NE(std::string::npos, text.find(c.stored)) << text;
        const std::string cutPair = ",CutValues:" + c.cutValues + "}";
        if (c.cutValues.empty()) {
            EXPECT_EQ(std::string::npos, text.find("CutValues")) << text;
        } else {
            EXPECT_EQ(text.size() - cutPair.size(), text.rfind(cutPair)) << text;
        }
        // What is stored reads back as stored, and the cut is read back too.
        _HNASDeviceInfo read;
        HNASUtils utils(0);
        ASSERT_TRUE(utils.parseMetaData(SM_MDT_SNAP_UUID, text.c_str(), read));
        EXPECT_EQ("7", read.snapshotObjectId.substr(0, 1));
        EXPECT_EQ("1", read.virtualServerId);
        const std::map<std::string, unsigned> bits = {
            {"", 0u}, {"FileSystemName", 1u}, {"SubDirectory", 4u}, {"SnapshotObjectID", 8u},
            {"FileSystemName|SubDirectory", 5u}};
        EXPECT_EQ(bits.at(c.cutValues), read.cutMetadataValues);
        ASSERT_EQ(c.notes + 1, w.host.log.size());
        for (std::size_t i = 0; i < c.notes; ++i) {
            EXPECT_EQ(0, w.host.log[i].level);
            EXPECT_NE(std::string::npos, w.host.log[i].text.find("which the metadata text cannot carry"));
            EXPECT_NE(std::string::npos, w.host.log[i].text.find("It is stored cut to ["));
        }
        EXPECT_EQ("Setting Metadata[SM_MDT_SNAP_UUID]: " + text, w.host.log.back().text);
    }
}

// Whatever the values hold, each value of the stored identity reads back as
// written or, when its key is named under "CutValues", as cut at its first
// reserved character, and nothing is named that was not cut. Each value is
// tried in each field later jobs act on, beside a value really cut, whose name
// a forged marker must not hide.
TEST(MetadataWriter, NoValueForgesHidesOrStandsInForAnotherKey) {
    const std::string values[] = {
        "a{CutValues:FileSystemID", "fs9{CutValues:none", "{CutValues:", "sub{VirtualServerID:7",
        "x{FileSystemName:fs2",     "x{SnapshotObjectID:", "d{SnapshotName:QZ", "Plans {2027}",
        "a}b{c",                    "x{VirtualServerObjectID:1}",
        "finance-archive-quarterly-reporting-volume-2026{CutValues:SnapshotObjectID|VirtualServerID",
    };
    // In the order of the bits of cutMetadataValues.
    std::string _HNASDeviceInfo::*const fields[] = {
        &_HNASDeviceInfo::fileSystemName,   &_HNASDeviceInfo::fileSystemId,
        &_HNASDeviceInfo::subDirectory,     &_HNASDeviceInfo::snapshotObjectId,
        &_HNASDeviceInfo::virtualServerId,  &_HNASDeviceInfo::virtualServerObjectId,
    };
    const auto cut = [](const std::string& v) { return v.substr(0, v.find_first_of(",{}")); };
    for (std::size_t f = 0; f < std::size(fields); ++f) {
        for (const std::string& value : values) {
            SCOPED_TRACE(std::to_string(f) + " " + value);
            Writer w;
            _HNASDeviceInfo written = identityRecord();
            written.*fields[f] = value;
            const std::size_t reallyCut = f == 2 ? 0 : 2;
            written.*fields[reallyCut] = "Finance, Legal";
            ASSERT_TRUE(w.device.setMetadata(written, SM_MDT_SNAP_UUID));
            _HNASDeviceInfo read;
            HNASUtils utils(0);
            ASSERT_TRUE(utils.parseMetaData(SM_MDT_SNAP_UUID, w.host.metadataWrites.at(0).second.c_str(), read));
            EXPECT_NE(0u, read.cutMetadataValues & (1u << reallyCut));
            for (std::size_t i = 0; i < std::size(fields); ++i) {
                const std::string& original = written.*fields[i];
                const bool named = (read.cutMetadataValues & (1u << i)) != 0;
                EXPECT_EQ(named ? cut(original) : original, read.*fields[i]) << i;
                if (named) {
                    EXPECT_NE(original, cut(original)) << i;
                }
            }
        }
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
