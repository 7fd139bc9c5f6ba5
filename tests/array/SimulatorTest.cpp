// hnas-arraysim over loopback HTTPS: authentication, every resource, the
// refusals, the admin interface and its faults, and the state file across a
// restart and a SIGKILL.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "arraysim/model/ArrayOps.h"
#include "arraysim/model/ModelMessages.h"
#include "arraysim/model/ObjectIds.h"
#include "arraysim/server/JsonValues.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDirectory.h"

using arraysim::Json;

namespace {

const char kToken[] = "admin-secret";

// hnas1 (supervisor/pw1): evs1 with fs1 and fs2, evs2 with fs3; the CIFS
// share "data" and the export "/exp1" on fs1. hnas2 (other/pw2): evs9 with fs9.
const char kSeed[] = R"json({"arrays": [
  {"name": "hnas1", "user": "supervisor", "password": "pw1",
   "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["192.0.2.10"]},
                      {"virtualServerId": 2, "name": "evs2", "ipAddresses": ["192.0.2.20"]}],
   "filesystems": [{"label": "fs1", "virtualServerId": 1, "capacity": 1000},
                   {"label": "fs2", "virtualServerId": 1},
                   {"label": "fs3", "virtualServerId": 2}],
   "shares": [{"protocol": "CIFS", "name": "data", "virtualServerId": 1, "filesystem": "fs1",
               "path": "\\data", "settings": {"comment": "team", "maxConcurrentUsers": -1},
               "authentications": [{"name": "Administrators", "permission": 56, "type": "GROUP"}]},
              {"protocol": "NFS", "name": "exp1", "virtualServerId": 1, "filesystem": "fs1",
               "path": "/exp1", "settings": {"accessConfig": "*(rw)"}}]},
  {"name": "hnas2", "user": "other", "password": "pw2",
   "virtualServers": [{"virtualServerId": 9, "name": "evs9", "ipAddresses": ["192.0.2.90"]}],
   "filesystems": [{"label": "fs9", "virtualServerId": 9}]}]})json";

struct Reply {
    int status = 0;   // 0: no answer (connection closed, time-out)
    Json body;
};

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::writeFile(dir.file("seed.json"), kSeed);
        ASSERT_TRUE(startSim());
        fs1 = fileSystemId("fs1");
        ASSERT_EQ(fs1.size(), 32u);
    }

    bool startSim() {
        return testsupport::startSim(
            sim, {"--state", dir.file("state.db"), "--seed", dir.file("seed.json"), "--admin-token", kToken});
    }

    static Reply reply(const simkit::HttpAnswer& r) {
        Reply out;
        if (!r) return out;
        out.status = r.status;
        if (!r.body.empty()) arraysim::parseJson(r.body, out.body);
        return out;
    }

    Reply send(const std::string& method, const std::string& path, const std::string& body,
               const simkit::HttpHeaders& headers) {
        simkit::SimClient client = sim.client();
        if (method == "GET") return reply(client.get(path, headers));
        if (method == "DELETE") return reply(client.del(path, headers));
        if (method == "PATCH") return reply(client.patch(path, headers, body));
        return reply(client.post(path, headers, body));
    }

    // A storage call as hnas1's user, e.g. call("GET", "filesystems").
    Reply call(const std::string& method, const std::string& resource, const std::string& body = "",
               const std::string& user = "supervisor", const std::string& password = "pw1") {
        return send(method, "/v7/storage/" + resource, body,
                    {{"X-Subsystem-User", user}, {"X-Subsystem-Password", password}, {"Accept", "application/json"}});
    }

    Reply admin(const std::string& method, const std::string& path, const std::string& body = "",
                const std::string& token = kToken) {
        return send(method, "/admin/" + path, body, {{"X-Admin-Token", token}});
    }

    std::string fileSystemId(const std::string& label) {
        const Reply r = call("GET", "filesystems?label=" + label);
        if (r.status != 200 || r.body["filesystems"].size() != 1) return "";
        return r.body["filesystems"][0]["filesystemId"].get<std::string>();
    }

    Reply createSnapshot(const std::string& fs, const std::string& name) {
        return call("POST", "filesystem-snapshots",
                    Json{{"filesystemId", fs}, {"displayName", name}, {"appSearchId", "QZHNAS"}}.dump());
    }

    Reply createShare(const std::string& protocol, const std::string& name, const std::string& path,
                      const std::string& fs) {
        return call("POST", "filesystem-shares/" + protocol,
                    Json{{"virtualServerId", 1}, {"name", name}, {"filesystemId", fs}, {"filesystemPath", path},
                         {"ensurePathExists", true}, {"settings", {{"comment", "clone"}}}}
                        .dump());
    }

    std::vector<std::string> snapshotNames(const std::string& fs) {
        std::vector<std::string> names;
        const Reply r = call("GET", "filesystem-snapshots/" + fs + "/null");
        for (const Json& s : r.body["snapshots"]) names.push_back(s["displayName"].get<std::string>());
        return names;
    }

    testsupport::TempDirectory dir;
    simkit::SimProcess sim;
    std::string fs1;
};

}  // namespace

TEST_F(SimulatorTest, EachArrayAnswersOnlyToItsOwnCredentials) {
    struct Case {
        const char* user;
        const char* password;
        int status;
        const char* server;   // the server the answer lists
    } cases[] = {
        {"supervisor", "pw1", 200, "evs1"},
        {"other", "pw2", 200, "evs9"},
        {"supervisor", "pw2", 401, ""},
        {"other", "pw1", 401, ""},
        {"nobody", "pw1", 401, ""},
        {"", "", 401, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.user) + "/" + c.password);
        const Reply r = call("GET", "virtual-servers", "", c.user, c.password);
        EXPECT_EQ(r.status, c.status);
        if (c.status == 200) {
            EXPECT_EQ(r.body["virtualServers"][0]["name"], c.server);
        } else {
            EXPECT_TRUE(r.body["errorMsg"].is_string());
        }
    }
    const Reply bare = send("GET", "/v7/storage/filesystems", "", {});
    EXPECT_EQ(bare.status, 401);
}

