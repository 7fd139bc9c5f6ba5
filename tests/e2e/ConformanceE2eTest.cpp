// hnas-host conformance against hnas-arraysim: every row confirmed on the
// simulator, the Everyone row contradicted on one that ignores the field
// (and the client's removal of the entry holding), nothing of the check left
// behind after a run or a SIGINT, and the file systems it refuses.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness/framework/ExitCodes.h"
#include "simkit/SimAdmin.h"
#include "syskit/ChildProcess.h"
#include "tests/e2e/E2eSupport.h"

namespace {

using nlohmann::json;

const char kPassword[] = "Conf-Sekrit-52";
// "scratch" holds the directory \scratch; "used" is a device's; "full" has
// no free space.
const char kSeed[] = R"JSON({"arrays": [{
  "name": "hnasc", "user": "conf-admin", "password": "Conf-Sekrit-52",
  "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.43"]}],
  "filesystems": [{"label": "scratch", "virtualServerId": 1, "directories": ["\\scratch"],
                   "capacity": 1000, "freeCapacity": 600},
                  {"label": "used", "virtualServerId": 1, "directories": ["\\scratch"]},
                  {"label": "full", "virtualServerId": 1, "directories": ["\\scratch"],
                   "capacity": 1000, "freeCapacity": 0}],
  "shares": [{"protocol": "CIFS", "name": "keep", "virtualServerId": 1, "filesystem": "scratch",
              "path": "\\scratch"}],
  "snapshots": [{"filesystem": "scratch", "displayName": "nightly"}]
}]})JSON";

// Each assumption the check must try, by a piece of its text.
const char* const kAssumptions[] = {"noDefaultSecurity", "copy of a share", "80 characters", "connection cap",
                                    "into .snapshot",    "into ~snapshot",  "delete state",  "second delete",
                                    "share that is gone"};

bool has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// The shares and snapshots on the simulator, by name.
std::vector<std::string> objectNames(e2e::World& world) {
    std::string answer;
    std::string error;
    std::vector<std::string> names;
    if (!simkit::adminCall(world.simulator(), "GET", "/admin/state", "", answer, error)) return {"(no state)"};
    const json state = json::parse(answer, nullptr, false);
    for (const json& array : state.value("arrays", json::array())) {
        for (const json& share : array.value("shares", json::array()))
            names.push_back(share.value("name", std::string()));
        // The stored name: appSearchId + "-" + displayName.
        for (const json& snapshot : array.value("snapshots", json::array()))
            names.push_back(snapshot.value("appSearchId", std::string()) + "-" +
                            snapshot.value("displayName", std::string()));
    }
    return names;
}

std::vector<std::string> conformanceObjects(e2e::World& world) {
    std::vector<std::string> left;
    for (const std::string& name : objectNames(world))
        if (has(name, "QZCONF")) left.push_back(name);
    return left;
}

const json* rowOf(const json& document, const std::string& piece) {
    for (const json& row : document["rows"])
        if (has(row["assumption"].get<std::string>(), piece)) return &row;
    return nullptr;
}

class ConformanceTest : public ::testing::Test {
protected:
    void start(const std::vector<std::string>& simulatorOptions) {
        world = std::make_unique<e2e::World>(kSeed, simulatorOptions);
        ASSERT_TRUE(world->ok()) << world->error();
        ASSERT_EQ(0, world->addArray("hnasc", "evs1", 1, "conf-admin", kPassword).exitCode);
        before = objectNames(*world);
    }
    e2e::HostRun check(const std::string& fileSystem, bool asJson = true) {
        std::vector<std::string> args = {"conformance", "hnasc", "--file-system", fileSystem, "--directory", "\\scratch"};
        if (asJson) args.push_back("--json");
        return world->host(args);
    }
    std::unique_ptr<e2e::World> world;
    std::vector<std::string> before;
};

TEST_F(ConformanceTest, EveryRowIsConfirmedOnTheSimulatorAndNothingIsLeft) {
    start({});
    const e2e::HostRun run = check("scratch");
    ASSERT_EQ(kExitOk, run.exitCode) << run.output;
    const json document = json::parse(run.output);
    for (const char* piece : kAssumptions) {
        const json* row = rowOf(document, piece);
        ASSERT_NE(nullptr, row) << piece << "\n" << run.output;
        EXPECT_EQ("confirmed", (*row)["verdict"]) << row->dump();
        EXPECT_FALSE((*row)["sent"].get<std::string>().empty()) << row->dump();
        EXPECT_FALSE((*row)["applies"].get<std::string>().empty()) << row->dump();
    }
    EXPECT_TRUE(document["remaining"].empty()) << run.output;
    EXPECT_GE(document["made"].size(), 6u) << run.output;
    for (const json& made : document["made"]) EXPECT_TRUE(made["removed"].get<bool>()) << made.dump();
    EXPECT_EQ(before, objectNames(*world)) << "only the check's objects came and went";

    const e2e::HostRun text = check("scratch", false);
    EXPECT_EQ(kExitOk, text.exitCode) << text.output;
    EXPECT_TRUE(has(text.output, "none remains")) << text.output;
    EXPECT_FALSE(has(text.output, "  contradicted  ")) << text.output;
    EXPECT_FALSE(has(text.output, "  unknown  ")) << text.output;
}

