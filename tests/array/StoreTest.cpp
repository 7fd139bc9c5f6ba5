// The simulator's layers below HTTP: the JSON forms, the state file and the
// fault table.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "arraysim/model/ArrayOps.h"
#include "arraysim/model/ChangeRecord.h"
#include "arraysim/model/ObjectIds.h"
#include "arraysim/server/FaultTable.h"
#include "arraysim/store/SqliteStore.h"
#include "arraysim/server/StateJson.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TestCertificates.h"

using arraysim::Json;

namespace {

const char kSeed[] = R"({"arrays": [{"name": "hnas1", "user": "u", "password": "p",
  "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["192.0.2.10"]}],
  "filesystems": [{"label": "fs1", "virtualServerId": 1}],
  "shares": [{"protocol": "CIFS", "name": "data", "virtualServerId": 1, "filesystem": "fs1", "path": "\\data",
              "settings": {"isABEEnabled": true}, "authentications": [{"name": "Users", "permission": 8}]}],
  "snapshots": [{"filesystem": "fs1", "displayName": "QZHNAS-a-fs1", "appSearchId": "QZHNAS"},
                {"filesystem": "fs1", "displayName": "QZHNAS-b-fs1", "appSearchId": "QZHNAS", "creationTime": 5}]}]})";

arraymodel::State seeded() {
    arraymodel::State state;
    std::string error;
    EXPECT_TRUE(arraysim::arraysFromJson(Json::parse(kSeed), 100, state.arrays, error)) << error;
    return state;
}

}  // namespace

TEST(StateJsonTest, TheStateFormReadsBackToTheSameState) {
    const arraymodel::State state = seeded();
    ASSERT_EQ(state.arrays.size(), 1u);
    const arraymodel::Array& a = state.arrays[0];
    EXPECT_EQ(a.shares[0].authentications[0].name, "BUILTIN\\Users");
    EXPECT_TRUE(a.shares[0].settings.abeEnabled);
    EXPECT_EQ(a.snapshots[0].creationTime, 100u);
    EXPECT_EQ(a.snapshots[1].creationTime, 5u);
    EXPECT_EQ(a.snapshots[1].sequence, 2u);

    const Json first = arraysim::stateToJson(state);
    arraymodel::State again;
    std::string error;
    ASSERT_TRUE(arraysim::arraysFromJson(first, 999, again.arrays, error)) << error;
    EXPECT_EQ(arraysim::stateToJson(again), first);
}

TEST(StateJsonTest, ABadSeedIsRefusedWithTheValueNamed) {
    struct Case {
        const char* seed;
        const char* named;
    } cases[] = {
        {R"({"arrays": [{"name": "a", "password": "p"}]})", "user"},
        {R"({"arrays": [{"name": "a", "user": "u", "password": "p", "virtualServers": [{"virtualServerId": -1}]}]})",
         "virtualServerId"},
        {R"({"arrays": [{"name": "a", "user": "u", "password": "p", "virtualServers": [{"virtualServerId": 1}],
             "shares": [{"protocol": "SMB", "name": "s", "virtualServerId": 1, "filesystem": "f", "path": "/"}]}]})",
         "protocol"},
        {R"({"arrays": [{"name": "a", "user": "u", "password": "p", "virtualServers": [{"virtualServerId": 1}],
             "shares": [{"protocol": "NFS", "name": "s", "virtualServerId": 1, "filesystem": "nofs", "path": "/"}]}]})",
         "no such file system"},
        {R"({"arrays": [{"name": "a", "user": "u", "password": "p", "virtualServers": [{"virtualServerId": 1}],
             "filesystems": [{"label": "f", "virtualServerId": 1}],
             "shares": [{"protocol": "NFS", "name": "s", "virtualServerId": 1, "filesystem": "f", "path": "/",
                         "settings": {"maxConcurrentUsers": "many"}}]}]})",
         "maxConcurrentUsers"},
        {R"({"arrays": {}})", "arrays"},
        {R"([])", "arrays"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed);
        std::vector<arraymodel::Array> arrays;
        std::string error;
        EXPECT_FALSE(arraysim::arraysFromJson(Json::parse(c.seed), 1, arrays, error));
        EXPECT_NE(error.find(c.named), std::string::npos) << error;
        EXPECT_TRUE(arrays.empty());
    }
}