// X-Api-Key selects the array in place of the user and password; a
// read-only key reads and is refused every change with 403. Keys are not
// in the call record, and they stay across a restart.
TEST_F(SimulatorTest, ApiKeysSelectTheArrayAndAReadOnlyKeyOnlyReads) {
    Json state = admin("GET", "state").body;
    state["arrays"][0]["apiKeys"] = Json::parse(R"([{"key":"key-rw-1"},{"key":"key-ro-1","readOnly":true}])");
    state["arrays"][1]["apiKeys"] = Json::parse(R"([{"key":"key-rw-2","readOnly":false}])");
    ASSERT_EQ(admin("POST", "seed", state.dump()).status, 200);
    auto withKey = [&](const std::string& method, const std::string& resource, const std::string& key,
                       const std::string& body = "") {
        return send(method, "/v7/storage/" + resource, body, {{"X-Api-Key", key}});
    };
    struct Case {
        const char* key;
        int status;
        const char* server;
    } cases[] = {{"key-rw-1", 200, "evs1"}, {"key-ro-1", 200, "evs1"}, {"key-rw-2", 200, "evs9"},
                 {"key-rw-3", 401, ""}, {"KEY-RW-1", 401, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const Reply r = withKey("GET", "virtual-servers", c.key);
        EXPECT_EQ(r.status, c.status);
        if (c.status == 200) {
            EXPECT_EQ(r.body["virtualServers"][0]["name"], c.server);
        }
    }
    // The key decides, whatever user and password come with it.
    EXPECT_EQ(send("GET", "/v7/storage/virtual-servers", "",
                   {{"X-Api-Key", "key-rw-3"}, {"X-Subsystem-User", "supervisor"}, {"X-Subsystem-Password", "pw1"}})
                  .status,
              401);

    const Json snapshot = {{"filesystemId", fs1}, {"displayName", "k1"}, {"appSearchId", "QZHNAS"}};
    EXPECT_EQ(withKey("POST", "filesystem-snapshots", "key-ro-1", snapshot.dump()).status, 403);
    const Reply made = withKey("POST", "filesystem-snapshots", "key-rw-1", snapshot.dump());
    ASSERT_EQ(made.status, 201);
    const std::string id = made.body["snapshot"]["objectId"];
    const std::string share = call("GET", "virtual-servers/1/cifs?name=data").body["filesystemShares"][0]["objectId"];
    for (const auto& change : std::vector<std::pair<std::string, std::string>>{
             {"DELETE", "filesystem-snapshots/" + id},
             {"POST", "filesystem-snapshots/" + id + "/rollback"},
             {"DELETE", "filesystem-shares/cifs/" + share},
             {"POST", "filesystem-shares/cifs/" + share + "/authentications"}}) {
        SCOPED_TRACE(change.first + " " + change.second);
        const Reply r = withKey(change.first, change.second, "key-ro-1", R"({"cifsAuthentications":[]})");
        EXPECT_EQ(r.status, 403);
        EXPECT_EQ(r.body["errorMsg"], "the API key is read-only");
    }
    EXPECT_EQ(snapshotNames(fs1), (std::vector<std::string>{"QZHNAS-k1"}));
    EXPECT_EQ(call("GET", "virtual-servers/1/cifs?name=data").body["filesystemShares"].size(), 1u);

    const std::string calls = admin("GET", "calls").body.dump();
    EXPECT_EQ(calls.find("key-r"), std::string::npos);
    EXPECT_NE(calls.find("supervisor"), std::string::npos);

    // Keys are unique across arrays and never empty.
    Json clash = state;
    clash["arrays"][1]["apiKeys"] = Json::parse(R"([{"key":"key-ro-1"}])");
    EXPECT_EQ(admin("POST", "seed", clash.dump()).status, 400);
    clash["arrays"][1]["apiKeys"] = Json::parse(R"([{"key":""}])");
    EXPECT_EQ(admin("POST", "seed", clash.dump()).status, 400);
    clash["arrays"][1]["apiKeys"] = Json::parse(R"([{"key":"k","readOnly":"yes"}])");
    EXPECT_EQ(admin("POST", "seed", clash.dump()).status, 400);

    sim.stop();
    ASSERT_TRUE(startSim());
    EXPECT_EQ(withKey("GET", "virtual-servers", "key-rw-2").body["virtualServers"][0]["name"], "evs9");
    EXPECT_EQ(withKey("DELETE", "filesystem-snapshots/" + id, "key-ro-1").status, 403);
}

TEST_F(SimulatorTest, ServesServersFileSystemsSharesAndPermissions) {
    Reply r = call("GET", "virtual-servers?name=evs2");
    ASSERT_EQ(r.status, 200);
    ASSERT_EQ(r.body["virtualServers"].size(), 1u);
    const Json evs2 = r.body["virtualServers"][0];
    EXPECT_EQ(evs2["virtualServerId"], 2);
    EXPECT_EQ(evs2["ipAddresses"], Json::array({"192.0.2.20"}));
    EXPECT_EQ(evs2["type"], "File services");
    EXPECT_EQ(evs2["objectId"], arraymodel::virtualServerObjectId(2));
    EXPECT_EQ(call("GET", "virtual-servers?name=none").body["virtualServers"].size(), 0u);

    EXPECT_EQ(call("GET", "filesystems").body["filesystems"].size(), 3u);
    EXPECT_EQ(call("GET", "filesystems?virtualServerId=2").body["filesystems"][0]["label"], "fs3");
    r = call("GET", "filesystems/" + fs1);
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.body["filesystem"]["capacity"], 1000);
    const std::string fsObjectId = r.body["filesystem"]["objectId"].get<std::string>();
    EXPECT_EQ(call("GET", "filesystems/" + fsObjectId).body["filesystem"]["label"], "fs1");
    EXPECT_EQ(call("GET", "filesystems/0123456789ABCDEF0123456789ABCDEF").status, 404);

    // Shares by the server's object ID or number; exports looked up with and without "/".
    const std::string evs1 = arraymodel::virtualServerObjectId(1);
    r = call("GET", "virtual-servers/" + evs1 + "/cifs?name=data");
    ASSERT_EQ(r.status, 200);
    ASSERT_EQ(r.body["filesystemShares"].size(), 1u);
    const Json data = r.body["filesystemShares"][0];
    EXPECT_EQ(data["path"], "\\data");
    EXPECT_EQ(data["filesystemId"], fs1);
    EXPECT_EQ(data["settings"]["comment"], "team");
    EXPECT_EQ(data["settings"]["maxConcurrentUsers"], -1);
    EXPECT_EQ(data["settings"]["transferToReplicationTargetSetting"], "DO_NOT_TRANSFER");
    EXPECT_EQ(call("GET", "virtual-servers/1/nfs?name=/exp1").body["filesystemShares"][0]["settings"]["accessConfig"],
              "*(rw)");
    EXPECT_EQ(call("GET", "virtual-servers/1/nfs?name=exp1").body["filesystemShares"].size(), 1u);
    EXPECT_EQ(call("GET", "virtual-servers/1/cifs?name=exp1").body["filesystemShares"].size(), 0u);
    EXPECT_EQ(call("GET", "virtual-servers/2/cifs").body["filesystemShares"].size(), 0u);
    EXPECT_EQ(call("GET", "virtual-servers/7/cifs").status, 404);

    const std::string auths = "filesystem-shares/cifs/" + data["objectId"].get<std::string>() + "/authentications";
    r = call("GET", auths);
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.body["cifsAuthentications"][0]["name"], "BUILTIN\\Administrators");
    EXPECT_EQ(r.body["cifsAuthentications"][0]["permission"], 56);
    r = call("POST", auths, R"({"cifsAuthentications":[{"name":"DOMAIN\\frank","permission":8,"type":"USER"}]})");
    EXPECT_EQ(r.status, 201);
    EXPECT_EQ(call("GET", auths).body["cifsAuthentications"].size(), 2u);
    // One bad entry refuses the whole request.
    r = call("POST", auths,
             R"({"cifsAuthentications":[{"name":"bob","permission":8,"type":"USER"},{"name":"eve","permission":9}]})");
    EXPECT_EQ(r.status, 400);
    EXPECT_EQ(call("GET", auths).body["cifsAuthentications"].size(), 2u);
    const std::string encoded = arraymodel::hexEncode("DOMAIN\\frank");
    EXPECT_EQ(call("DELETE", auths + "/" + encoded).status, 204);
    EXPECT_EQ(call("DELETE", auths + "/" + encoded).status, 404);
}

