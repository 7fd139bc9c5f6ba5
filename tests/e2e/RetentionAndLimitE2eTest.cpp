// What hnas-host's tools say of snapshots the array keeps under retention
// after accepting their delete, and of file systems near the most
// snapshots they can hold, against hnas-arraysim.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness/cli/Orphans.h"
#include "harness/framework/ExitCodes.h"
#include "host/SnapStatus.h"
#include "tests/e2e/E2eSupport.h"

namespace {

using nlohmann::json;

const char kPassword[] = "Keep-Sekrit-41";

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool has(const std::string& output, const std::string& text) { return output.find(text) != std::string::npos; }

// A snapshot deleted by a device on a file system with a default retention:
// the array accepted the delete and keeps it until the retention expires.
// It is no orphan and no leak: orphans and state --check-arrays say when it
// goes, and orphans --delete leaves it alone. A snapshot under retention
// that no delete waits for is still an orphan, with its date in the note.
TEST(Retention, ASnapshotWaitingForItsRetentionIsNeitherAnOrphanNorALeak) {
    e2e::World world(R"JSON({"arrays": [{
      "name": "hnasr", "user": "keep-admin", "password": "Keep-Sekrit-41",
      "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.41"]}],
      "filesystems": [{"label": "fr", "virtualServerId": 1, "retentionSeconds": 86400}]
    }]})JSON");
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(0, world.addArray("hnasr", "evs1", 1, "keep-admin", kPassword).exitCode);
    ASSERT_EQ(0, world.addDevice("dev-r", "{type:native_hnas,path:/__VOLUME__/fr/d,targethostname:hnasr}").exitCode);
    ASSERT_EQ(0, world.job("prepare", {"dev-r"}).exitCode);
    ASSERT_EQ(0, world.job("snap", {"dev-r"}).exitCode);
    const std::string kept = world.devices()["dev-r"].snapUUID;
    ASSERT_EQ(0, world.job("delete", {"dev-r"}).exitCode);
    ASSERT_EQ(QZSO::SNAP_STATUS_DELETED, world.devices()["dev-r"].status);
    ASSERT_TRUE(contains(world.snapshotNames(), kept)) << "the array keeps it until the retention expires";

    const e2e::HostRun list = world.host({"orphans"});
    EXPECT_EQ(kExitOk, list.exitCode) << list.output;
    EXPECT_TRUE(has(list.output, "kept " + kept + " (array hnasr, file system fr): retained until 20")) << list.output;
    EXPECT_TRUE(has(list.output, kNoOrphans)) << list.output;
    const e2e::HostRun removal = world.host({"orphans", "--delete", "--yes"});
    EXPECT_EQ(kExitOk, removal.exitCode) << removal.output;
    EXPECT_FALSE(has(removal.output, "deleted " + kept)) << removal.output;

    const e2e::HostRun state = world.host({"state", "--check-arrays"});
    EXPECT_EQ(kExitOk, state.exitCode) << state.output;
    EXPECT_FALSE(has(state.output, "leaked:")) << state.output;
    EXPECT_TRUE(has(state.output, "retained: dev-r was reported deleted; array hnasr accepted the delete of its "
                                  "snapshot " + kept + " and keeps it, retained until 20"))
        << state.output;
    const json stateJson = json::parse(world.host({"state", "--check-arrays", "--json"}).output);
    EXPECT_TRUE(stateJson["leaks"].empty()) << stateJson.dump();
    ASSERT_EQ(1u, stateJson["retained"].size()) << stateJson.dump();
    EXPECT_EQ(kept, stateJson["retained"][0]["snapshot"]);
    EXPECT_GT(stateJson["retained"][0]["retainedUntil"].get<long long>(), 0);

    // Snapped again and then forgotten by the store's device (removed): an
    // orphan under retention whose delete nothing asked for yet.
    ASSERT_EQ(0, world.job("prepare", {"dev-r"}).exitCode);
    ASSERT_EQ(0, world.job("snap", {"dev-r"}).exitCode);
    const std::string orphan = world.devices()["dev-r"].snapUUID;
    ASSERT_EQ(0, world.host({"remove-device", "dev-r", "--force"}).exitCode);
    const json orphans = json::parse(world.host({"orphans", "--json"}).output);
    ASSERT_EQ(1u, orphans["orphans"].size()) << orphans.dump();
    EXPECT_EQ(orphan, orphans["orphans"][0]["name"]);
    EXPECT_TRUE(has(orphans["orphans"][0]["note"].get<std::string>(), "retained until 20")) << orphans.dump();
    ASSERT_EQ(1u, orphans["retained"].size()) << orphans.dump();
    EXPECT_EQ(kept, orphans["retained"][0]["name"]);
}

// A file system's count of snapshots is shown against the limit once it
// passes 90% of it (921.6 of 1024): 922 is shown, 921 is not.
TEST(SnapshotLimit, FileSystemsPastNinetyPercentOfTheLimitAreShown) {
    json seed = json::parse(R"JSON({"arrays": [{
      "name": "hnasl", "user": "keep-admin", "password": "Keep-Sekrit-41",
      "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.42"]}],
      "filesystems": [{"label": "full", "virtualServerId": 1}, {"label": "under", "virtualServerId": 1},
                      {"label": "just", "virtualServerId": 1}],
      "snapshots": []
    }]})JSON");
    const std::pair<const char*, int> counts[] = {{"full", 1000}, {"under", 921}, {"just", 922}};
    for (const auto& c : counts)
        for (int i = 0; i < c.second; ++i)
            seed["arrays"][0]["snapshots"].push_back(
                {{"filesystem", c.first}, {"displayName", "hourly-" + std::to_string(i)}});
    e2e::World world(seed.dump());
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(0, world.addArray("hnasl", "evs1", 1, "keep-admin", kPassword).exitCode);

    const e2e::HostRun check = world.host({"check-array", "hnasl"});
    EXPECT_EQ(kExitOk, check.exitCode) << check.output;
    EXPECT_TRUE(has(check.output, "  note  file system full holds 1000 of 1024 snapshots (97%): a snap past 1024 is "
                                  "refused"))
        << check.output;
    EXPECT_TRUE(has(check.output, "file system just holds 922 of 1024 snapshots (90%)")) << check.output;
    EXPECT_FALSE(has(check.output, "file system under")) << check.output;

    const e2e::HostRun state = world.host({"state", "--check-arrays"});
    EXPECT_EQ(kExitOk, state.exitCode) << state.output;
    EXPECT_TRUE(has(state.output, "array hnasl: file system full holds 1000 of 1024 snapshots")) << state.output;
    EXPECT_TRUE(has(state.output, "array hnasl: file system just holds 922 of 1024 snapshots")) << state.output;
    EXPECT_FALSE(has(state.output, "file system under")) << state.output;
    const json document = json::parse(world.host({"state", "--check-arrays", "--json"}).output);
    ASSERT_EQ(2u, document["nearSnapshotLimit"].size()) << document.dump();
    EXPECT_EQ((json{{"array", "hnasl"}, {"fileSystem", "full"}, {"snapshots", 1000}, {"limit", 1024}}),
              document["nearSnapshotLimit"][0]);
}

}  // namespace
