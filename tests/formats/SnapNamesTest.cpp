// Unique share names, share names in the array's form, clone paths, snap
// device names, and the marking of devices that share a snapped file system.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "device/HNASSnapDevice.h"
#include "tests/fakes/FakeSnapInfo.h"
#include "tests/fakes/LogCapture.h"
#include "tests/support/TempSettings.h"
#include "utils/HNASUtils.h"

namespace {

using fakehost::FakeSnapInfo;
using fakehost::LogCapture;
using testsupport::TempSettings;

const std::string B2 = "\\\\";   // the two-character UNC separator

// Thirty "日", three bytes each in UTF-8.
const std::string kSun30 = [] {
    std::string s;
    for (int i = 0; i < 30; ++i) s += u8"\u65e5";
    return s;
}();

_HNASDeviceInfo shareRecord(const std::string& type, const std::string& share,
                            const std::string& subDirectory,
                            const std::string& snapUUID = "QZHNAS-1234-fs1") {
    _HNASDeviceInfo info;
    info.deviceType = type;
    info.snapUUID = snapUUID;
    info.fileSystemName = "fs1";
    info.share = share;
    info.subDirectory = subDirectory;
    return info;
}

class UniqueShareName : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("QZ_SETTINGS_FILE"); }
};

TEST_F(UniqueShareName, DerivedFromTheRecordAlone) {
    const std::string uuid40 = "QZHNAS-0123456789abcdef0123456789abcdef-fs1";
    const std::string share50(50, 's');
    const struct {
        std::string name;
        _HNASDeviceInfo info;
        std::string expected;
    } cases[] = {
        {"cifs", shareRecord("unc", "data", "a" + B2 + "b"), "QZHNAS-1234-data-a-b-QZShare"},
        {"cifs root", shareRecord("unc", "data", ""), "QZHNAS-1234-data-QZShare"},
        {"nfs", shareRecord("nfs", "/exp1", ""), "QZHNAS-1234-exp1-QZShare"},
        {"nfs escaped sub-directory", shareRecord("nfs", "/exp1", "\\/d1\\/d2"),
         "QZHNAS-1234-exp1--d1-d2-QZShare"},
        {"nfs plain slashes stay", shareRecord("nfs", "/exp1", "/d1/d2"),
         "QZHNAS-1234-exp1-/d1/d2-QZShare"},
        {"file system not in the uuid", shareRecord("unc", "data", "", "snapX"),
         "snapXdata-QZShare"},
        {"native", shareRecord("native_hnas", "", "/d1", uuid40 + uuid40), uuid40 + uuid40},
        {"other type", shareRecord("cifs", "data", ""), ""},
        // A record without an export name drops the share part.
        {"nfs without share", shareRecord("nfs", "", ""), "QZHNAS-1234--QZShare"},
        {"nfs of exactly 80 stays whole", shareRecord("nfs", "/" + std::string(56, 'e'), "", "QZHNAS-12345-fs1"),
         "QZHNAS-12345-" + std::string(56, 'e') + "-QZShare"},
        // The stem ends at the file system name that snap appended, the last
        // one: two UUIDs that hold the name themselves keep apart.
        {"uuid holding the file system name, a", shareRecord("unc", "data", "", "QZHNAS-fs1-a-fs1"),
         "QZHNAS-fs1-a-data-QZShare"},
        {"uuid holding the file system name, b", shareRecord("nfs", "/exp1", "", "QZHNAS-fs1-b-fs1"),
         "QZHNAS-fs1-b-exp1-QZShare"},
        // 80 characters, not bytes: "é" (2 bytes) and 30 "日" (3 bytes
        // each) make a name of 80 characters and 141 bytes, kept whole.
        {"utf-8 counted in characters", shareRecord("unc", u8"\u00e9" + kSun30 + std::string(32, 'x'), "", "QZHNAS-1-fs1"),
         "QZHNAS-1-" + std::string(u8"\u00e9") + kSun30 + std::string(32, 'x') + "-QZShare"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        HNASUtils utils(6);
        const std::string name = utils.getUniqueShareForPath(c.info, true, HNAS_SNAP_OP_MAP);
        EXPECT_EQ(c.expected, name);
        EXPECT_EQ(name, utils.getUniqueShareForPath(c.info, false, HNAS_SNAP_OP_UNMAP));
        EXPECT_TRUE(log.has(0, "Share/Export: [" + name + "]"));
        EXPECT_EQ("HNASUtils::createUniqueShareForPath", log.lines().at(0).context);
    }
}

// A name over 80 characters is a digest of the whole name, "-" and its last
// 63 characters: what tells snapshots and sub-directories apart survives the
// cut (cutting the start alone dropped the snap UUID, and two snapshots of one
// long share got one name). The digest is pinned: a share an earlier job
// made must be found again by unmap.
TEST_F(UniqueShareName, LongNamesKeepWhatTellsThemApart) {
    const std::string share72(72, 's');
    const std::string uuidA = "QZHNAS-0123456789abcdef0123456789abcdef-fs1";
    const std::string uuidB = "QZHNAS-fedcba9876543210fedcba9876543210-fs1";
    HNASUtils utils(6);
    const auto nameOf = [&](const std::string& type, const std::string& share, const std::string& sub,
                            const std::string& uuid) {
        return utils.getUniqueShareForPath(shareRecord(type, share, sub, uuid), false, HNAS_SNAP_OP_MAP);
    };
    const std::string a = nameOf("unc", share72, "", uuidA);
    EXPECT_EQ("417a89f876d7cc25-" + std::string(55, 's') + "-QZShare", a);
    const struct {
        const char* name;
        std::string other;
    } apart[] = {
        {"another snapshot of the same share", nameOf("unc", share72, "", uuidB)},
        {"a sub-directory of the same share", nameOf("unc", share72, "d", uuidA)},
        {"another share with the same end", nameOf("unc", "x" + share72, "", uuidA)},
    };
    for (const auto& c : apart) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(a, c.other);
        EXPECT_EQ(80u, c.other.size());
        EXPECT_EQ("-QZShare", c.other.substr(72));
    }
    // NFS the same way, and UTF-8 cut only between characters: 81
    // characters, 30 of them "日", become 80 characters whose tail starts on
    // a character.
    const std::string nfs = nameOf("nfs", "/" + kSun30 + std::string(34, 'x'), "", "QZHNAS-1-fs1");
    std::size_t characters = 0;
    for (const unsigned char c : nfs) characters += (c & 0xC0) != 0x80;
    EXPECT_EQ(80u, characters);
    EXPECT_EQ(kSun30.substr(3 * 9) + std::string(34, 'x') + "-QZShare", nfs.substr(17));
}