TEST_F(SimulatorTest, SnapshotsSharesAndRollbackOverTheWire) {
    Reply r = createSnapshot(fs1, "u1-fs1");
    ASSERT_EQ(r.status, 201);
    const Json snap = r.body["snapshot"];
    EXPECT_EQ(snap["displayName"], "QZHNAS-u1-fs1");
    EXPECT_EQ(snap["filesystemId"], fs1);
    EXPECT_EQ(snap["state"], "SNAPSHOT_MANAGEMENT_STATE_USABLE");
    // The array's own forms: the ID decodes to "<fs>:::<name>::::::0:::OID_$#!@%_V",
    // the object has no appSearchId, and the answer carries the new object's uri.
    std::string decodedId;
    ASSERT_TRUE(arraymodel::hexDecode(snap["objectId"].get<std::string>(), decodedId));
    EXPECT_EQ(decodedId, fs1 + ":::QZHNAS-u1-fs1::::::0:::OID_$#!@%_V");
    EXPECT_FALSE(snap.contains("appSearchId"));
    EXPECT_EQ(r.body["uri"], "/v7/storage/filesystem-snapshots/" + snap["objectId"].get<std::string>());
    EXPECT_GT(snap["creationTime"].get<uint64_t>(), 1600000000u);
    const std::string snapId = snap["objectId"].get<std::string>();
    EXPECT_EQ(call("GET", "filesystem-snapshots/" + snapId).body["snapshot"]["displayName"], "QZHNAS-u1-fs1");

    r = createShare("cifs", "QZHNAS-u1-data-QZShare", "\\\\~snapshot\\\\QZHNAS-u1-fs1\\\\data", fs1);
    ASSERT_EQ(r.status, 201);
    const std::string shareId = r.body["filesystemShare"]["objectId"].get<std::string>();
    EXPECT_EQ(r.body["filesystemShare"]["settings"]["comment"], "clone");
    EXPECT_EQ(r.body["uri"], "/v7/storage/filesystem-shares/cifs/" + shareId);
    r = createShare("nfs", "/QZHNAS-u1-fs1", "/.snapshot/QZHNAS-u1-fs1/", fs1);
    ASSERT_EQ(r.status, 201);
    EXPECT_EQ(call("GET", "virtual-servers/1/nfs?name=/QZHNAS-u1-fs1").body["filesystemShares"].size(), 1u);

    ASSERT_EQ(createSnapshot(fs1, "u2-fs1").status, 201);
    ASSERT_EQ(createSnapshot(fileSystemId("fs2"), "u2-fs2").status, 201);
    r = call("GET", "filesystem-snapshots/" + fs1 + "/QZHNAS");
    ASSERT_EQ(r.body["snapshots"].size(), 2u);
    EXPECT_FALSE(r.body["snapshots"][0].contains("appSearchId"));
    EXPECT_EQ(call("GET", "filesystems/" + fs1 + "/snapshots").body["snapshots"].size(), 2u);
    EXPECT_EQ(call("GET", "filesystem-snapshots/" + fs1 + "/OTHER").body["snapshots"].size(), 0u);

    EXPECT_EQ(call("DELETE", "filesystem-shares/cifs/" + shareId).status, 204);
    EXPECT_EQ(call("DELETE", "filesystem-shares/cifs/" + shareId).status, 404);
    // A completed roll-back discards every snapshot of the file system.
    EXPECT_EQ(call("POST", "filesystem-snapshots/" + snapId + "/rollback").status, 204);
    EXPECT_TRUE(snapshotNames(fs1).empty());
    EXPECT_EQ(snapshotNames(fileSystemId("fs2")), (std::vector<std::string>{"QZHNAS-u2-fs2"}));
    EXPECT_EQ(call("DELETE", "filesystem-snapshots/" + snapId).status, 404);
    EXPECT_EQ(call("POST", "filesystem-snapshots/" + snapId + "/rollback").status, 404);
    EXPECT_EQ(call("GET", "filesystem-snapshots/" + snapId).status, 404);

    // The other version prefixes serve the same paths.
    EXPECT_EQ(send("GET", "/v9/storage/filesystems/" + fs1, "",
                   {{"X-Subsystem-User", "supervisor"}, {"X-Subsystem-Password", "pw1"}})
                  .status,
              200);
}