namespace {

using arraymodel::ChangeRecord;

// The snapshot "QZHNAS-<name>" on fs1 and a CIFS share over it, each
// created under a recording that is then saved.
struct Changer {
    arraymodel::Array& array;
    arraysim::SqliteStore* store;

    template <typename Change>
    bool apply(Change change) {
        ChangeRecord record;
        arraymodel::startRecording(array, record);
        const bool done = change();
        arraymodel::stopRecording(array);
        std::string error;
        if (done && store->saveChanges(array, record, error)) return true;
        arraymodel::undoChanges(array, record);
        return false;
    }
    bool snapshot(const std::string& name, std::string* objectId = nullptr) {
        return apply([&] {
            arraymodel::Snapshot created;
            const bool ok = arraymodel::createSnapshot(array, array.fileSystems[0].id, name, "QZHNAS", 7, created).ok();
            if (objectId != nullptr) *objectId = created.objectId;
            return ok;
        });
    }
    bool share(const std::string& name, const std::string& snapshot, std::string* objectId) {
        return apply([&] {
            arraymodel::ShareRequest request;
            request.virtualServer = "1";
            request.name = name;
            request.fileSystem = array.fileSystems[0].id;
            request.path = "\\~snapshot\\QZHNAS-" + snapshot;
            arraymodel::Share created;
            arraymodel::Authentication entry, kept;
            entry.name = "Administrators";
            entry.permission = 56;
            const bool ok = arraymodel::createShare(array, request, created).ok() &&
                            arraymodel::addAuthentication(array, created.objectId, entry, kept).ok();
            *objectId = created.objectId;
            return ok;
        });
    }
};

arraymodel::State loadFrom(const std::string& path) {
    std::string error;
    arraymodel::State loaded;
    auto store = arraysim::SqliteStore::open(path, error);
    EXPECT_NE(store, nullptr) << error;
    if (store != nullptr) {
        EXPECT_TRUE(store->load(loaded, error)) << error;
    }
    return loaded;
}

}  // namespace

TEST(SqliteStoreTest, EachSavedChangeIsWhatANewStoreLoads) {
    testsupport::TempDirectory dir;
    const std::string path = dir.file("state.db");
    arraymodel::State state = seeded();
    std::string error;
    {
        auto store = arraysim::SqliteStore::open(path, error);
        ASSERT_NE(store, nullptr) << error;
        ASSERT_TRUE(store->replaceAll(state, error)) << error;
        arraymodel::Array second = state.arrays[0];
        second.name = "hnas2";
        second.user = "u2";
        ASSERT_TRUE(store->saveArrays({second}, error)) << error;
        state.arrays.push_back(second);

        // Creations, permission edits, removals that move the last entry
        // into the gap, and a roll-back that removes several snapshots.
        Changer c{state.arrays[0], store.get()};
        std::string first, share1, share2, share3, last;
        ASSERT_TRUE(c.snapshot("s1", &first));
        ASSERT_TRUE(c.share("S1", "s1", &share1));
        ASSERT_TRUE(c.snapshot("s2"));
        ASSERT_TRUE(c.share("S2", "s2", &share2));
        ASSERT_TRUE(c.share("S3", "s2", &share3));
        ASSERT_TRUE(c.snapshot("s3", &last));
        ASSERT_TRUE(c.snapshot("s4"));
        ASSERT_TRUE(c.apply([&] { return arraymodel::deleteShare(c.array, arraymodel::Protocol::Cifs, share1).ok(); }));
        ASSERT_TRUE(c.apply([&] { return arraymodel::deleteSnapshot(c.array, last).ok(); }));
        ASSERT_TRUE(c.apply([&] {
            return arraymodel::deleteAuthentication(c.array, share3, arraymodel::hexEncode("BUILTIN\\Administrators")).ok();
        }));
        ASSERT_TRUE(c.apply([&] { return arraymodel::rollbackSnapshot(c.array, first).ok(); }));
        ASSERT_TRUE(state.arrays[0].snapshots.empty());   // every snapshot of fs1, the seeded two included
    }
    EXPECT_EQ(arraysim::stateToJson(loadFrom(path)), arraysim::stateToJson(state));

    {
        auto store = arraysim::SqliteStore::open(path, error);
        ASSERT_NE(store, nullptr) << error;
        ASSERT_TRUE(store->replaceAll(arraymodel::State{}, error)) << error;
    }
    EXPECT_TRUE(loadFrom(path).arrays.empty());
    EXPECT_EQ(arraysim::SqliteStore::open(dir.file("no/such/dir/state.db"), error), nullptr);
    EXPECT_FALSE(error.empty());
}