// The name an earlier version gave a long share name: its last 80
// characters; none for a name that was never shortened, or a native path.
TEST_F(UniqueShareName, EarlierNameIsTheLastEightyCharacters) {
    HNASUtils utils(6);
    const std::string share72(72, 's');
    const _HNASDeviceInfo longName = shareRecord("unc", share72, "", "QZHNAS-u1-fs1");
    const std::string whole = "QZHNAS-u1-" + share72 + "-QZShare";
    EXPECT_EQ(whole.substr(whole.size() - 80), utils.earlierUniqueShareName(longName));
    bool hidden = false;
    EXPECT_NE(utils.earlierUniqueShareName(longName), utils.uniqueShareName(longName, hidden));
    EXPECT_EQ("", utils.earlierUniqueShareName(shareRecord("unc", "data", "", "QZHNAS-u1-fs1")));
    EXPECT_EQ("", utils.earlierUniqueShareName(shareRecord("native_hnas", share72, "", "QZHNAS-u1-fs1")));
    // A piece of the path names the snapshot, not a part of a piece.
    EXPECT_TRUE(HNASUtils::pathIsInSnapshot("\\~snapshot\\QZHNAS-u1-fs1\\data", "QZHNAS-u1-fs1"));
    EXPECT_TRUE(HNASUtils::pathIsInSnapshot("/.snapshot/QZHNAS-u1-fs1/exp1", "QZHNAS-u1-fs1"));
    EXPECT_FALSE(HNASUtils::pathIsInSnapshot("/.snapshot/QZHNAS-u1-fs10/exp1", "QZHNAS-u1-fs1"));
    EXPECT_FALSE(HNASUtils::pathIsInSnapshot("/exp1", ""));
}