// A new CIFS share gets the array's default entry (Everyone, full control)
// unless its create sends noDefaultSecurity true; an export gets none. With
// --ignore-no-default-security the simulator acts as an array that does not
// know the field.
TEST_F(SimulatorTest, ANewCifsShareGetsEveryoneUnlessTheCreateOptsOut) {
    ASSERT_EQ(createSnapshot(fs1, "u1-fs1").status, 201);
    auto create = [&](const std::string& protocol, const std::string& name, const Json& optOut) {
        Json body{{"virtualServerId", 1}, {"name", name}, {"filesystemId", fs1},
                  {"filesystemPath", "\\.snapshot\\QZHNAS-u1-fs1"}, {"ensurePathExists", true}};
        if (!optOut.is_null()) body["noDefaultSecurity"] = optOut;
        return call("POST", "filesystem-shares/" + protocol, body.dump());
    };
    auto entriesOf = [&](const Reply& created) {
        return call("GET", "filesystem-shares/cifs/" + created.body["filesystemShare"]["objectId"].get<std::string>() +
                               "/authentications")
            .body["cifsAuthentications"];
    };
    const Json everyone = Json::array(
        {{{"name", "Everyone"}, {"encodedName", arraymodel::hexEncode("Everyone")}, {"permission", 56}, {"type", "WELLKNOWN"}}});
    struct Case {
        const char* name;
        Json optOut;   // null: not sent
        Json entries;
    } cases[] = {
        {"plain", nullptr, everyone},
        {"opted-in", false, everyone},
        {"opted-out", true, Json::array()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Reply r = create("cifs", c.name, c.optOut);
        ASSERT_EQ(r.status, 201) << r.body.dump();
        EXPECT_EQ(entriesOf(r), c.entries);
    }
    // An export has no permission entries whatever the create sends.
    const Reply exported = create("nfs", "exp-plain", nullptr);
    ASSERT_EQ(exported.status, 201);
    const Json stateShare = admin("GET", "state").body["arrays"][0]["shares"].back();
    EXPECT_EQ(stateShare["name"], "/exp-plain");
    EXPECT_EQ(stateShare["authentications"], Json::array());
    EXPECT_EQ(create("cifs", "bad-flag", "yes").status, 400);

    sim.stop();
    ASSERT_TRUE(testsupport::startSim(
        sim, {"--state", dir.file("state.db"), "--admin-token", kToken, "--ignore-no-default-security"}));
    const Reply ignored = create("cifs", "opted-out-ignored", true);
    ASSERT_EQ(ignored.status, 201);
    EXPECT_EQ(entriesOf(ignored), everyone);
}

// The 80-character limit is the SMB share-name limit: it holds for CIFS
// share names only. An export may be named as a native device's snapshot
// is ("/QZHNAS-<UUID>-<label>"), up to the byte bound of a snapshot name.
TEST_F(SimulatorTest, TheEightyCharacterLimitHoldsForCifsNamesOnly) {
    ASSERT_EQ(createSnapshot(fs1, "u1-fs1").status, 201);
    const std::string export120 = "/QZHNAS-0f8e2a4c-1b3d-4e5f-8a9b-0c1d2e3f4a5b-" + std::string(76, 'l');
    ASSERT_EQ(export120.size(), 121u);   // 120 characters after its "/"
    Reply r = createShare("nfs", export120.substr(1), "/.snapshot/QZHNAS-u1-fs1/", fs1);
    EXPECT_EQ(r.status, 201) << r.body.dump();
    EXPECT_EQ(call("GET", "virtual-servers/1/nfs?name=" + export120).body["filesystemShares"].size(), 1u);

    r = createShare("cifs", std::string(81, 'c'), "\\.snapshot\\QZHNAS-u1-fs1", fs1);
    EXPECT_EQ(r.status, 400);
    EXPECT_EQ(r.body["errorMsg"], arraymodel::msg::kLongShareName);
    r = createShare("nfs", std::string(arraymodel::kMaxExportNameBytes + 1, 'e'), "/.snapshot/QZHNAS-u1-fs1/", fs1);
    EXPECT_EQ(r.status, 400);
    EXPECT_EQ(r.body["errorMsg"], arraymodel::msg::kLongExportName);
}

// With "deletePendingLists": 2 a deleted snapshot stays listed in
// SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING for two list calls, then goes; a
// second delete meanwhile is accepted. Without the setting it goes at once.
TEST_F(SimulatorTest, ADeletedSnapshotStaysListedForTheSetListCalls) {
    Json state = admin("GET", "state").body;
    Json hnas1 = state["arrays"][0];
    hnas1["deletePendingLists"] = 2;
    ASSERT_EQ(admin("POST", "seed", Json{{"arrays", Json::array({hnas1})}}.dump()).status, 200);
    ASSERT_EQ(createSnapshot(fs1, "u1-fs1").status, 201);
    const Reply kept = createSnapshot(fs1, "u2-fs1");
    ASSERT_EQ(kept.status, 201);
    const std::string id = call("GET", "filesystem-snapshots/" + fs1 + "/QZHNAS").body["snapshots"][0]["objectId"];

    EXPECT_EQ(call("DELETE", "filesystem-snapshots/" + id).status, 204);
    EXPECT_EQ(call("GET", "filesystem-snapshots/" + id).body["snapshot"]["state"],
              "SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING");
    EXPECT_EQ(call("DELETE", "filesystem-snapshots/" + id).status, 204);
    const std::vector<std::string> lists = {"filesystem-snapshots/" + fs1 + "/QZHNAS", "filesystems/" + fs1 + "/snapshots"};
    for (const std::string& list : lists) {
        const Reply r = call("GET", list);
        ASSERT_EQ(r.body["snapshots"].size(), 2u) << list;
        EXPECT_EQ(r.body["snapshots"][0]["state"], "SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING");
        EXPECT_EQ(r.body["snapshots"][1]["state"], "SNAPSHOT_MANAGEMENT_STATE_USABLE");
    }
    EXPECT_EQ(snapshotNames(fs1), (std::vector<std::string>{"QZHNAS-u2-fs1"}));
    EXPECT_EQ(call("DELETE", "filesystem-snapshots/" + id).status, 404);
    // A list that does not show it does not count.
    const std::string next = kept.body["snapshot"]["objectId"];
    EXPECT_EQ(call("DELETE", "filesystem-snapshots/" + next).status, 204);
    EXPECT_EQ(call("GET", "filesystem-snapshots/" + fs1 + "/OTHER").body["snapshots"].size(), 0u);
    EXPECT_EQ(admin("GET", "state").body["arrays"][0]["snapshots"][0]["pendingLists"], 2);

    EXPECT_EQ(admin("POST", "seed", R"({"arrays":[{"name":"hnas9","user":"u9","password":"p","deletePendingLists":-1}]})").status, 400);
}

// On a file system that is not mounted the list of all snapshots is empty,
// while a list filtered by appSearchId is refused; the snapshots are kept.
TEST_F(SimulatorTest, AnUnmountedFileSystemListsNoSnapshotsAndRefusesAFilteredList) {
    const std::string seed = R"({"arrays":[{"name":"hnas2","user":"other","password":"pw2",
        "virtualServers":[{"virtualServerId":9,"name":"evs9"}],
        "filesystems":[{"label":"fs9","virtualServerId":9,"status":"NOT_MOUNTED"}],
        "snapshots":[{"filesystem":"fs9","appSearchId":"QZHNAS","displayName":"QZHNAS-u1-fs9"}]}]})";
    ASSERT_EQ(admin("POST", "seed", seed).status, 200);
    const std::string fs9 = call("GET", "filesystems", "", "other", "pw2").body["filesystems"][0]["filesystemId"];
    for (const std::string& list : {"filesystem-snapshots/" + fs9 + "/null", "filesystems/" + fs9 + "/snapshots"}) {
        const Reply r = call("GET", list, "", "other", "pw2");
        EXPECT_EQ(r.status, 200) << list;
        EXPECT_EQ(r.body["snapshots"], Json::array()) << list;
    }
    const Reply filtered = call("GET", "filesystem-snapshots/" + fs9 + "/QZHNAS", "", "other", "pw2");
    EXPECT_EQ(filtered.status, 400);
    EXPECT_EQ(filtered.body["errorMsg"], "file system is not mounted");
    EXPECT_EQ(admin("GET", "state").body["arrays"][1]["snapshots"].size(), 1u);
}