// A deleted snapshot that stays listed: its state and the lists it has left
// are saved with each delete and each list call.
TEST(SqliteStoreTest, PendingDeletionsAreSaved) {
    testsupport::TempDirectory dir;
    const std::string path = dir.file("state.db");
    arraymodel::State state = seeded();
    arraymodel::Array& array = state.arrays[0];
    array.deletePendingLists = 2;
    const std::string fs = array.fileSystems[0].id;
    const std::string gone = array.snapshots[0].objectId;
    std::string error;
    // Each step is one change saved by a store that is then closed (the file
    // is held by one store at a time) and compared with what a new one loads.
    auto step = [&](const std::function<bool(arraymodel::Array&)>& change) {
        auto store = arraysim::SqliteStore::open(path, error);
        if (store == nullptr) return false;
        Changer c{array, store.get()};
        return c.apply([&] { return change(c.array); });
    };
    {
        auto store = arraysim::SqliteStore::open(path, error);
        ASSERT_NE(store, nullptr) << error;
        ASSERT_TRUE(store->replaceAll(state, error)) << error;
    }
    ASSERT_TRUE(step([&](arraymodel::Array& a) { return arraymodel::deleteSnapshot(a, gone).ok(); })) << error;
    ASSERT_EQ(arraymodel::findSnapshot(array, gone)->state, "SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING");
    EXPECT_EQ(arraysim::stateToJson(loadFrom(path)), arraysim::stateToJson(state));
    // Each list that shows it counts; the second is its last.
    for (size_t listed : {2u, 2u, 1u}) {
        ASSERT_TRUE(step([&](arraymodel::Array& a) {
            bool changed = false;
            return arraymodel::listSnapshots(a, fs, "", changed).size() == listed;
        })) << error;
        EXPECT_EQ(arraysim::stateToJson(loadFrom(path)), arraysim::stateToJson(state));
    }
    EXPECT_EQ(arraymodel::findSnapshot(array, gone), nullptr);
    ASSERT_TRUE(step([&](arraymodel::Array& a) { return arraymodel::deleteSnapshot(a, a.snapshots[0].objectId).ok(); }));
    EXPECT_EQ(arraysim::stateToJson(loadFrom(path)), arraysim::stateToJson(state));
}