TEST_F(UniqueShareName, HiddenCifsShareEndsInDollarWithinEightyCharacters) {
    TempSettings settings("[~Vorlane]\nnHideCIFSShareOnSnapMount=1\n");
    LogCapture log;
    HNASUtils utils(6);
    EXPECT_EQ("QZHNAS-1234-data-a-b-QZShare$",
              utils.getUniqueShareForPath(shareRecord("unc", "data", "a" + B2 + "b"), false,
                                          HNAS_SNAP_OP_MAP));
    EXPECT_TRUE(log.has(0, "Additional setting [nHideCIFSShareOnSnapMount] is set, hide CIFS share"));

    const std::string longName = utils.getUniqueShareForPath(
        shareRecord("unc", std::string(90, 's'), ""), false, HNAS_SNAP_OP_MAP);
    EXPECT_EQ(80u, longName.size());
    EXPECT_EQ(std::string(54, 's') + "-QZShare$", longName.substr(17));

    // Exports are never hidden.
    EXPECT_EQ("QZHNAS-1234-exp1-QZShare",
              utils.getUniqueShareForPath(shareRecord("nfs", "/exp1", ""), false,
                                          HNAS_SNAP_OP_MAP));
}

TEST_F(UniqueShareName, HidingNeedsAValueAboveZero) {
    for (const char* value : {"0", "-1"}) {
        SCOPED_TRACE(value);
        TempSettings settings(std::string("[~Vorlane]\nnHideCIFSShareOnSnapMount=") + value + "\n");
        HNASUtils utils(6);
        EXPECT_EQ("QZHNAS-1234-data-QZShare",
                  utils.getUniqueShareForPath(shareRecord("unc", "data", ""), false,
                                              HNAS_SNAP_OP_MAP));
    }
}

TEST(ShareName, ArrayFormByDeviceType) {
    const struct {
        std::string share, type;
        bool ok;
        std::string result;
    } cases[] = {
        {"exp1", "nfs", true, "/exp1"},
        {"exp1", "native_hnas", true, "/exp1"},
        {"exp1", "unc", true, "exp1"},
        {"exp1", "other", true, "unchanged"},
        {"", "nfs", false, "unchanged"},
        {"exp1", "", false, "unchanged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.share + " / " + c.type);
        LogCapture log;
        HNASUtils utils(6);
        bool flag = true;
        std::string result = "unchanged";
        EXPECT_EQ(c.ok, utils.getShareName(c.share, c.type, flag, result));
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.ok ? 0 : 1, static_cast<int>(log.lines().size()));
        if (!c.ok) {
            EXPECT_TRUE(log.has(-1, "Error: Invalid arguments."));
            EXPECT_EQ("HNASUtils::getSharePath", log.lines()[0].context);
        }
    }
}