// v8 and v9 quote numbers; v7 does not. Booleans and texts stay as they are.
// The connection cap is set as the v8 reference sets it, with the
// credentials of a storage call and no admin token; GET then reports it. A
// body that is not the documented object, or a cap out of range, changes
// nothing.
TEST_F(SimulatorTest, ThePatchOfTheRestAccessSetsTheConnectionCap) {
    const std::string resource = "/v8/storage/file-devices/management-access/rest";
    const simkit::HttpHeaders storage = {{"X-Subsystem-User", "supervisor"}, {"X-Subsystem-Password", "pw1"}};
    const Reply set = send("PATCH", resource, R"({"accessConfig":{"type":"rest","maxAllowedConnections":7}})", storage);
    ASSERT_EQ(200, set.status);
    EXPECT_EQ("7", set.body["accessConfig"]["maxAllowedConnections"]) << "v8 quotes numbers";
    Reply read = send("GET", resource, "", storage);
    ASSERT_EQ(200, read.status);
    EXPECT_EQ("7", read.body["accessConfig"]["maxAllowedConnections"]);
    EXPECT_EQ("rest", read.body["accessConfig"]["type"]);

    const struct {
        const char* body;
        int status;
    } refused[] = {
        {R"({"maxAllowedConnections":9})", 400},                                    // not inside accessConfig
        {R"({"accessConfig":{"type":"ssh","maxAllowedConnections":9}})", 400},      // another kind of access
        {R"({"accessConfig":{"maxAllowedConnections":0}})", 400},
        {R"({"accessConfig":{"maxAllowedConnections":513}})", 400},                 // past maxSupportedConnections
    };
    for (const auto& r : refused) EXPECT_EQ(r.status, send("PATCH", resource, r.body, storage).status) << r.body;
    EXPECT_EQ(401, send("PATCH", resource, R"({"accessConfig":{"maxAllowedConnections":9}})",
                        {{"X-Subsystem-User", "supervisor"}, {"X-Subsystem-Password", "wrong"}})
                       .status);
    read = send("GET", resource, "", storage);
    EXPECT_EQ("7", read.body["accessConfig"]["maxAllowedConnections"]);
}

TEST_F(SimulatorTest, TheV8AndV9PathsAnswerNumbersQuoted) {
    const simkit::HttpHeaders login = {{"X-Subsystem-User", "supervisor"}, {"X-Subsystem-Password", "pw1"}};
    EXPECT_EQ(call("GET", "filesystems/" + fs1).body["filesystem"]["capacity"], 1000);
    for (const std::string version : {"v8", "v9"}) {
        SCOPED_TRACE(version);
        const std::string base = "/" + version + "/storage/";
        const Json fs = send("GET", base + "filesystems/" + fs1, "", login).body["filesystem"];
        EXPECT_EQ(fs["capacity"], "1000");
        EXPECT_EQ(fs["virtualServerId"], "1");
        const Json server = send("GET", base + "virtual-servers?name=evs1", "", login).body["virtualServers"][0];
        EXPECT_EQ(server["virtualServerId"], "1");
        EXPECT_EQ(server["isEnabled"], true);
        const std::string share = call("GET", "virtual-servers/1/cifs?name=data").body["filesystemShares"][0]["objectId"];
        const Json entry =
            send("GET", base + "filesystem-shares/cifs/" + share + "/authentications", "", login).body["cifsAuthentications"][0];
        EXPECT_EQ(entry["permission"], "56");
        const Json settings = send("GET", base + "virtual-servers/1/cifs?name=data", "", login).body["filesystemShares"][0]["settings"];
        EXPECT_EQ(settings["maxConcurrentUsers"], "-1");
    }
}

TEST_F(SimulatorTest, RefusesWhatARealArrayRefuses) {
    ASSERT_EQ(createSnapshot(fs1, "u1-fs1").status, 201);
    const std::string inSnap = "\\~snapshot\\QZHNAS-u1-fs1";
    ASSERT_EQ(createShare("cifs", "taken", inSnap, fs1).status, 201);
    struct Case {
        const char* what;
        std::function<Reply()> request;
        int status;
    } cases[] = {
        {"snapshot name taken", [&] { return createSnapshot(fs1, "u1-fs1"); }, 400},
        {"snapshot of an unknown file system", [&] { return createSnapshot("0123456789ABCDEF0123456789ABCDEF", "x"); }, 404},
        {"snapshot without a name", [&] { return createSnapshot(fs1, ""); }, 400},
        {"share name taken", [&] { return createShare("cifs", "TAKEN", inSnap, fs1); }, 400},
        {"share name of 81", [&] { return createShare("cifs", std::string(81, 's'), inSnap, fs1); }, 400},
        {"directory that does not exist", [&] {
             return call("POST", "filesystem-shares/cifs",
                         Json{{"virtualServerId", 1}, {"name", "s1"}, {"filesystemId", fs1},
                              {"filesystemPath", "\\nope"}, {"ensurePathExists", false}}.dump());
         }, 400},
        {"path that climbs", [&] { return createShare("cifs", "s1", "\\data\\..\\etc", fs1); }, 400},
        {"snapshot of another file system", [&] { return createShare("nfs", "/s2", "/.snapshot/QZHNAS-u1-fs1", fileSystemId("fs2")); }, 400},
        {"body not JSON", [&] { return call("POST", "filesystem-shares/cifs", "{"); }, 400},
        {"body without a path", [&] { return call("POST", "filesystem-shares/cifs", R"({"virtualServerId":1,"name":"x","filesystemId":"a"})"); }, 400},
        {"delete an absent share", [&] { return call("DELETE", "filesystem-shares/nfs/6e6f"); }, 404},
        {"delete an absent snapshot", [&] { return call("DELETE", "filesystem-snapshots/6e6f"); }, 404},
        {"roll back to an absent snapshot", [&] { return call("POST", "filesystem-snapshots/6e6f/rollback"); }, 404},
        {"unknown resource", [&] { return call("GET", "volumes"); }, 404},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Reply r = c.request();
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.body["errorMsg"].is_string());
    }
    EXPECT_EQ(call("GET", "virtual-servers/1/cifs").body["filesystemShares"].size(), 2u);   // data, taken
    EXPECT_EQ(snapshotNames(fs1).size(), 1u);
}

