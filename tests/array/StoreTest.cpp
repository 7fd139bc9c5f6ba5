// The simulator's layers below HTTP: the JSON forms, the state file and the
// fault table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arraysim/server/FaultTable.h"
#include "arraysim/store/SqliteStore.h"
#include "arraysim/store/StateJson.h"
#include "tests/array/SimProcess.h"

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

TEST(SqliteStoreTest, WhatIsSavedIsWhatANewStoreLoads) {
    simtest::TempDir dir;
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
        ASSERT_TRUE(store->saveArray(second, error)) << error;
        state.arrays.push_back(second);
        state.arrays[0].snapshots.pop_back();
        ASSERT_TRUE(store->saveArray(state.arrays[0], error)) << error;
    }
    auto reopened = arraysim::SqliteStore::open(path, error);
    ASSERT_NE(reopened, nullptr) << error;
    arraymodel::State loaded;
    ASSERT_TRUE(reopened->load(1, loaded, error)) << error;
    EXPECT_EQ(arraysim::stateToJson(loaded), arraysim::stateToJson(state));

    ASSERT_TRUE(reopened->replaceAll(arraymodel::State{}, error)) << error;
    ASSERT_TRUE(reopened->load(1, loaded, error));
    EXPECT_TRUE(loaded.arrays.empty());

    EXPECT_EQ(arraysim::SqliteStore::open(dir.file("no/such/dir/state.db"), error), nullptr);
    EXPECT_FALSE(error.empty());
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