TEST(SqliteStoreTest, AChangeThatCannotBeWrittenLeavesMemoryAndFileAsTheyWere) {
    testsupport::TempDirectory dir;
    const std::string path = dir.file("state.db");
    arraymodel::State state = seeded();
    std::string error;
    Json before;
    {
        auto store = arraysim::SqliteStore::open(path, error);
        ASSERT_NE(store, nullptr) << error;
        ASSERT_TRUE(store->replaceAll(state, error)) << error;
        ASSERT_TRUE(store->limitSize(1, error)) << error;   // a full disk: no page may be added
        Changer c{state.arrays[0], store.get()};
        // Writes fit into free space of the pages already there until they do not.
        std::string share;
        bool refused = false;
        for (int i = 0; i < 1000 && !refused; ++i) {
            const std::string name = std::string(200, 'x') + std::to_string(i);
            before = arraysim::stateToJson(state);
            refused = !c.snapshot(name);
            if (refused) break;
            before = arraysim::stateToJson(state);
            refused = !c.share("S" + std::to_string(i), name, &share);
        }
        ASSERT_TRUE(refused);
        EXPECT_EQ(arraysim::stateToJson(state), before);
        // Lookups agree with the lists put back.
        for (const arraymodel::Snapshot& s : state.arrays[0].snapshots) {
            EXPECT_EQ(arraymodel::findSnapshot(state.arrays[0], s.objectId), &s);
        }
    }
    EXPECT_EQ(arraysim::stateToJson(loadFrom(path)), before);
}

TEST(SqliteStoreTest, TheFileIsPrivateAndHeldByOneSimulator) {
    testsupport::TempDirectory dir;
    const std::string path = dir.file("state.db");
    std::string error;
    auto store = arraysim::SqliteStore::open(path, error);
    ASSERT_NE(store, nullptr) << error;
    ASSERT_TRUE(store->replaceAll(seeded(), error)) << error;
    for (const std::string& file : {path, path + "-wal", path + "-shm"}) {
        struct stat info {};
        ASSERT_EQ(stat(file.c_str(), &info), 0) << file;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    }
    EXPECT_EQ(arraysim::SqliteStore::open(path, error), nullptr);
    EXPECT_NE(error.find("is in use by another hnas-arraysim"), std::string::npos) << error;
    store.reset();
    EXPECT_NE(arraysim::SqliteStore::open(path, error), nullptr) << error;
}