TEST_F(SimulatorTest, InjectedFaultsHitTheNamedCallsOnly) {
    EXPECT_EQ(admin("POST", "faults", R"({"operation":"listFileSystems","after":1,"count":2,"status":503})").status, 200);
    EXPECT_EQ(call("GET", "filesystems").status, 200);   // let through
    EXPECT_EQ(call("GET", "virtual-servers").status, 200);   // another operation
    Reply r = call("GET", "filesystems");
    EXPECT_EQ(r.status, 503);
    EXPECT_EQ(r.body["errorMsg"], "injected fault");
    EXPECT_EQ(call("GET", "filesystems", "", "supervisor", "wrong").status, 503);   // before authentication
    EXPECT_EQ(call("GET", "filesystems").status, 200);
    EXPECT_EQ(admin("GET", "faults").body["faults"].size(), 0u);

    // close: no answer, nothing done; closeAfter: no answer, but done.
    ASSERT_EQ(admin("POST", "faults", R"({"operation":"createSnapshot","action":"close"})").status, 200);
    EXPECT_EQ(createSnapshot(fs1, "u1-fs1").status, 0);
    EXPECT_TRUE(snapshotNames(fs1).empty());
    ASSERT_EQ(admin("POST", "faults", R"({"operation":"createSnapshot","action":"closeAfter"})").status, 200);
    EXPECT_EQ(createSnapshot(fs1, "u1-fs1").status, 0);
    EXPECT_EQ(snapshotNames(fs1), (std::vector<std::string>{"QZHNAS-u1-fs1"}));

    ASSERT_EQ(admin("POST", "faults", R"({"operation":"*","latencyMs":400})").status, 200);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(call("GET", "virtual-servers").status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));

    r = admin("GET", "calls");
    std::vector<std::pair<std::string, int>> tail;
    for (const Json& c : r.body["calls"]) tail.emplace_back(c["operation"].get<std::string>(), c["status"].get<int>());
    ASSERT_GE(tail.size(), 5u);
    const std::vector<std::pair<std::string, int>> expected = {
        {"createSnapshot", 0}, {"listSnapshots", 200}, {"createSnapshot", 0}, {"listSnapshots", 200}};
    const std::vector<std::pair<std::string, int>> faulted(tail.end() - 5, tail.end() - 1);
    EXPECT_EQ(faulted, expected);
    EXPECT_EQ(tail.back(), std::make_pair(std::string("listVirtualServers"), 200));
    // Each call carries when it was answered, in the order answered; the
    // delayed one at least its delay after the one before it.
    const Json& calls = r.body["calls"];
    for (size_t i = 1; i < calls.size(); ++i)
        EXPECT_LE(calls[i - 1]["endMicros"].get<uint64_t>(), calls[i]["endMicros"].get<uint64_t>()) << i;
    EXPECT_GE(calls.back()["endMicros"].get<uint64_t>() - calls[calls.size() - 2]["endMicros"].get<uint64_t>(),
              400000u);

    struct Case {
        const char* body;
        int status;
        const char* message;   // the refusal's errorMsg, where it names the choices
    } bad[] = {{R"({"operation":"noSuchCall"})", 400, nullptr}, {R"({"operation":"*","count":0})", 400, nullptr},
               {R"({"operation":"*","status":99})", 400, nullptr},
               {R"({"operation":"*","action":"explode"})", 400,
                "action must be status, close, closeAfter, latency or doneWithoutBody"},
               {R"({"operation":"*","body":"xml"})", 400, "body must be json, empty or text"},
               {R"({"operation":"*","message":7})", 400, nullptr}, {"[", 400, nullptr}};
    for (const Case& c : bad) {
        SCOPED_TRACE(c.body);
        const auto answer = admin("POST", "faults", c.body);
        EXPECT_EQ(answer.status, c.status);
        if (c.message != nullptr) {
            EXPECT_EQ(answer.body["errorMsg"], c.message);
        }
    }
    EXPECT_EQ(admin("GET", "faults").body["faults"].size(), 0u);
}

// Real arrays refuse some calls without a body or with one that is not JSON;
// a fault answers in each form, with the message it names.
TEST_F(SimulatorTest, FaultAnswersCarryTheChosenBody) {
    ASSERT_EQ(createSnapshot(fs1, "u1-fs1").status, 201);
    const std::string snapId = call("GET", "filesystem-snapshots/" + fs1 + "/QZHNAS").body["snapshots"][0]["objectId"];
    struct Case {
        const char* fault;
        int status;
        const char* body;          // the raw answer
        const char* contentType;
    } cases[] = {
        {R"({"operation":"rollbackSnapshot","status":403,"message":"no licence"})", 403,
         R"({"errorDetail":{"message":"no licence"},"errorMsg":"no licence"})", "application/json"},
        {R"({"operation":"rollbackSnapshot","status":400,"body":"empty"})", 400, "", ""},
        {R"({"operation":"rollbackSnapshot","status":501,"body":"text","message":"Not Implemented"})", 501,
         "Not Implemented", "text/plain"},
    };
    simkit::SimClient client = sim.client();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_EQ(admin("POST", "faults", c.fault).status, 200);
        const auto r = client.post("/v7/storage/filesystem-snapshots/" + snapId + "/rollback",
                                   {{"X-Subsystem-User", "supervisor"}, {"X-Subsystem-Password", "pw1"}}, "");
        ASSERT_TRUE(r) << r.error;
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(r.header("Content-Type"), c.contentType);
    }
    EXPECT_EQ(snapshotNames(fs1), (std::vector<std::string>{"QZHNAS-u1-fs1"}));   // nothing rolled back
}

