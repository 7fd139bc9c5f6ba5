// The array model's semantics: object ID forms, the snapshot and share
// refusals, rollback, permissions, virtual server choice and seeding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arraysim/model/ArrayOps.h"
#include "arraysim/model/ArraySeed.h"
#include "arraysim/model/ChangeRecord.h"
#include "arraysim/model/ObjectIds.h"
#include "arraysim/model/SnapshotPaths.h"

using namespace arraymodel;

namespace {

// One array: evs1 (1) holds fs1 and fs2, evs2 (2) holds fs3, and an
// administrative server 3; fs1 has the snapshot QZHNAS-u1-fs1, fs2 QZHNAS-u2-fs2.
class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        array.name = "hnas1";
        array.user = "admin";
        array.password = "pw";
        addServer(1, "evs1", {"192.0.2.10", "192.0.2.11"}, kFileServices);
        addServer(2, "evs2", {"192.0.2.20"}, kFileServices);
        addServer(3, "admin-evs", {"192.0.2.30"}, "Administrative services");
        fs1 = addFs("fs1", 1);
        fs2 = addFs("fs2", 1);
        fs3 = addFs("fs3", 2);
        Snapshot s;
        ASSERT_TRUE(createSnapshot(array, fs1, "u1-fs1", "QZHNAS", 100, s).ok());
        ASSERT_TRUE(createSnapshot(array, fs2, "u2-fs2", "QZHNAS", 100, s).ok());
    }

    void addServer(uint64_t id, const std::string& name, std::vector<std::string> ips,
                   const std::string& type) {
        VirtualServer server;
        server.id = id;
        server.name = name;
        server.ipAddresses = ips;
        server.type = type;
        ASSERT_TRUE(addVirtualServer(array, server).ok());
    }

    std::string addFs(const std::string& label, uint64_t evs) {
        FileSystem fs;
        fs.label = label;
        fs.virtualServerId = evs;
        EXPECT_TRUE(addFileSystem(array, fs).ok());
        return fs.id;
    }

    // A share as the plug-in's client asks for one (ensurePathExists), on
    // a simulator that takes shares only inside snapshots, unless told.
    Result share(Protocol protocol, const std::string& evs, const std::string& name,
                 const std::string& fs, const std::string& path, bool strict = true, bool ensure = true) {
        ShareRequest request;
        request.protocol = protocol;
        request.virtualServer = evs;
        request.name = name;
        request.fileSystem = fs;
        request.path = path;
        request.strictSnapshotPaths = strict;
        request.ensurePathExists = ensure;
        Share created;
        return createShare(array, request, created);
    }

    Array array;
    std::string fs1, fs2, fs3;
};

std::string decoded(const std::string& hex) {
    std::string text;
    EXPECT_TRUE(hexDecode(hex, text)) << hex;
    return text;
}

}  // namespace

TEST(ObjectIdsTest, MintedInTheArrayForm) {
    EXPECT_EQ(decoded(virtualServerObjectId(3)), "3::::::0:::OID_$#!@%_V");
    EXPECT_EQ(decoded(fileSystemObjectId("0A1B")), "0A1B:::0:::OID_$#!@%_V");
    EXPECT_EQ(decoded(shareObjectId(2, "5f0c-uuid")), "2:::5f0c-uuid:::0:::OID_$#!@%_V");
    EXPECT_EQ(decoded(snapshotObjectId("0A1B", "QZHNAS-u1-fs1")),
              "0A1B:::QZHNAS-u1-fs1::::::0:::OID_$#!@%_V");
    EXPECT_EQ(hexEncode("3:"), "333a");

    std::string untouched = "keep";
    EXPECT_FALSE(hexDecode("333", untouched));
    EXPECT_FALSE(hexDecode("3g", untouched));
    EXPECT_EQ(untouched, "keep");
}

TEST(ObjectIdsTest, MintedIdsAreWellFormedAndDistinct) {
    const std::string a1 = mintFileSystemId("hnas1", 1);
    EXPECT_TRUE(isFileSystemIdForm(a1)) << a1;
    for (char c : a1) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << a1;
    EXPECT_NE(a1, mintFileSystemId("hnas1", 2));
    EXPECT_NE(a1, mintFileSystemId("hnas2", 1));
    EXPECT_EQ(a1, mintFileSystemId("hnas1", 1));

    const std::string uuid = mintUuid("hnas1", 7);
    ASSERT_EQ(uuid.size(), 36u) << uuid;
    for (size_t dash : {8u, 13u, 18u, 23u}) EXPECT_EQ(uuid[dash], '-') << uuid;
    EXPECT_EQ(uuid[14], '4') << uuid;
    EXPECT_NE(uuid, mintUuid("hnas1", 8));
}

