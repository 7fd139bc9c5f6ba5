// Readers of the stored snap metadata (types 6 and 16), of permission blocks
// and of the host's array-info text.
#include <gtest/gtest.h>

#include "tests/fakes/LogCapture.h"
#include "utils/HNASUtils.h"

namespace {

using fakehost::LogCapture;

const char kContext[] = "HNASUtils::parseMetaData";

const std::string kType6 =
    "{FileSystemName:fs1,FileSystemID:42,Path:\\\\data,SubDirectory:a\\\\b,SnapshotObjectID:7,"
    "VirtualServerID:1,VirtualServerObjectID:333a,TargetHostName:host1,FileSystemName:other,"
    "SnapshotName:QZHNAS-1234-fs1}";

const std::string kEntryAdmins =
    "{Permission:56,EncodedName:e1,Name:BUILTIN\\Administrators,Type:GROUP}";
const std::string kEntryUser = "{Permission:8,EncodedName:e2,Name:u1,Type:USER}";

std::string type16(const std::string& permissions, const std::string& comment = "c1",
                   const std::string& abe = "true", const std::string& users = "25") {
    return "{ABEEnabled:" + abe +
           ",FollowGlobalSymLinks:false,FollowSymLinks:true,ForceFileNameToLowercase:false,"
           "ScanForVirusesEnabled:true,MaxConcurrentUsers:" + users +
           ",AccessConfig:10.0.0.0/8,CacheOption:manual,Comment:" + comment +
           ",LocalReadCacheOption:off,SnapshotOption:show,TransferToReplicationTarget:yes,"
           "UserHomeDirectoryMode:off,UserHomeDirectoryPath:\\\\home,Permissions:" + permissions +
           "}";
}

// Drops the pair "key:value," (or ",key:value" at the end) from a text.
std::string without(const std::string& text, const std::string& key) {
    std::string out = text;
    std::size_t at = out.find("{" + key + ":");
    if (at == std::string::npos) at = out.find("," + key + ":");
    const std::size_t end = out.find_first_of(",}", at + 1);
    if (out[end] == '}') {
        out.erase(at, end - at);        // ",key:value" before the closing brace
    } else {
        out.erase(at + 1, end - at);    // "key:value," after "{" or ","
    }
    return out;
}

TEST(MetadataReaders, SnapUUIDTextFillsTheSevenFields) {
    HNASUtils utils(9);
    _HNASDeviceInfo info;
    ASSERT_TRUE(utils.parseMetaData(SM_MDT_SNAP_UUID, kType6.c_str(), info));
    EXPECT_EQ("fs1", info.fileSystemName);   // the opening pair wins
    EXPECT_EQ("42", info.fileSystemId);
    EXPECT_EQ("\\\\data", info.sharePath);
    EXPECT_EQ("a\\\\b", info.subDirectory);
    EXPECT_EQ("7", info.snapshotObjectId);
    EXPECT_EQ("1", info.virtualServerId);
    EXPECT_EQ("333a", info.virtualServerObjectId);
    EXPECT_EQ("", info.snapUUID);          // written for the host, not read
    EXPECT_EQ("", info.targetHostName);
}

TEST(MetadataReaders, SnapUUIDStopsAtTheFirstMissingKeyKeepingEarlierFields) {
    const struct {
        std::string key;
        std::string message;
        int fieldsRead;
    } cases[] = {
        {"FileSystemName", "FileSystemName is not present in the metadata.", 0},
        {"FileSystemID", "FileSystemID is not present in the metadata.", 1},
        {"Path", "Share Path is not present in the metadata.", 2},
        {"SubDirectory", "SubDirectory is not present in the metadata.", 3},
        {"SnapshotObjectID", "SnapshotObjectID is not present in the metadata.", 4},
        {"VirtualServerID", "VirtualServerID is not present in the metadata.", 5},
        {"VirtualServerObjectID", "VirtualServerObjectID is not present in the metadata.", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        // Both "FileSystemName" pairs go when that key is the one missing.
        std::string text = without(kType6, c.key);
        if (c.key == "FileSystemName") text = without(text, c.key);
        LogCapture log;
        HNASUtils utils(9);
        _HNASDeviceInfo info;
        std::string* fields[] = {&info.fileSystemName,   &info.fileSystemId,
                                 &info.sharePath,        &info.subDirectory,
                                 &info.snapshotObjectId, &info.virtualServerId,
                                 &info.virtualServerObjectId};
        for (std::string* f : fields) *f = "old";
        EXPECT_FALSE(utils.parseMetaData(SM_MDT_SNAP_UUID, text.c_str(), info));
        ASSERT_EQ(1u, log.lines().size());
        EXPECT_EQ(-1, log.lines()[0].level);
        EXPECT_EQ(9u, log.lines()[0].jobId);
        EXPECT_EQ(kContext, log.lines()[0].context);
        EXPECT_EQ(c.message, log.lines()[0].message);
        for (int i = 0; i < 7; ++i) {
            SCOPED_TRACE(i);
            if (i < c.fieldsRead) {
                EXPECT_NE("old", *fields[i]);
            } else {
                EXPECT_EQ("old", *fields[i]);
            }
        }
    }
}

// The writer puts the "CutValues" pair only at the end of the text. One found
// anywhere else is part of a value (texts stored by earlier versions may hold
// such values whole): it names no cut, and it does not hide the real pair.
TEST(MetadataReaders, TheCutMarkerIsReadOnlyAsTheClosingPair) {
    const std::string head = "{FileSystemName:fs1,FileSystemID:42,Path:\\data,SubDirectory:";
    const std::string tail =
        ",SnapshotObjectID:7,VirtualServerID:1,VirtualServerObjectID:333a,TargetHostName:host1,FileSystemName:fs1,"
        "SnapshotName:QZHNAS-1234-fs1";
    const struct {
        std::string name;
        std::string text;
        unsigned cut;              // bits of cutMetadataValues
        std::string subDirectory;
    } cases[] = {
        {"closing pair", head + "sub" + tail + ",CutValues:SubDirectory|FileSystemID}", 4u | 2u, "sub"},
        {"none", head + "sub" + tail + "}", 0u, "sub"},
        {"a native directory holding a marker", head + "/a{CutValues:FileSystemID" + tail + "}", 0u,
         "/a{CutValues:FileSystemID"},
        {"a label holding a marker before the closing pair",
         "{FileSystemName:fs9{CutValues:none,FileSystemID:42,Path:\\d9,SubDirectory:sub" + tail +
             ",CutValues:SubDirectory}",
         4u, "sub"},
        {"a pair that does not close the text",
         head + "sub,CutValues:SubDirectory" + tail + "}", 0u, "sub"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HNASUtils utils(9);
        _HNASDeviceInfo info;
        info.cutMetadataValues = 0x3f;   // what an earlier read left
        ASSERT_TRUE(utils.parseMetaData(SM_MDT_SNAP_UUID, c.text.c_str(), info));
        EXPECT_EQ(c.cut, info.cutMetadataValues);
        EXPECT_EQ(c.subDirectory, info.subDirectory);
    }
}

TEST(MetadataReaders, NullTextIsRefusedInThePlainForm) {
    LogCapture log;
    HNASUtils utils(9);
    _HNASDeviceInfo info;
    EXPECT_FALSE(utils.parseMetaData(SM_MDT_SNAP_UUID, nullptr, info));
    EXPECT_FALSE(utils.parseMetaData(SM_MDT_FS_INFO, nullptr, info));
    ASSERT_EQ(2u, log.lines().size());
    EXPECT_EQ("Invalid input parameters.", log.lines()[0].message);
    EXPECT_EQ(kContext, log.lines()[0].context);
    EXPECT_EQ(0u, log.lines()[0].jobId);
}

TEST(MetadataReaders, FsInfoTextReadsSettingsAndEntriesInOrder) {
    HNASUtils utils(9);
    _HNASDeviceInfo info;
    const std::string text = type16("s[" + kEntryAdmins + "|" + kEntryUser + "]e");
    ASSERT_TRUE(utils.parseMetaData(SM_MDT_FS_INFO, text.c_str(), info));
    const __HNASFileSystemShareSettings& s = info.shareSettings;
    EXPECT_TRUE(s.abeEnabled);
    EXPECT_FALSE(s.followGlobalSymLinks);
    EXPECT_TRUE(s.followSymLinks);
    EXPECT_FALSE(s.forceFileNameToLowercase);
    EXPECT_TRUE(s.scanForVirusesEnabled);
    EXPECT_EQ(25, s.maxConcurrentUsers);
    EXPECT_EQ("10.0.0.0/8", s.accessConfig);
    EXPECT_EQ("manual", s.cacheOption);
    EXPECT_EQ("c1", s.comment);
    EXPECT_EQ("off", s.localReadCacheOption);
    EXPECT_EQ("show", s.snapshotOption);
    EXPECT_EQ("yes", s.transferToReplicationTarget);
    EXPECT_EQ("off", s.userHomeDirectoryMode);
    EXPECT_EQ("\\\\home", s.userHomeDirectoryPath);
    ASSERT_EQ(2u, s.permissions.size());
    EXPECT_EQ(56, s.permissions[0].permission);
    EXPECT_EQ("e1", s.permissions[0].encodedName);
    EXPECT_EQ("BUILTIN\\Administrators", s.permissions[0].name);
    EXPECT_EQ("GROUP", s.permissions[0].type);
    EXPECT_EQ(8, s.permissions[1].permission);
    EXPECT_EQ("u1", s.permissions[1].name);
    EXPECT_EQ("USER", s.permissions[1].type);
}

TEST(MetadataReaders, FsInfoValueConversions) {
    const struct {
        std::string abe;
        std::string users;
        std::string comment;
        bool abeRead;
        int usersRead;
        std::string commentRead;
    } cases[] = {
        {"true", "-1", "plain", true, -1, "plain"},
        {"True", "x5", "", false, 0, ""},
        {"1", "12abc", "a:b", false, 12, "a:b"},
        {"truex", "99999999999", "Sales, EMEA", false, 0, "Sales"},   // cut at the comma
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.abe + " / " + c.users + " / " + c.comment);
        HNASUtils utils(9);
        _HNASDeviceInfo info;
        const std::string text = type16("", c.comment, c.abe, c.users);
        ASSERT_TRUE(utils.parseMetaData(SM_MDT_FS_INFO, text.c_str(), info));
        EXPECT_EQ(c.abeRead, info.shareSettings.abeEnabled);
        EXPECT_EQ(c.usersRead, info.shareSettings.maxConcurrentUsers);
        EXPECT_EQ(c.commentRead, info.shareSettings.comment);
        // The keys after a cut value still read.
        EXPECT_EQ("\\\\home", info.shareSettings.userHomeDirectoryPath);
    }
}

TEST(MetadataReaders, FsInfoMissingKeyNamesItAndKeepsEarlierSettings) {
    LogCapture log;
    HNASUtils utils(9);
    _HNASDeviceInfo info;
    info.shareSettings.comment = "old";
    info.shareSettings.localReadCacheOption = "old";
    const std::string text = without(type16(""), "Comment");
    EXPECT_FALSE(utils.parseMetaData(SM_MDT_FS_INFO, text.c_str(), info));
    EXPECT_TRUE(log.has(-1, "Comment is not present in the metadata."));
    EXPECT_EQ("manual", info.shareSettings.cacheOption);
    EXPECT_EQ("old", info.shareSettings.comment);
    EXPECT_EQ("old", info.shareSettings.localReadCacheOption);
}

TEST(MetadataReaders, PermissionsReplaceOnlyWhenTheBlockHoldsEntries) {
    __HNASCIFSAuthentication before;
    before.name = "kept";
    const struct {
        std::string name;
        std::string text;
        std::vector<std::string> names;
    } cases[] = {
        {"no entries written", type16(""), {"kept"}},
        {"unterminated block", type16("s[" + kEntryUser), {"kept"}},
        {"one entry", type16("s[" + kEntryUser + "]e"), {"u1"}},
        // "]e" before the block: the block runs to the end of the text.
        {"close marker earlier", type16("s[" + kEntryUser, "x]e"), {"u1"}},
        // A "|" inside a name splits the entry in two.
        {"bar in a name", type16("s[{Permission:8,Name:a|b,Type:USER}]e"), {"", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HNASUtils utils(9);
        _HNASDeviceInfo info;
        info.shareSettings.permissions = {before};
        ASSERT_TRUE(utils.parseMetaData(SM_MDT_FS_INFO, c.text.c_str(), info));
        std::vector<std::string> names;
        for (const auto& e : info.shareSettings.permissions) names.push_back(e.name);
        EXPECT_EQ(c.names, names);
    }
}

TEST(MetadataReaders, AnyOtherTypeReadsAsFsInfo) {
    HNASUtils utils(9);
    _HNASDeviceInfo info;
    const std::string text = type16("");
    EXPECT_TRUE(utils.parseMetaData(7, text.c_str(), info));
    EXPECT_EQ("c1", info.shareSettings.comment);
}

TEST(PermissionsReader, MissingKeysAreLoggedAndTheEntryStillCounts) {
    LogCapture log;
    HNASUtils utils(4);
    std::vector<__HNASCIFSAuthentication> entries;
    EXPECT_TRUE(utils.parsePermissionsMetaData("[{Permission:x}|{Name:n}||]", entries));
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(0, entries[0].permission);
    EXPECT_EQ("", entries[0].name);
    EXPECT_EQ("n", entries[1].name);
    EXPECT_EQ(0, entries[1].permission);
    const std::vector<std::string> expected = {
        "Permissions: [{Permission:x}|{Name:n}||]",
        "Encoded Name is not present.", "Name is not present.", "Type is not present.",
        "Permission is not present.", "Encoded Name is not present.", "Type is not present.",
    };
    ASSERT_EQ(expected.size(), log.lines().size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i], log.lines()[i].message);
        EXPECT_EQ("parsePermissionsMetaData", log.lines()[i].context);
        EXPECT_EQ(i == 0 ? 5 : -1, log.lines()[i].level);
        EXPECT_EQ(i == 0 ? 0u : 4u, log.lines()[i].jobId);
    }
}

TEST(PermissionsReader, EmptyOrBareBlocks) {
    HNASUtils utils(4);
    std::vector<__HNASCIFSAuthentication> entries;
    EXPECT_FALSE(utils.parsePermissionsMetaData("", entries));
    EXPECT_TRUE(utils.parsePermissionsMetaData("[", entries));
    EXPECT_TRUE(utils.parsePermissionsMetaData("[]", entries));
    EXPECT_TRUE(entries.empty());
}

const std::string kArrayInfo =
    "{arrayId:a1,hostName:smu1,hostUserName:admin,hostPassword:s3cret,hostid:3}";

TEST(ArrayInfoReader, ReadsTheFiveKeysInAnyOrder) {
    const struct {
        std::string text;
        int hostId;
        std::string password;
    } cases[] = {
        {kArrayInfo, 3, "s3cret"},
        {"{hostid:-7,hostPassword:p}w,hostUserName:admin,hostName:smu1,arrayId:a1}", -7, "p}w"},
        {"{arrayId:a1,hostName:smu1,hostUserName:admin,hostPassword:s3cret,hostid:abc}", 0,
         "s3cret"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        HNASUtils utils(4);
        std::string arrayId = "x", hostName = "x", user = "x", password = "x";
        int hostId = 99;
        ASSERT_TRUE(utils.parseArrayInfo(0, c.text.c_str(), arrayId, hostName, user, password,
                                         hostId));
        EXPECT_EQ("a1", arrayId);
        EXPECT_EQ("smu1", hostName);
        EXPECT_EQ("admin", user);
        EXPECT_EQ(c.password, password);
        EXPECT_EQ(c.hostId, hostId);
    }
}

TEST(ArrayInfoReader, FirstMissingKeyFailsAndNoPasswordIsLogged) {
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {without(kArrayInfo, "arrayId"), "Array ID is not present in the metadata."},
        {without(kArrayInfo, "hostName"), "Host Name is not present in the metadata."},
        {without(kArrayInfo, "hostUserName"), "Host User Name is not present in the metadata."},
        {without(kArrayInfo, "hostPassword"), "Host Password is not present in the metadata."},
        {without(kArrayInfo, "hostid"), "Control Host ID is not present in the metadata."},
        // A control host ID outside the 32-bit range names no host.
        {"{arrayId:a1,hostName:smu1,hostUserName:admin,hostPassword:s3cret,hostid:4294967299}",
         "Control Host ID is not present in the metadata."},
        {"", "Array ID is not present in the metadata."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        LogCapture log;
        HNASUtils utils(4);
        std::string arrayId = "x", hostName = "x", user = "x", password = "x";
        int hostId = 99;
        EXPECT_FALSE(
            utils.parseArrayInfo(0, c.text.c_str(), arrayId, hostName, user, password, hostId));
        EXPECT_EQ(99, hostId);
        ASSERT_EQ(1u, log.lines().size());
        EXPECT_EQ(-1, log.lines()[0].level);
        EXPECT_EQ("HNASUtils::parseArrayInfo", log.lines()[0].context);
        EXPECT_EQ(c.message, log.lines()[0].message);
        EXPECT_EQ(std::string::npos, log.text().find("s3cret"));
    }
}

TEST(ArrayInfoReader, NullTextFailsLikeAnEmptyOne) {
    LogCapture log;
    HNASUtils utils(4);
    std::string arrayId = "x", hostName = "x", user = "x", password = "x";
    int hostId = 99;
    EXPECT_FALSE(utils.parseArrayInfo(0, nullptr, arrayId, hostName, user, password, hostId));
    EXPECT_EQ("", arrayId);
    EXPECT_EQ("", password);
    EXPECT_TRUE(log.has(-1, "Array ID is not present in the metadata."));
}

}  // namespace