// doneWithoutBody: the call is done and answers its status without a body.
TEST_F(SimulatorTest, ADoneWithoutBodyFaultDoesTheWorkAndDropsTheBody) {
    const std::string share = call("GET", "virtual-servers/1/cifs?name=data").body["filesystemShares"][0]["objectId"];
    const std::string auths = "filesystem-shares/cifs/" + share + "/authentications";
    ASSERT_EQ(admin("POST", "faults", R"({"operation":"addAuthentication","action":"doneWithoutBody"})").status, 200);
    const auto r = sim.client().post("/v7/storage/" + auths,
                                     {{"X-Subsystem-User", "supervisor"}, {"X-Subsystem-Password", "pw1"}},
                                     R"({"cifsAuthentications":[{"name":"Users","permission":8,"type":"GROUP"}]})");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.status, 201);
    EXPECT_EQ(r.body, "");
    // Stored as the array shows built-in groups: named BUILTIN\..., of type ALIAS.
    const Json stored = call("GET", auths).body["cifsAuthentications"];
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0]["name"], "BUILTIN\\Administrators");
    EXPECT_EQ(stored[0]["type"], "ALIAS");
    EXPECT_EQ(stored[1]["name"], "BUILTIN\\Users");
    EXPECT_EQ(stored[1]["type"], "ALIAS");
    // A refusal keeps its error body.
    ASSERT_EQ(admin("POST", "faults", R"({"operation":"addAuthentication","action":"doneWithoutBody"})").status, 200);
    EXPECT_EQ(call("POST", auths, R"({"cifsAuthentications":[{"name":"x","permission":2}]})").body["errorMsg"].is_string(),
              true);
}

TEST_F(SimulatorTest, AdminInterfaceNeedsItsTokenAndSeedsResetsAndShowsState) {
    EXPECT_EQ(admin("GET", "state", "", "wrong").status, 401);
    EXPECT_EQ(admin("GET", "state", "", "").status, 401);

    Reply r = admin("GET", "state");
    ASSERT_EQ(r.status, 200);
    ASSERT_EQ(r.body["arrays"].size(), 2u);
    EXPECT_EQ(r.body["arrays"][0]["filesystems"][0]["filesystemId"], fs1);

    // A seed replaces the array of its name; one whose user clashes changes nothing.
    r = admin("POST", "seed", R"({"arrays":[{"name":"hnas2","user":"third","password":"pw3"}]})");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(call("GET", "virtual-servers", "", "third", "pw3").status, 200);
    EXPECT_EQ(call("GET", "virtual-servers", "", "other", "pw2").status, 401);
    EXPECT_EQ(admin("POST", "seed", R"({"arrays":[{"name":"hnas3","user":"supervisor","password":"x"}]})").status, 400);
    EXPECT_EQ(admin("POST", "seed", R"({"arrays":[{"name":"hnas3","user":"u","password":"x","filesystems":[{"label":"f","virtualServerId":5}]}]})").status, 400);
    EXPECT_EQ(admin("GET", "state").body["arrays"].size(), 2u);

    EXPECT_EQ(admin("POST", "reset").status, 200);
    EXPECT_EQ(admin("GET", "state").body["arrays"].size(), 0u);
    EXPECT_EQ(call("GET", "virtual-servers").status, 401);

    // Without a configured token the admin interface is off.
    simkit::SimProcess noAdmin;
    ASSERT_TRUE(testsupport::startSim(noAdmin, {}));
    const auto res = noAdmin.client().get("/admin/state", {{"X-Admin-Token", ""}});
    ASSERT_TRUE(res) << res.error;
    EXPECT_EQ(res.status, 403);
}

TEST_F(SimulatorTest, ARestartKeepsTheStateAndDoesNotSeedAgain) {
    ASSERT_EQ(createSnapshot(fs1, "u1-fs1").status, 201);
    const Reply data = call("GET", "virtual-servers/1/cifs?name=data");
    ASSERT_EQ(call("DELETE", "filesystem-shares/cifs/" + data.body["filesystemShares"][0]["objectId"].get<std::string>()).status, 204);
    const Json before = admin("GET", "state").body;

    sim.stop();
    ASSERT_TRUE(startSim());
    EXPECT_EQ(admin("GET", "state").body, before);
    EXPECT_EQ(call("GET", "virtual-servers/1/cifs?name=data").body["filesystemShares"].size(), 0u);
    EXPECT_EQ(snapshotNames(fs1), (std::vector<std::string>{"QZHNAS-u1-fs1"}));
    // IDs minted after the restart do not repeat those minted before.
    const Reply s = createShare("cifs", "after-restart", "\\~snapshot\\QZHNAS-u1-fs1", fs1);
    ASSERT_EQ(s.status, 201);
    for (const Json& a : before["arrays"]) {
        for (const Json& share : a["shares"]) EXPECT_NE(share["shareId"], s.body["filesystemShare"]["shareId"]);
    }
}

// A state saved before the real ID form keeps its IDs: they are opaque and
// the plug-in's stored metadata holds them. The state keeps appSearchId,
// which the wire object does not show.
TEST_F(SimulatorTest, AStoredSnapshotIdStaysAsStored) {
    const std::string oldId = arraymodel::hexEncode("X:::QZHNAS-old-fs9:::0:::OID_$#!@%_S");
    const std::string seed = R"({"arrays":[{"name":"hnas2","user":"other","password":"pw2",
        "virtualServers":[{"virtualServerId":9,"name":"evs9"}],
        "filesystems":[{"label":"fs9","virtualServerId":9}],
        "snapshots":[{"filesystem":"fs9","appSearchId":"QZHNAS","displayName":"QZHNAS-old-fs9",
                      "objectId":")" + oldId + R"("}]}]})";
    ASSERT_EQ(admin("POST", "seed", seed).status, 200);
    const Reply got = call("GET", "filesystem-snapshots/" + oldId, "", "other", "pw2");
    ASSERT_EQ(got.status, 200);
    EXPECT_EQ(got.body["snapshot"]["displayName"], "QZHNAS-old-fs9");
    EXPECT_FALSE(got.body["snapshot"].contains("appSearchId"));
    const Json stored = admin("GET", "state").body["arrays"][1]["snapshots"][0];
    EXPECT_EQ(stored["objectId"], oldId);
    EXPECT_EQ(stored["appSearchId"], "QZHNAS");

    sim.stop();
    ASSERT_TRUE(startSim());
    EXPECT_EQ(call("DELETE", "filesystem-snapshots/" + oldId, "", "other", "pw2").status, 204);
}