TEST(ClonePath, InsideTheSnapshotByDeviceType) {
    const struct {
        std::string type, sharePath, subDirectory, mountPath;
        std::string expected;
    } cases[] = {
        {"unc", B2 + "dir1", "sub", "", B2 + "~snapshot" + B2 + "snap1" + B2 + "dir1" + B2 + "sub"},
        {"unc", B2, "", "", B2 + "~snapshot" + B2 + "snap1"},
        {"unc", "\\dir1\\\\d2", "a" + B2 + "b", "", B2 + "~snapshot" + B2 + "snap1" + B2 + "dir1" +
                                                       B2 + "d2" + B2 + "a" + B2 + "b"},
        {"nfs", "/", "d1", "", "/.snapshot/snap1/d1"},
        {"nfs", "/exp1", "", "", "/.snapshot/snap1/exp1"},
        {"nfs", "", "", "", "/.snapshot/snap1"},
        {"nfs", "/exp1", "d1/d2", "", "/.snapshot/snap1/exp1/d1/d2"},
        {"nfs", "/e", "", "", "/.snapshot/snap1/e"},   // two characters: the share path counts
        {"nfs", "/e", "d1", "", "/.snapshot/snap1/e/d1"},
        {"native_hnas", "", "/d1/d2", "/mnt/x", "/.snapshot/snap1/d1/d2/"},
        {"native_hnas", "", "\\d1//d2\\", "/mnt/x", "/.snapshot/snap1/d1/d2/"},
        {"native_hnas", "", "", "/mnt/x", "/.snapshot/snap1/"},
        {"native_hnas", "", "/d1/d2", "", "/.snapshot/snap1/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type + " / " + c.sharePath + " / " + c.subDirectory + " / " + c.mountPath);
        LogCapture log;
        HNASUtils utils(6);
        std::string snap = "snap1", sharePath = c.sharePath, sub = c.subDirectory, clone = "x";
        ASSERT_TRUE(utils.getClonePath(c.type, snap, sharePath, sub, c.mountPath, clone));
        EXPECT_EQ(c.expected, clone);
        EXPECT_EQ("snap1", snap);
        EXPECT_EQ(c.sharePath, sharePath);
        EXPECT_EQ(c.subDirectory, sub);
        EXPECT_TRUE(log.has(0, "Share Path [" + c.sharePath + "]"));
        EXPECT_TRUE(log.has(0, "Sub Directory [" + c.subDirectory + "]"));
        EXPECT_TRUE(log.has(0, "The Clone Path is [" + c.expected + "]"));
    }
}

TEST(ClonePath, RefusesMissingOrUnknownTypes) {
    const struct {
        std::string type, snap, message;
    } cases[] = {
        {"", "snap1", "Backup type or SnapUUID is empty."},
        {"unc", "", "Backup type or SnapUUID is empty."},
        {"cifs", "snap1", "Unknown backup type."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type + " / " + c.snap);
        LogCapture log;
        HNASUtils utils(6);
        std::string snap = c.snap, sharePath = "/exp1", sub, clone = "unchanged";
        EXPECT_FALSE(utils.getClonePath(c.type, snap, sharePath, sub, "", clone));
        EXPECT_EQ("unchanged", clone);
        EXPECT_TRUE(log.has(-1, c.message));
        EXPECT_EQ("HNASUtils::getClonePath", log.lines().back().context);
    }
}

TEST(SnapDeviceName, ByDeviceTypeAndProtocol) {
    const struct {
        std::string type, shareName, subDirectory, protocol;
        std::string expected;
    } cases[] = {
        {"nfs", "exp1", "", "NFS",
         "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:host1}"},
        {"unc", "share1", "", "CIFS",
         "{vortype:,vendor:Hitachi HNAS,type:unc,lunuuid:" + B2 + "UNC-NT_host1" + B2 +
             "share1,targethostname:host1}"},
        {"native_hnas", "snap1", "/d1", "NFS",
         "{type:native_hnas,path:/__VOLUME__/fs1/~snapshot/snap1/d1,fspath:/__VOLUME__/fs1/"
         "~snapshot/snap1,targethostname:host1,exportpath:/snap1}"},
        {"native_hnas", "snap1", "", "CIFS",
         "{type:native_hnas,path:/__VOLUME__/fs1/~snapshot/snap1,fspath:/__VOLUME__/fs1/"
         "~snapshot/snap1,targethostname:host1}"},
        {"native_hnas", "snap1", "", "nfs", ""},
        {"cifs", "share1", "", "CIFS", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type + " / " + c.protocol);
        LogCapture log;
        HNASUtils utils(6);
        EXPECT_EQ(c.expected, utils.getSnapDeviceName("vortype:,", c.type, c.shareName, "host1",
                                                      "fs1", c.subDirectory, c.protocol));
        EXPECT_TRUE(log.lines().empty());
    }
}

// Devices whose records come from stored metadata, as every operation after
// prepare builds them.
struct SnappedGroup {
    std::vector<std::unique_ptr<FakeSnapInfo>> hosts;
    std::vector<HNASSnapDevice*> devices;

    void add(const std::string& fileSystemName, const std::string& fileSystemId) {
        hosts.push_back(std::make_unique<FakeSnapInfo>());
        FakeSnapInfo& host = *hosts.back();
        host.sourceDevice = "{type:native_hnas,path:/__VOLUME__/" + fileSystemName + "/d,targethostname:host1}";
        host.metadata[SM_MDT_SNAP_UUID] =
            "{FileSystemName:" + fileSystemName + ",FileSystemID:" + fileSystemId +
            ",Path:/p,SubDirectory:/d,SnapshotObjectID:,VirtualServerID:1,"
            "VirtualServerObjectID:v1,TargetHostName:host1,FileSystemName:" + fileSystemName +
            ",SnapshotName:uuid}";
        host.knowArray("array1", "{arrayId:a1,hostName:smu1,hostUserName:u,hostPassword:p,hostid:1}");
        host.arrayName = "array1";
        host.snapUUID = "uuid";
        devices.push_back(new HNASSnapDevice(&host, nullptr, HNAS_SNAP_OP_SNAP));
        EXPECT_TRUE(devices.back()->preOperationCommon());
        EXPECT_EQ(fileSystemId, devices.back()->getDeviceInfo().fileSystemId);
    }
    ~SnappedGroup() { HNASSnapDevice::clean(devices); }
};

TEST(MarkFileSystemSnapped, ChangesExactlyTheDevicesOfThatFileSystem) {
    SnappedGroup group;
    group.add("fs1", "42");
    group.add("fs2", "43");
    group.add("fs1", "42");
    for (auto& host : group.hosts) host->setSnapUUIDArguments.clear();

    LogCapture log;
    HNASUtils utils(6);
    utils.markFileSystemSnapped("42", group.devices, "QZHNAS-uuid-fs1", "obj9");

    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const bool match = i != 1;
        const _HNASDeviceInfo info = group.devices[i]->getDeviceInfo();
        EXPECT_EQ(match, info.fileSystemSnapped);
        EXPECT_EQ(match ? "QZHNAS-uuid-fs1" : "uuid", info.snapUUID);
        EXPECT_EQ(match ? "obj9" : "", info.snapshotObjectId);
        EXPECT_EQ(match ? std::vector<std::string>{"QZHNAS-uuid-fs1"} : std::vector<std::string>{},
                  group.hosts[i]->setSnapUUIDArguments);
    }
    const std::vector<EvLogLine> lines = log.lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("Found sub client path using the same File System [fs1]. Marking the File System "
              "ID [42] as snapped.",
              lines[0].message);
    EXPECT_EQ("There are [2] device(s) under File System[42].", lines[1].message);
    EXPECT_EQ("HNASUtils::markFileSystemSnapped", lines[1].context);
    EXPECT_EQ(0, lines[1].level);
}

TEST(MarkFileSystemSnapped, EmptyIdChangesNothing) {
    SnappedGroup group;
    group.add("fs1", "42");
    LogCapture log;
    HNASUtils utils(6);
    utils.markFileSystemSnapped("", group.devices, "QZHNAS-uuid-fs1", "obj9");
    EXPECT_FALSE(group.devices[0]->getDeviceInfo().fileSystemSnapped);
    ASSERT_EQ(1u, log.lines().size());
    EXPECT_EQ(-1, log.lines()[0].level);
    EXPECT_EQ("Invalid arguements. Empty File System ID.", log.lines()[0].message);
}

}  // namespace
