// The model's lookup tables: lookups stay right through creations and
// removals (which swap the last entry into the gap), through lists changed
// behind the model's back, and on copies of an array; the flat table under
// them agrees with a map through inserts and removals.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "arraysim/model/ArrayOps.h"
#include "arraysim/model/ArraySeed.h"
#include "arraysim/model/KeyTable.h"

using namespace arraymodel;

namespace {

Array seeded(int fileSystems) {
    Array array;
    array.name = "hnas1";
    array.user = "admin";
    VirtualServer evs;
    evs.id = 1;
    evs.name = "evs1";
    EXPECT_TRUE(addVirtualServer(array, evs).ok());
    for (int i = 0; i < fileSystems; ++i) {
        FileSystem fs;
        fs.label = "fs" + std::to_string(i);
        fs.virtualServerId = 1;
        EXPECT_TRUE(addFileSystem(array, fs).ok());
    }
    return array;
}

TEST(ArrayIndex, LookupsFollowCreationsAndRemovals) {
    Array array = seeded(6);
    std::vector<std::string> snapshotIds;
    std::vector<std::string> shareIds;
    for (int i = 0; i < 6; ++i) {
        const std::string fs = findFileSystemByLabel(array, "fs" + std::to_string(i))->id;
        Snapshot snap;
        ASSERT_TRUE(createSnapshot(array, fs, "u" + std::to_string(i), "QZHNAS", 100, snap).ok());
        snapshotIds.push_back(snap.objectId);
        ShareRequest request;
        request.virtualServer = "1";
        request.name = "Share" + std::to_string(i);
        request.fileSystem = fs;
        request.path = "\\~snapshot\\" + snap.displayName;
        Share share;
        ASSERT_TRUE(createShare(array, request, share).ok());
        shareIds.push_back(share.objectId);
    }
    // Remove from the front, the middle and the back.
    for (int gone : {0, 3, 5}) {
        ASSERT_TRUE(deleteShare(array, Protocol::Cifs, shareIds[gone]).ok());
        ASSERT_TRUE(deleteSnapshot(array, snapshotIds[gone]).ok());
    }
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const bool kept = i != 0 && i != 3 && i != 5;
        const std::string fs = findFileSystemByLabel(array, "fs" + std::to_string(i))->id;
        // CIFS names compare without case.
        const Share* share = findShareByName(array, Protocol::Cifs, 1, "SHARE" + std::to_string(i));
        EXPECT_EQ(kept, share != nullptr);
        if (share != nullptr) { EXPECT_EQ(shareIds[i], share->objectId); }
        EXPECT_EQ(kept, findShareByObjectId(array, Protocol::Cifs, shareIds[i]) != nullptr);
        const Snapshot* snap = findSnapshotByName(array, fs, "QZHNAS-u" + std::to_string(i));
        EXPECT_EQ(kept, snap != nullptr);
        if (snap != nullptr) { EXPECT_EQ(snapshotIds[i], snap->objectId); }
        EXPECT_EQ(kept, findSnapshot(array, snapshotIds[i]) != nullptr);
    }
    EXPECT_EQ(3u, array.shares.size());
    EXPECT_EQ(3u, array.snapshots.size());
    // A removed name may be created again; a kept one may not.
    Snapshot again;
    EXPECT_TRUE(createSnapshot(array, findFileSystemByLabel(array, "fs0")->id, "u0", "QZHNAS", 200, again).ok());
    EXPECT_EQ(6u, again.sequence);   // one above the highest left: u4's 5 (u5's 6 went with it)
    EXPECT_FALSE(createSnapshot(array, findFileSystemByLabel(array, "fs1")->id, "u1", "QZHNAS", 200, again).ok());
}

TEST(ArrayIndex, ListsChangedOutsideTheModelAreStillFound) {
    Array array = seeded(2);
    ASSERT_NE(nullptr, findFileSystemByLabel(array, "fs1"));
    FileSystem direct;
    direct.label = "direct";
    direct.id = "0123456789ABCDEF0123456789ABCDEF";
    array.fileSystems.push_back(direct);
    EXPECT_NE(nullptr, findFileSystemByLabel(array, "direct"));
    EXPECT_NE(nullptr, findFileSystem(array, "0123456789abcdef0123456789abcdef"));
    // A label changed in place is found where the table no longer points.
    array.fileSystems[0].label = "renamed";
    EXPECT_EQ(nullptr, findFileSystemByLabel(array, "fs0"));
    array.fileSystems[1].label = "fs0";
    EXPECT_EQ(&array.fileSystems[1], findFileSystemByLabel(array, "fs0"));
    // A copy has its own tables.
    const Array copy = array;
    EXPECT_EQ(&copy.fileSystems[2], findFileSystemByLabel(copy, "direct"));
}

// Random inserts and erases over a small key pool, so the table grows, its
// runs wrap around its end and erasing shifts entries back; after every step
// each key of the pool reads as in a map where the first insert wins.
TEST(KeyTable, AgreesWithAMapThroughInsertsAndErases) {
    std::mt19937_64 random(7);
    std::vector<uint64_t> pool;
    for (int i = 0; i < 120; ++i) pool.push_back(random());
    KeyTable table;
    std::map<uint64_t, size_t> expected;
    for (size_t step = 0; step < 6000; ++step) {
        const uint64_t key = pool[random() % pool.size()];
        if (random() % 5 < 3) {
            table.insert(key, step);
            expected.emplace(key, step);
        } else {
            table.erase(key);
            expected.erase(key);
        }
        ASSERT_EQ(expected.size(), table.size()) << "step " << step;
        for (uint64_t k : pool) {
            const auto want = expected.find(k);
            const size_t* got = table.find(k);
            ASSERT_EQ(want != expected.end(), got != nullptr) << "step " << step;
            if (got != nullptr) {
                ASSERT_EQ(want->second, *got) << "step " << step;
            }
        }
    }
}

TEST(KeyTable, AHashOfZeroSharesTheEntryOfOne) {
    KeyTable table;
    EXPECT_EQ(nullptr, table.find(0));
    table.insert(0, 4);
    table.insert(1, 9);   // the same entry: the first position stays
    ASSERT_NE(nullptr, table.find(1));
    EXPECT_EQ(4u, *table.find(1));
    table.erase(1);
    EXPECT_EQ(nullptr, table.find(0));
}

}  // namespace