// An array that does not know noDefaultSecurity gives the share Everyone:
// that row is contradicted, while the client's own copy, which removes what
// the source lacks, still has no Everyone entry.
TEST_F(ConformanceTest, AnArrayIgnoringTheFieldContradictsItsRowAndTheClientsRemovalHolds) {
    start({"--ignore-no-default-security"});
    const e2e::HostRun run = check("scratch");
    EXPECT_EQ(kExitCheckFailed, run.exitCode) << run.output;
    const json document = json::parse(run.output);
    const json* field = rowOf(document, "noDefaultSecurity");
    ASSERT_NE(nullptr, field) << run.output;
    EXPECT_EQ("contradicted", (*field)["verdict"]) << field->dump();
    EXPECT_TRUE(has((*field)["arrayDid"].get<std::string>(), "Everyone")) << field->dump();
    const json* removal = rowOf(document, "copy of a share");
    ASSERT_NE(nullptr, removal) << run.output;
    EXPECT_EQ("confirmed", (*removal)["verdict"]) << removal->dump();
    EXPECT_FALSE(has((*removal)["arrayDid"].get<std::string>(), "Everyone")) << removal->dump();
    EXPECT_TRUE(document["remaining"].empty()) << run.output;
    EXPECT_TRUE(conformanceObjects(*world).empty());
}

// Refused before anything is made: a file system with no free space, one
// holding a live device's snapshot, one the array does not have.
TEST_F(ConformanceTest, RefusesAFileSystemWithoutRoomOrWithALiveDevicesSnapshot) {
    start({});
    ASSERT_EQ(0, world->addDevice("dev-u", "{type:native_hnas,path:/__VOLUME__/used/d,targethostname:hnasc}").exitCode);
    ASSERT_EQ(0, world->job("prepare", {"dev-u"}).exitCode);
    ASSERT_EQ(0, world->job("snap", {"dev-u"}).exitCode);
    const std::string live = world->devices()["dev-u"].snapUUID;
    const std::vector<std::string> now = objectNames(*world);
    const struct {
        const char* fileSystem;
        int exitCode;
        std::string says;
    } cases[] = {
        {"full", kExitBadInput, "file system full has no free space"},
        {"used", kExitBadInput, "holds " + live + ", a snapshot of a live device"},
        {"nosuch", kExitHostError, "nosuch"},
    };
    for (const auto& c : cases) {
        const e2e::HostRun run = check(c.fileSystem, false);
        EXPECT_EQ(c.exitCode, run.exitCode) << c.fileSystem << ": " << run.output;
        EXPECT_TRUE(has(run.output, c.says)) << c.fileSystem << ": " << run.output;
        EXPECT_EQ(now, objectNames(*world)) << c.fileSystem;
    }
}

// A SIGINT while the array is slow to answer: the request under way ends,
// no further assumption is tried, and everything made is removed.
TEST_F(ConformanceTest, ASigintStopsTheCheckAndRemovesWhatItMade) {
    start({});
    ASSERT_TRUE(world->injectFault(R"({"operation":"listAuthentications","count":1,"latencyMs":2000})"));
    std::string output;
    const pid_t pid = world->startHost(
        {"conformance", "hnasc", "--file-system", "scratch", "--directory", "\\scratch", "--json"}, output);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(e2e::eventually([&] { return world->faultsUsedUp(); }));
    ASSERT_FALSE(conformanceObjects(*world).empty()) << "the check's snapshot and share are there";
    kill(pid, SIGINT);
    const syskit::ProcessResult ended = syskit::waitProcess(pid, 60000);
    const std::string text = readWholeFile(output);
    EXPECT_EQ(kExitCheckFailed, ended.exitCode) << text;
    const json document = json::parse(text, nullptr, false);
    ASSERT_TRUE(document.is_object()) << text;
    EXPECT_TRUE(document["interrupted"].get<bool>());
    EXPECT_EQ(nullptr, rowOf(document, "connection cap")) << "not tried after the signal";
    EXPECT_TRUE(document["remaining"].empty()) << text;
    EXPECT_TRUE(conformanceObjects(*world).empty());
    EXPECT_EQ(before, objectNames(*world));
}

}  // namespace