TEST_F(SimulatorTest, ASigkillLosesNoAnsweredChange) {
    std::atomic<int> answered{0};
    std::vector<std::string> created;
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i) {
            const std::string name = "k" + std::to_string(i);
            const Reply r = createSnapshot(fs1, name);
            if (r.status != 201) break;
            created.push_back("QZHNAS-" + name);
            ++answered;
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (answered < 15 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    sim.kill();
    writer.join();
    ASSERT_GE(created.size(), 15u);

    ASSERT_TRUE(startSim());
    const std::vector<std::string> kept = snapshotNames(fs1);
    const std::set<std::string> keptSet(kept.begin(), kept.end());
    for (const std::string& name : created) EXPECT_EQ(keptSet.count(name), 1u) << name;
    // At most the one request in flight at the kill was done without an answer.
    EXPECT_LE(kept.size(), created.size() + 1);
}

// A share may name any directory of its file system: a seeded share's
// directory exists, ensurePathExists records a new one (kept in the state
// file, a kill included) and its parents exist through it, the record goes
// with the last share that needs it, and --strict-snapshot-paths takes
// shares only inside snapshots.
TEST_F(SimulatorTest, SharesOnDirectoriesOfTheFileSystemAndTheStrictOption) {
    auto shareOn = [&](const std::string& name, const std::string& path, bool ensure) {
        return call("POST", "filesystem-shares/cifs",
                    Json{{"virtualServerId", 1}, {"name", name}, {"filesystemId", fs1}, {"filesystemPath", path},
                         {"ensurePathExists", ensure}}
                        .dump())
            .status;
    };
    EXPECT_EQ(shareOn("s1", "\\data", false), 201);
    EXPECT_EQ(shareOn("s2", "\\new\\dir", false), 400);
    EXPECT_EQ(shareOn("s2", "\\new\\dir", true), 201);
    const Reply state = admin("GET", "state");
    EXPECT_EQ(state.body["arrays"][0]["filesystems"][0]["directories"], Json({"/data", "/exp1", "/new/dir"}));
    EXPECT_EQ(state.body["arrays"][0]["filesystems"][1].count("directories"), 0u);
    // The storage answers carry no directories.
    EXPECT_EQ(call("GET", "filesystems/" + fs1).body["filesystem"].count("directories"), 0u);

    sim.kill();
    ASSERT_TRUE(startSim());
    EXPECT_EQ(shareOn("s3", "/new", false), 201);
    // Deleting s2 drops "/new/dir" and records "/new" for s3, in the file too.
    const Json found = call("GET", "virtual-servers/1/cifs?name=s2").body["filesystemShares"];
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(call("DELETE", "filesystem-shares/cifs/" + found[0]["objectId"].get<std::string>()).status, 204);
    sim.kill();
    ASSERT_TRUE(startSim());
    EXPECT_EQ(admin("GET", "state").body["arrays"][0]["filesystems"][0]["directories"],
              Json({"/data", "/exp1", "/new"}));

    sim.stop();
    ASSERT_TRUE(testsupport::startSim(
        sim, {"--state", dir.file("state.db"), "--admin-token", kToken, "--strict-snapshot-paths"}));
    EXPECT_EQ(shareOn("s4", "\\data", true), 400);
    ASSERT_EQ(createSnapshot(fs1, "u1-fs1").status, 201);
    EXPECT_EQ(shareOn("s4", "\\.snapshot\\QZHNAS-u1-fs1\\data", false), 201);
}

TEST_F(SimulatorTest, StopsPromptlyWhileACallIsDelayed) {
    ASSERT_EQ(admin("POST", "faults", R"({"operation":"listVirtualServers","latencyMs":60000})").status, 200);
    std::thread caller([&] { call("GET", "virtual-servers"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    sim.stop();
    caller.join();
    // Neither the simulator nor the delayed call waits out the minute.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(sim.running());
}

// --help and -h print the usage on standard output and succeed, also after
// other options; a wrong option still prints it on standard error and fails.
TEST(SimulatorOptions, HelpPrintsTheUsageAndSucceeds) {
    struct Case {
        std::vector<std::string> args;
        int status;
        bool usageOnStdout;
    } cases[] = {
        {{"--help"}, 0, true},
        {{"-h"}, 0, true},
        {{"--port", "0", "--help"}, 0, true},
        {{"--no-such-option"}, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::string out, err;
        EXPECT_EQ(testsupport::runSimulatorOnce(c.args, out, err), c.status);
        const std::string usage = "usage: hnas-arraysim --cert FILE --key FILE";
        EXPECT_EQ(out.rfind(usage, 0) == 0, c.usageOnStdout) << out;
        if (c.usageOnStdout) {
            EXPECT_NE(out.find("--ignore-no-default-security"), std::string::npos) << out;
            EXPECT_TRUE(err.empty()) << err;
        } else {
            EXPECT_TRUE(out.empty()) << out;
            EXPECT_NE(err.find(usage), std::string::npos) << err;
        }
    }
}

// A kept-alive connection serves --keep-alive-requests requests; the last
// answer says "Connection: close". A count that is not 1 or more is refused.
TEST(SimulatorOptions, KeepAliveRequestCountEndsTheConnectionAndIsChecked) {
    for (const char* bad : {"0", "-3", "many", "1000000000"}) {
        SCOPED_TRACE(bad);
        simkit::SimProcess refused;
        EXPECT_FALSE(testsupport::startSim(refused, {"--keep-alive-requests", bad}));
    }
    simkit::SimProcess sim;
    ASSERT_TRUE(testsupport::startSim(sim, {"--keep-alive-requests", "2"}));
    simkit::SimClient client = sim.client();   // one connection while the simulator keeps it
    std::vector<std::string> connection;
    for (int i = 0; i < 3; ++i) {
        const auto r = client.get("/v7/storage/virtual-servers");
        ASSERT_TRUE(r) << r.error;
        connection.push_back(r.header("Connection"));
    }
    EXPECT_NE(connection[0], "close");
    EXPECT_EQ(connection[1], "close");
    EXPECT_NE(connection[2], "close");   // a new connection, counted afresh
}