TEST(SnapshotPathsTest, ReadsTheSnapshotNameOfAClonePath) {
    struct Case {
        const char* path;
        bool inside;
        const char* name;
    } cases[] = {
        {"\\\\~snapshot\\\\QZHNAS-u1-fs1\\\\data", true, "QZHNAS-u1-fs1"},
        {"\\~snapshot\\QZHNAS-u1-fs1", true, "QZHNAS-u1-fs1"},
        {"\\.snapshot\\QZHNAS-u1-fs1\\a\\b", true, "QZHNAS-u1-fs1"},
        {"/.snapshot/QZHNAS-u1-fs1/exp1", true, "QZHNAS-u1-fs1"},
        {"/.snapshot/QZHNAS-u1-fs1/", true, "QZHNAS-u1-fs1"},
        {"//.snapshot//QZHNAS-u1-fs1", true, "QZHNAS-u1-fs1"},
        {"/.snapshot/", false, ""},
        {"/.snapshot", false, ""},
        {"/exp1/.snapshot/QZHNAS-u1-fs1", false, ""},
        {"\\data", false, ""},
        {"/snapshot/QZHNAS-u1-fs1", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string name;
        EXPECT_EQ(snapshotNameInPath(c.path, name), c.inside);
        if (c.inside) {
            EXPECT_EQ(name, c.name);
        }
    }
}

TEST(SnapshotPathsTest, ReadsTheDirectoryASharePathNames) {
    struct Case {
        const char* path;
        bool wellFormed;
        const char* directory;
    } cases[] = {
        {"\\non-root\\ansible", true, "/non-root/ansible"},
        {"/", true, "/"},
        {"\\", true, "/"},
        {"//exp1//sub/", true, "/exp1/sub"},
        {"\\\\~snapshot\\\\QZHNAS-u1-fs1\\\\data", true, "/~snapshot/QZHNAS-u1-fs1/data"},
        {"/.hidden/..x", true, "/.hidden/..x"},
        {"", false, "/"},
        {"exp1", false, "/exp1"},
        {"/a/../etc", false, "/a/../etc"},
        {"/a/./b", false, "/a/./b"},
        {"/a\tb", false, "/a\tb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(wellFormedSharePath(c.path), c.wellFormed);
        EXPECT_EQ(directoryOf(c.path), c.directory);
    }
}

TEST_F(ModelTest, CreatesSnapshotsUnderThePrefixedNameAndRefusesDuplicates) {
    const std::string fs1ObjectId = findFileSystem(array, fs1)->objectId;
    std::string lowerFs1 = fs1;
    for (char& c : lowerFs1) c = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    struct Case {
        std::string fileSystem;
        std::string name;
        std::string prefix;
        Outcome outcome;
        std::string stored;
    } cases[] = {
        {fs1, "u9-fs1", "QZHNAS", Outcome::Ok, "QZHNAS-u9-fs1"},
        {fs1ObjectId, "u10-fs1", "QZHNAS", Outcome::Ok, "QZHNAS-u10-fs1"},
        {lowerFs1, "u11-fs1", "QZHNAS", Outcome::Ok, "QZHNAS-u11-fs1"},
        {fs1, "plain", "", Outcome::Ok, "plain"},
        {fs1, "u1-fs1", "QZHNAS", Outcome::BadRequest, ""},   // exists on fs1
        {fs3, "u1-fs1", "QZHNAS", Outcome::Ok, "QZHNAS-u1-fs1"},  // other file system
        {fs1, "", "QZHNAS", Outcome::BadRequest, ""},
        {"0123456789ABCDEF0123456789ABCDEF", "x", "QZHNAS", Outcome::NotFound, ""},
        // The stored name: at most kMaxSnapshotNameBytes, no control character, no path separator.
        {fs1, std::string(kMaxSnapshotNameBytes - 7, 'l'), "QZHNAS", Outcome::Ok,
         "QZHNAS-" + std::string(kMaxSnapshotNameBytes - 7, 'l')},
        {fs1, std::string(kMaxSnapshotNameBytes - 6, 'l'), "QZHNAS", Outcome::BadRequest, ""},
        {fs1, std::string(kMaxSnapshotNameBytes + 1, 'l'), "", Outcome::BadRequest, ""},
        {fs1, std::string("nul\0in", 6), "QZHNAS", Outcome::BadRequest, ""},
        {fs1, "tab\tin", "QZHNAS", Outcome::BadRequest, ""},
        {fs1, "del\x7f", "QZHNAS", Outcome::BadRequest, ""},
        {fs1, "a/b", "QZHNAS", Outcome::BadRequest, ""},
        {fs1, "a\\b", "QZHNAS", Outcome::BadRequest, ""},
        {fs1, "ok", "Q\nZ", Outcome::BadRequest, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileSystem + " " + c.name);
        const size_t before = array.snapshots.size();
        Snapshot created;
        const Result r = createSnapshot(array, c.fileSystem, c.name, c.prefix, 500, created);
        EXPECT_EQ(r.outcome, c.outcome) << r.message;
        if (c.outcome != Outcome::Ok) {
            EXPECT_EQ(array.snapshots.size(), before);
            continue;
        }
        EXPECT_EQ(created.displayName, c.stored);
        EXPECT_EQ(created.appSearchId, c.prefix);
        EXPECT_EQ(created.state, "SNAPSHOT_MANAGEMENT_STATE_USABLE");
        EXPECT_EQ(created.creationTime, 500u);
        EXPECT_EQ(decoded(created.objectId), created.fileSystemId + ":::" + c.stored + "::::::0:::OID_$#!@%_V");
        ASSERT_NE(findSnapshot(array, created.objectId), nullptr);
    }
}

TEST_F(ModelTest, CreatesSharesOnlyInsideASnapshotOfTheirFileSystem) {
    const std::string evs1ObjectId = findVirtualServer(array, "1")->objectId;
    const std::string name80(80, 'n');
    const std::string name81(81, 'n');
    // 80 characters of 240 bytes: the CIFS limit counts characters.
    std::string wide80;
    for (int i = 0; i < 80; ++i) wide80 += u8"\u65e5";
    // A native device's export: "/" + "QZHNAS-<UUID>-<label>", 120 characters
    // with a 76-character label. The 80-character limit is CIFS's only.
    const std::string nativeExport120 = "/QZHNAS-0f8e2a4c-1b3d-4e5f-8a9b-0c1d2e3f4a5b-" + std::string(76, 'l');
    const std::string exportOfTheBound(kMaxExportNameBytes, 'e');
    struct Case {
        const char* what;
        Protocol protocol;
        std::string evs;
        std::string name;
        std::string fs;
        std::string path;
        Outcome outcome;
    } cases[] = {
        {"cifs clone path, doubled backslashes", Protocol::Cifs, "1", "QZHNAS-u1-data-QZShare", fs1,
         "\\\\~snapshot\\\\QZHNAS-u1-fs1\\\\data", Outcome::Ok},
        {"hidden cifs share", Protocol::Cifs, "1", "QZHNAS-u1-data-QZShare$", fs1,
         "\\~snapshot\\QZHNAS-u1-fs1", Outcome::Ok},
        {"nfs clone path", Protocol::Nfs, "1", "/QZHNAS-u1-exp1-QZShare", fs1,
         "/.snapshot/QZHNAS-u1-fs1/exp1", Outcome::Ok},
        {"native root with trailing slash", Protocol::Nfs, evs1ObjectId, "/QZHNAS-u2-fs2", fs2,
         "/.snapshot/QZHNAS-u2-fs2/", Outcome::Ok},
        {"cifs name of 80", Protocol::Cifs, "1", name80, fs1, "\\~snapshot\\QZHNAS-u1-fs1", Outcome::Ok},
        {"export name of 80 plus its slash", Protocol::Nfs, "1", "/" + name80, fs1,
         "/.snapshot/QZHNAS-u1-fs1", Outcome::Ok},
        {"cifs name of 81", Protocol::Cifs, "1", name81, fs1, "\\~snapshot\\QZHNAS-u1-fs1",
         Outcome::BadRequest},
        {"cifs name of 80 three-byte characters", Protocol::Cifs, "1", wide80, fs1,
         "\\~snapshot\\QZHNAS-u1-fs1", Outcome::Ok},
        {"export name of 81", Protocol::Nfs, "1", "/" + name81, fs1, "/.snapshot/QZHNAS-u1-fs1", Outcome::Ok},
        {"native export name of 120", Protocol::Nfs, "1", nativeExport120, fs1, "/.snapshot/QZHNAS-u1-fs1/",
         Outcome::Ok},
        {"export name of the byte bound, without its slash", Protocol::Nfs, "1", "/" + exportOfTheBound, fs1,
         "/.snapshot/QZHNAS-u1-fs1", Outcome::Ok},
        {"export name one byte over the bound", Protocol::Nfs, "1", "/" + exportOfTheBound + "e", fs1,
         "/.snapshot/QZHNAS-u1-fs1", Outcome::BadRequest},
        {"cifs name of 120", Protocol::Cifs, "1", nativeExport120.substr(1) + "-QZShare", fs1,
         "\\~snapshot\\QZHNAS-u1-fs1", Outcome::BadRequest},
        {"empty name", Protocol::Cifs, "1", "", fs1, "\\~snapshot\\QZHNAS-u1-fs1", Outcome::BadRequest},
        {"export name of a lone slash", Protocol::Nfs, "1", "/", fs1, "/.snapshot/QZHNAS-u1-fs1",
         Outcome::BadRequest},
        {"cifs name with a backslash", Protocol::Cifs, "1", "a\\b", fs1, "\\~snapshot\\QZHNAS-u1-fs1",
         Outcome::BadRequest},
        {"path outside any snapshot", Protocol::Cifs, "1", "s1", fs1, "\\data", Outcome::BadRequest},
        {"snapshot of another file system", Protocol::Cifs, "1", "s2", fs1,
         "\\~snapshot\\QZHNAS-u2-fs2", Outcome::BadRequest},
        {"absent snapshot", Protocol::Nfs, "1", "/s3", fs1, "/.snapshot/QZHNAS-gone-fs1",
         Outcome::BadRequest},
        {"snapshot directory alone", Protocol::Nfs, "1", "/s4", fs1, "/.snapshot/", Outcome::BadRequest},
        {"file system of another server", Protocol::Cifs, "2", "s5", fs1,
         "\\~snapshot\\QZHNAS-u1-fs1", Outcome::BadRequest},
        {"administrative server", Protocol::Cifs, "3", "s6", fs1, "\\~snapshot\\QZHNAS-u1-fs1",
         Outcome::BadRequest},
        {"unknown server", Protocol::Cifs, "9", "s7", fs1, "\\~snapshot\\QZHNAS-u1-fs1", Outcome::NotFound},
        {"unknown file system", Protocol::Cifs, "1", "s8", "0123456789ABCDEF0123456789ABCDEF",
         "\\~snapshot\\QZHNAS-u1-fs1", Outcome::NotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t before = array.shares.size();
        const Result r = share(c.protocol, c.evs, c.name, c.fs, c.path);
        EXPECT_EQ(r.outcome, c.outcome) << r.message;
        EXPECT_EQ(array.shares.size(), before + (c.outcome == Outcome::Ok ? 1 : 0));
    }
}

// Without the strict option a share may name any directory of its file
// system: ensurePathExists creates it (its parents with it); without it the
// directory must exist, inside a snapshot as in the live file system.
TEST_F(ModelTest, SharesNameDirectoriesThatExistOrAreCreated) {
    struct Case {
        const char* what;
        const char* path;
        bool ensure;
        Outcome outcome;
    } cases[] = {
        {"the root exists", "/", false, Outcome::Ok},
        {"a missing directory", "\\non-root\\ansible", false, Outcome::BadRequest},
        {"created with ensurePathExists", "\\non-root\\ansible", true, Outcome::Ok},
        {"now it exists, in either spelling", "/non-root/ansible/", false, Outcome::Ok},
        {"and so does its parent", "/non-root", false, Outcome::Ok},
        {"a sibling does not", "/non-root/other", false, Outcome::BadRequest},
        {"inside a snapshot, a directory of the file system", "/.snapshot/QZHNAS-u1-fs1/non-root", false,
         Outcome::Ok},
        {"inside a snapshot, a missing one", "/.snapshot/QZHNAS-u1-fs1/gone", false, Outcome::BadRequest},
        {"inside a snapshot with ensurePathExists", "/.snapshot/QZHNAS-u1-fs1/gone", true, Outcome::Ok},
        {"inside an absent snapshot", "/.snapshot/QZHNAS-gone-fs1", true, Outcome::BadRequest},
        {"a relative path", "data", true, Outcome::BadRequest},
        {"a path that climbs", "/data/../etc", true, Outcome::BadRequest},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = share(Protocol::Nfs, "1", "/e" + std::to_string(++n), fs1, c.path, false, c.ensure);
        EXPECT_EQ(r.outcome, c.outcome) << r.message;
    }
    // One record: the parent exists through it.
    EXPECT_EQ(findFileSystem(array, fs1)->directories, (std::vector<std::string>{"/non-root/ansible"}));
    EXPECT_TRUE(findFileSystem(array, fs2)->directories.empty());
    // The strict simulator refuses a path outside snapshots, existing or not.
    EXPECT_EQ(share(Protocol::Cifs, "1", "strict", fs1, "\\non-root", true, true).outcome, Outcome::BadRequest);
}

// A directory is recorded once, however deep, and its record goes with the
// last share in or below it; a share above it keeps its own directory.
TEST_F(ModelTest, DirectoryRecordsCostThePathOnceAndGoWithTheLastShareThatNeedsThem) {
    auto objectIdOf = [&](const std::string& name) {
        return findShareByName(array, Protocol::Nfs, 1, name)->objectId;
    };
    auto exists = [&](const std::string& directory) { return directoryExists(*findFileSystem(array, fs1), directory); };
    std::string deep;
    for (int i = 0; i < 12000; ++i) deep += "/d";
    ASSERT_TRUE(share(Protocol::Nfs, "1", "/deep", fs1, deep, false, true).ok());
    EXPECT_EQ(findFileSystem(array, fs1)->directories, (std::vector<std::string>{deep}));
    EXPECT_TRUE(exists("/d/d") && exists(deep) && !exists(deep + "/d") && !exists("/d-d"));
    ASSERT_TRUE(deleteShare(array, Protocol::Nfs, objectIdOf("/deep")).ok());
    EXPECT_TRUE(findFileSystem(array, fs1)->directories.empty());

    ASSERT_TRUE(share(Protocol::Nfs, "1", "/low", fs1, "/a/b/c", false, true).ok());
    ASSERT_TRUE(share(Protocol::Nfs, "1", "/twin", fs1, "/a/b/c", false, false).ok());
    ASSERT_TRUE(share(Protocol::Nfs, "1", "/high", fs1, "/a/b", false, false).ok());
    // Another share on the same directory keeps the record.
    ASSERT_TRUE(deleteShare(array, Protocol::Nfs, objectIdOf("/low")).ok());
    EXPECT_TRUE(exists("/a/b/c"));
    // The last one below "/a/b" leaves "/a/b" recorded for the share on it.
    ASSERT_TRUE(deleteShare(array, Protocol::Nfs, objectIdOf("/twin")).ok());
    EXPECT_EQ(findFileSystem(array, fs1)->directories, (std::vector<std::string>{"/a/b"}));
    EXPECT_FALSE(exists("/a/b/c"));
    ASSERT_TRUE(deleteShare(array, Protocol::Nfs, objectIdOf("/high")).ok());
    EXPECT_TRUE(findFileSystem(array, fs1)->directories.empty());

    // A refused request puts a dropped record back.
    ASSERT_TRUE(share(Protocol::Nfs, "1", "/again", fs1, "/x", false, true).ok());
    ChangeRecord changes;
    startRecording(array, changes);
    ASSERT_TRUE(deleteShare(array, Protocol::Nfs, objectIdOf("/again")).ok());
    stopRecording(array);
    EXPECT_EQ(changes.droppedDirectories.size(), 1u);
    undoChanges(array, changes);
    EXPECT_EQ(findFileSystem(array, fs1)->directories, (std::vector<std::string>{"/x"}));
    EXPECT_NE(findShareByName(array, Protocol::Nfs, 1, "/again"), nullptr);
}

// Which other shares keep a deleted share's directory recorded: only those of
// its file system, outside snapshots, on it or below it; a share above it
// has its own directory recorded in its place.
TEST_F(ModelTest, ADeletedSharesDirectoryIsKeptOnlyForSharesOfItsFileSystemOnOrBelowIt) {
    struct Case {
        const char* what;
        const char* fs;      // "fs1" or "fs2": the other share's file system
        const char* path;    // the other share's path
        std::vector<std::string> left;   // fs1's records once "/a/b" is deleted
    } cases[] = {
        {"a share on the same directory", "fs1", "/a/b", {"/a/b"}},
        {"a share below it", "fs1", "/a/b/c", {"/a/b", "/a/b/c"}},
        {"a share above it", "fs1", "/a", {"/a"}},
        {"a share on a sibling whose name begins with its name", "fs1", "/a/bc", {"/a/bc"}},
        {"a share on the same directory of another file system", "fs2", "/a/b", {}},
        {"a share on the root", "fs1", "/", {}},
        {"a share inside a snapshot on the same directory", "fs1", "/.snapshot/QZHNAS-u1-fs1/a/b", {}},
    };
    const Array before = array;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        array = before;
        ASSERT_TRUE(share(Protocol::Nfs, "1", "/gone", fs1, "/a/b", false, true).ok());
        ASSERT_TRUE(share(Protocol::Nfs, "1", "/other", std::string(c.fs) == "fs1" ? fs1 : fs2, c.path, false, true).ok());
        ASSERT_TRUE(deleteShare(array, Protocol::Nfs, findShareByName(array, Protocol::Nfs, 1, "/gone")->objectId).ok());
        EXPECT_EQ(findFileSystem(array, fs1)->directories, c.left);
    }
}

TEST_F(ModelTest, ShareNamesAreUniquePerServerAndProtocol) {
    const std::string path = "\\~snapshot\\QZHNAS-u1-fs1";
    ASSERT_TRUE(share(Protocol::Cifs, "1", "Data", fs1, path).ok());
    ASSERT_TRUE(share(Protocol::Cifs, "1", "caf\xc3\xa9", fs1, path).ok());   // "café"
    ASSERT_TRUE(share(Protocol::Nfs, "1", "exp1", fs1, "/.snapshot/QZHNAS-u1-fs1").ok());
    struct Case {
        Protocol protocol;
        const char* name;
        Outcome outcome;
    } cases[] = {
        {Protocol::Cifs, "Data", Outcome::BadRequest},
        {Protocol::Cifs, "DATA", Outcome::BadRequest},   // CIFS names ignore case
        {Protocol::Cifs, "CAF\xc3\xa9", Outcome::BadRequest},
        // ... of ASCII letters only: "CAFÉ" is another name here, not on a
        // real array (array-api.md, Where the simulator still differs).
        {Protocol::Cifs, "CAF\xc3\x89", Outcome::Ok},
        {Protocol::Nfs, "/exp1", Outcome::BadRequest},   // stored as "/exp1"
        {Protocol::Nfs, "exp1", Outcome::BadRequest},
        {Protocol::Nfs, "/EXP1", Outcome::Ok},           // export names are exact
        {Protocol::Nfs, "/Data", Outcome::Ok},           // other protocol
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string p = c.protocol == Protocol::Cifs ? path : "/.snapshot/QZHNAS-u1-fs1";
        EXPECT_EQ(share(c.protocol, "1", c.name, fs1, p).outcome, c.outcome);
    }

    const Share* found = findShareByName(array, Protocol::Nfs, 1, "exp1");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->name, "/exp1");
    EXPECT_EQ(decoded(found->objectId), "1:::" + found->shareId + ":::0:::OID_$#!@%_V");
    EXPECT_NE(findShareByName(array, Protocol::Cifs, 1, "data"), nullptr);
    EXPECT_EQ(findShareByName(array, Protocol::Cifs, 2, "Data"), nullptr);

    const std::string objectId = findShareByName(array, Protocol::Cifs, 1, "Data")->objectId;
    EXPECT_EQ(deleteShare(array, Protocol::Nfs, objectId).outcome, Outcome::NotFound);
    EXPECT_TRUE(deleteShare(array, Protocol::Cifs, objectId).ok());
    EXPECT_EQ(deleteShare(array, Protocol::Cifs, objectId).outcome, Outcome::NotFound);
    EXPECT_EQ(findShareByName(array, Protocol::Cifs, 1, "Data"), nullptr);
}

TEST_F(ModelTest, RollbackDiscardsEverySnapshotOfTheFileSystem) {
    Snapshot a, b, c, other;
    ASSERT_TRUE(createSnapshot(array, fs1, "a", "QZHNAS", 200, a).ok());
    ASSERT_TRUE(createSnapshot(array, fs3, "other", "QZHNAS", 200, other).ok());
    ASSERT_TRUE(createSnapshot(array, fs1, "b", "QZHNAS", 200, b).ok());
    ASSERT_TRUE(createSnapshot(array, fs1, "c", "QZHNAS", 300, c).ok());

    // Older, newer and the one rolled back to: all of fs1's go.
    ASSERT_TRUE(rollbackSnapshot(array, b.objectId).ok());
    EXPECT_TRUE(snapshotsOf(array, fs1, "").empty());
    EXPECT_NE(findSnapshot(array, other.objectId), nullptr);
    EXPECT_NE(findSnapshotByName(array, fs2, "QZHNAS-u2-fs2"), nullptr);

    struct Case {
        const char* what;
        std::string objectId;
    } absent[] = {{"rolled back to", b.objectId}, {"older, discarded", a.objectId},
                  {"newer, discarded", c.objectId}, {"never existed", "6e6f"}, {"empty", ""}};
    for (const Case& x : absent) {
        SCOPED_TRACE(x.what);
        const size_t before = array.snapshots.size();
        EXPECT_EQ(rollbackSnapshot(array, x.objectId).outcome, Outcome::NotFound);
        EXPECT_EQ(deleteSnapshot(array, x.objectId).outcome, Outcome::NotFound);
        EXPECT_EQ(array.snapshots.size(), before);
    }
    // The file system takes new snapshots, under the old names too.
    Snapshot again;
    ASSERT_TRUE(createSnapshot(array, fs1, "a", "QZHNAS", 400, again).ok());
    EXPECT_TRUE(deleteSnapshot(array, again.objectId).ok());
}

TEST_F(ModelTest, ListsSnapshotsOfOneFileSystemByAppSearchId) {
    Snapshot s;
    ASSERT_TRUE(createSnapshot(array, fs1, "manual", "", 200, s).ok());
    ASSERT_TRUE(createSnapshot(array, fs1, "u5-fs1", "QZHNAS", 300, s).ok());
    auto names = [&](const std::string& appSearchId) {
        std::vector<std::string> out;
        for (const Snapshot& x : snapshotsOf(array, fs1, appSearchId)) out.push_back(x.displayName);
        return out;
    };
    EXPECT_EQ(names(""), (std::vector<std::string>{"QZHNAS-u1-fs1", "manual", "QZHNAS-u5-fs1"}));
    EXPECT_EQ(names("QZHNAS"), (std::vector<std::string>{"QZHNAS-u1-fs1", "QZHNAS-u5-fs1"}));
    EXPECT_TRUE(names("OTHER").empty());
}

TEST_F(ModelTest, PermissionEntriesAreNormalisedAndReplacedByName) {
    ShareRequest request;
    request.virtualServer = "1";
    request.name = "data";
    request.fileSystem = fs1;
    request.path = "\\~snapshot\\QZHNAS-u1-fs1";
    request.noDefaultSecurity = true;
    Share cifs;
    ASSERT_TRUE(createShare(array, request, cifs).ok());
    EXPECT_TRUE(cifs.authentications.empty());

    struct Case {
        const char* name;
        int32_t permission;
        Outcome outcome;
        const char* stored;
    } cases[] = {
        {"Administrators", 56, Outcome::Ok, "BUILTIN\\Administrators"},
        {"DOMAIN\\frank", 8, Outcome::Ok, "DOMAIN\\frank"},
        {"domain\\FRANK", 24, Outcome::Ok, "domain\\FRANK"},   // replaces frank's entry
        {"Everyone", 7, Outcome::Ok, "Everyone"},
        {"", 8, Outcome::BadRequest, ""},
        {"bob", 9, Outcome::BadRequest, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Authentication entry, stored;
        entry.name = c.name;
        entry.permission = c.permission;
        entry.type = "USER";
        const Result r = addAuthentication(array, cifs.objectId, entry, stored);
        EXPECT_EQ(r.outcome, c.outcome) << r.message;
        if (r.ok()) {
            EXPECT_EQ(stored.name, c.stored);
            EXPECT_EQ(stored.encodedName, hexEncode(c.stored));
        }
    }
    const Share* kept = findShareByObjectId(array, Protocol::Cifs, cifs.objectId);
    ASSERT_EQ(kept->authentications.size(), 3u);
    EXPECT_EQ(kept->authentications[1].name, "domain\\FRANK");
    EXPECT_EQ(kept->authentications[1].permission, 24);

    Authentication stored;
    EXPECT_EQ(addAuthentication(array, "6e6f", kept->authentications[0], stored).outcome, Outcome::NotFound);
    const std::string encoded = kept->authentications[0].encodedName;
    EXPECT_TRUE(deleteAuthentication(array, cifs.objectId, encoded).ok());
    EXPECT_EQ(deleteAuthentication(array, cifs.objectId, encoded).outcome, Outcome::NotFound);
    EXPECT_EQ(findShareByObjectId(array, Protocol::Cifs, cifs.objectId)->authentications.size(), 2u);
}

// An array gives a new CIFS share an Everyone entry with full control
// unless the create opts out; an export never has entries.
TEST_F(ModelTest, ANewCifsShareGetsEveryoneUnlessItsCreateOptsOut) {
    struct Case {
        const char* name;
        Protocol protocol;
        bool noDefaultSecurity;
        bool everyone;
    } cases[] = {
        {"cifs1", Protocol::Cifs, false, true},
        {"cifs2", Protocol::Cifs, true, false},
        {"/exp1", Protocol::Nfs, false, false},
        {"/exp2", Protocol::Nfs, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShareRequest request;
        request.protocol = c.protocol;
        request.virtualServer = "1";
        request.name = c.name;
        request.fileSystem = fs1;
        request.path = "/.snapshot/QZHNAS-u1-fs1";
        request.noDefaultSecurity = c.noDefaultSecurity;
        Share created;
        ASSERT_TRUE(createShare(array, request, created).ok());
        const Share* kept = findShareByObjectId(array, c.protocol, created.objectId);
        ASSERT_NE(kept, nullptr);
        if (!c.everyone) {
            EXPECT_TRUE(kept->authentications.empty());
            continue;
        }
        ASSERT_EQ(kept->authentications.size(), 1u);
        const Authentication& entry = kept->authentications[0];
        EXPECT_EQ(entry.name, "Everyone");
        EXPECT_EQ(entry.type, "WELLKNOWN");
        EXPECT_EQ(entry.permission, 56);
        EXPECT_EQ(entry.encodedName, hexEncode("Everyone"));
        // The entry can be removed like any other.
        EXPECT_TRUE(deleteAuthentication(array, created.objectId, entry.encodedName).ok());
        EXPECT_TRUE(findShareByObjectId(array, c.protocol, created.objectId)->authentications.empty());
    }
}

TEST_F(ModelTest, ChoosesTheFileServicesServerByNameThenByAddress) {
    struct Case {
        const char* arrayId;
        uint64_t expected;   // 0: none
    } cases[] = {
        {"evs1", 1}, {"192.0.2.11", 1}, {"192.0.2.20", 2}, {"evs2", 2},
        {"admin-evs", 0}, {"192.0.2.30", 0}, {"nobody", 0}, {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arrayId);
        const VirtualServer* found = virtualServerForArrayId(array, c.arrayId);
        EXPECT_EQ(found == nullptr ? 0u : found->id, c.expected);
    }
}

TEST_F(ModelTest, SeedingChecksEachObjectAgainstTheArray) {
    struct FsCase {
        const char* what;
        std::string label;
        uint64_t evs;
        std::string id;
        bool ok;
    } fsCases[] = {
        {"given ID kept in upper case", "fs4", 1, "00000000000000000000000000000abc", true},
        {"taken label", "fs1", 1, "", false},
        {"empty label", "", 1, "", false},
        {"unknown server", "fs5", 9, "", false},
        {"ID not 32 hex", "fs6", 1, "XYZ", false},
        {"taken ID", "fs7", 1, "00000000000000000000000000000ABC", false},
    };
    for (const FsCase& c : fsCases) {
        SCOPED_TRACE(c.what);
        FileSystem fs;
        fs.label = c.label;
        fs.virtualServerId = c.evs;
        fs.id = c.id;
        EXPECT_EQ(addFileSystem(array, fs).ok(), c.ok);
        if (c.ok) {
            EXPECT_EQ(fs.id, "00000000000000000000000000000ABC");
        }
    }

    Share seeded;
    seeded.protocol = Protocol::Nfs;
    seeded.name = "exp1";
    seeded.virtualServerId = 1;
    seeded.fileSystemId = "fs1";   // by label
    seeded.path = "/exp1";         // seeded shares may point anywhere
    ASSERT_TRUE(addShare(array, seeded).ok());
    EXPECT_EQ(seeded.name, "/exp1");
    EXPECT_EQ(seeded.fileSystemId, fs1);
    Share again = seeded;
    again.objectId.clear();
    EXPECT_FALSE(addShare(array, again).ok());

    Snapshot snap;
    snap.fileSystemId = "fs2";
    snap.displayName = "QZHNAS-u2-fs2";
    EXPECT_FALSE(addSnapshot(array, snap, 1).ok());   // taken on fs2
    snap.fileSystemId = "fs3";
    ASSERT_TRUE(addSnapshot(array, snap, 77).ok());
    EXPECT_EQ(snap.creationTime, 77u);
    EXPECT_EQ(snap.sequence, 3u);
    EXPECT_EQ(snap.fileSystemId, fs3);
}

TEST(StateTest, UsersSelectArraysAndStayUnique) {
    State state;
    Array a;
    a.name = "a";
    a.user = "ua";
    a.password = "pa";
    Array b = a;
    b.name = "b";
    b.user = "ub";
    ASSERT_TRUE(replaceArrays(state, {a, b}).ok());

    Array* found = nullptr;
    EXPECT_TRUE(authenticate(state, "ub", "pa", found).ok());
    EXPECT_EQ(found->name, "b");
    struct Case {
        const char* user;
        const char* password;
    } refused[] = {{"ua", "wrong"}, {"nobody", "pa"}, {"", ""}, {"ua", ""}};
    for (const Case& c : refused) {
        SCOPED_TRACE(std::string(c.user) + "/" + c.password);
        Array* none = nullptr;
        EXPECT_EQ(authenticate(state, c.user, c.password, none).outcome, Outcome::Unauthorized);
        EXPECT_EQ(none, nullptr);
    }

    // Refused at seeding: an empty password (it would let in requests that
    // send none) and control characters in the name or user (a NUL would
    // cut the name where it is stored).
    Array noPassword = a, nulName = a, controlUser = a;
    noPassword.password.clear();
    nulName.name = std::string("a\0b", 3);
    controlUser.user = "u\x1b";
    for (const Array& bad : {noPassword, nulName, controlUser}) {
        EXPECT_EQ(replaceArrays(state, {bad}).outcome, Outcome::BadRequest);
    }

    Array clash = a;
    clash.name = "c";   // a new array with a's user
    EXPECT_FALSE(replaceArrays(state, {clash}).ok());
    Array twice = a;
    EXPECT_FALSE(replaceArrays(state, {twice, twice}).ok());
    ASSERT_EQ(state.arrays.size(), 2u);

    Array renamed = a;   // the same name replaces the array
    renamed.user = "ua2";
    ASSERT_TRUE(replaceArrays(state, {renamed}).ok());
    ASSERT_EQ(state.arrays.size(), 2u);
    EXPECT_EQ(arrayForUser(state, "ua"), nullptr);
    ASSERT_NE(arrayForUser(state, "ua2"), nullptr);
}