// A file of another schema version (the one-row-per-array JSON form, a
// version without later columns, a newer one) is refused with the command
// that seeds a fresh one, by the store and by the simulator (exit status 2),
// and left as it was.
TEST(SqliteStoreTest, AFileOfAnotherSchemaVersionIsRefusedWithTheCommandToSeed) {
    struct Case {
        const char* what;
        const char* sql;
        int version;
    } cases[] = {
        {"one row per array", "CREATE TABLE arrays(seq INTEGER PRIMARY KEY, name TEXT, body TEXT);", 0},
        {"version 3", "CREATE TABLE arrays(array_id INTEGER PRIMARY KEY, name TEXT); PRAGMA user_version=3;", 3},
        {"newer", "CREATE TABLE later(x); PRAGMA user_version=7;", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDirectory dir;
        const std::string path = dir.file("state.db");
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, c.sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
        const std::string refusal = arraysim::staleFileMessage(path, c.version);
        EXPECT_NE(refusal.find("--seed"), std::string::npos) << refusal;
        std::string error;
        EXPECT_EQ(arraysim::SqliteStore::open(path, error), nullptr);
        EXPECT_EQ(error, refusal);
        std::string out, err;
        const std::string certs = testsupport::certDir();
        EXPECT_EQ(testsupport::runSimulatorOnce({"--cert", certs + "/server.pem", "--key", certs + "/server.key",
                                                 "--port", "0", "--state", path},
                                                out, err),
                  2);
        EXPECT_EQ(err, "hnas-arraysim: " + refusal + "\n");
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        sqlite3_stmt* version = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA user_version;", -1, &version, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(version, 0), c.version);
        sqlite3_finalize(version);
        sqlite3_close(db);
    }
}

TEST(ChangeRecordTest, UndoPutsBackEveryTouchedSlot) {
    arraymodel::State state = seeded();
    arraymodel::Array& a = state.arrays[0];
    const Json before = arraysim::stateToJson(state);
    ChangeRecord record;
    arraymodel::startRecording(a, record);
    arraymodel::Snapshot snap;
    ASSERT_TRUE(arraymodel::createSnapshot(a, a.fileSystems[0].id, "n", "QZHNAS", 9, snap).ok());
    ASSERT_TRUE(arraymodel::deleteSnapshot(a, a.snapshots[0].objectId).ok());
    ASSERT_TRUE(arraymodel::deleteShare(a, arraymodel::Protocol::Cifs, a.shares[0].objectId).ok());
    ASSERT_TRUE(arraymodel::rollbackSnapshot(a, snap.objectId).ok());
    arraymodel::stopRecording(a);
    EXPECT_EQ(record.snapshots.size(), 3u);   // every slot: the roll-back removed what was left
    arraymodel::undoChanges(a, record);
    EXPECT_EQ(arraysim::stateToJson(state), before);
    EXPECT_EQ(arraymodel::findSnapshot(a, snap.objectId), nullptr);
    EXPECT_EQ(arraymodel::findShareByName(a, arraymodel::Protocol::Cifs, 1, "DATA"), &a.shares[0]);
    EXPECT_EQ(arraymodel::snapshotsOf(a, a.fileSystems[0].id, "").size(), 2u);
}

TEST(FaultTableTest, TakesFaultsInOrderAfterTheirLetThroughCalls) {
    using arraysim::Fault;
    using arraysim::FaultAction;
    arraysim::FaultTable table;
    table.add(Fault{"createSnapshot", FaultAction::Status, 2, 1, 503, 0});
    table.add(Fault{"*", FaultAction::Latency, 1, 0, 0, 250});
    table.add(Fault{"createSnapshot", FaultAction::Close, 1, 0, 0, 0});

    struct Step {
        const char* operation;
        FaultAction action;
        int status;
        int latencyMs;
    } steps[] = {
        {"listFileSystems", FaultAction::None, 0, 250},   // only the latency matches
        {"createSnapshot", FaultAction::Close, 0, 0},     // the 503 lets this one through
        {"createSnapshot", FaultAction::Status, 503, 0},
        {"createSnapshot", FaultAction::Status, 503, 0},
        {"createSnapshot", FaultAction::None, 0, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.operation);
        const arraysim::FaultDecision d = table.take(s.operation);
        EXPECT_EQ(d.action, s.action);
        EXPECT_EQ(d.status, s.status);
        EXPECT_EQ(d.latencyMs, s.latencyMs);
    }
    EXPECT_TRUE(table.faults().empty());
    EXPECT_TRUE(arraysim::isFaultOperation("rollbackSnapshot"));
    EXPECT_FALSE(arraysim::isFaultOperation("createFileSystemSnapshot"));
}

// A fault with a matching text meets only the requests that hold it, and
// lets through (after) only those: one request of several sent at once.
TEST(FaultTableTest, AMatchingFaultHitsOnlyTheRequestsThatHoldItsText) {
    arraysim::Fault fault;
    fault.operation = "createSnapshot";
    fault.after = 1;
    fault.matching = "-fb\"";
    arraysim::FaultTable table;
    table.add(fault);
    const std::string fa = "/v7/storage/filesystem-snapshots?\n{\"displayName\":\"u1-fa\"}";
    const std::string fb = "/v7/storage/filesystem-snapshots?\n{\"displayName\":\"u1-fb\"}";
    EXPECT_EQ(arraysim::FaultAction::None, table.take("createSnapshot", fa).action);
    EXPECT_EQ(arraysim::FaultAction::None, table.take("createSnapshot", fb).action);   // let through
    EXPECT_EQ(arraysim::FaultAction::None, table.take("createSnapshot", fa).action);
    EXPECT_EQ(arraysim::FaultAction::None, table.take("listSnapshots", fb).action);
    EXPECT_EQ(arraysim::FaultAction::Status, table.take("createSnapshot", fb).action);
    EXPECT_TRUE(table.faults().empty());
}
