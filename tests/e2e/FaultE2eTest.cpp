// An array fault in the middle of each operation: three native devices on
// three file systems of one array; the simulator fails the second device's
// call with HTTP 500. Prepare, snap, map, unmap, delete and revert stop at
// that device (the third keeps the preset failure status, without an error
// code); is-mapped goes on, and the job exits 6 (answered without the
// array for one device); reconcile stops without touching a status.
#include <gtest/gtest.h>

#include <ostream>

#include "harness/framework/ExitCodes.h"
#include "host/SnapStatus.h"
#include "tests/e2e/E2eSupport.h"

namespace {

using namespace QZSO;

const char kSeed[] = R"JSON({"arrays": [{
  "name": "hnasf", "user": "fault-admin", "password": "Fault-pw-9",
  "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.20"]}],
  "filesystems": [{"label": "fa", "virtualServerId": 1}, {"label": "fb", "virtualServerId": 1},
                  {"label": "fc", "virtualServerId": 1}]
}]})JSON";

const std::vector<std::string> kDevices = {"dev-a", "dev-b", "dev-c"};

struct Expected {
    int status;
    int errorCode;
};

struct FaultCase {
    const char* operation;
    std::vector<const char*> before;     // jobs that bring the devices to the operation
    const char* failingCall;             // simulator operation name
    int after;                           // calls let through before the fault
    int exitCode;
    std::vector<Expected> expected;      // dev-a, dev-b, dev-c
};

const FaultCase kCases[] = {
    {"prepare", {}, "listFileSystems", 1, kExitSomeFailed,
     {{SNAP_STATUS_PREPARED, 0}, {SNAP_STATUS_PREPARE_FAILED, ERROR_PREPARE_FAILED}, {SNAP_STATUS_PREPARE_FAILED, 0}}},
    {"snap", {"prepare"}, "createSnapshot", 1, kExitSomeFailed,
     {{SNAP_STATUS_SNAPPED, 0}, {SNAP_STATUS_SNAP_FAILED, ERROR_SNAP_FAILED}, {SNAP_STATUS_SNAP_FAILED, 0}}},
    {"map", {"prepare", "snap"}, "createShare", 1, kExitSomeFailed,
     {{SNAP_STATUS_MAPPED, 0}, {SNAP_STATUS_MAP_FAILED, ERROR_MAP_FAILED}, {SNAP_STATUS_MAP_FAILED, 0}}},
    {"is-mapped", {"prepare", "snap", "map"}, "listShares", 1, kExitWithoutArray,
     {{SNAP_STATUS_MAPPED, 0}, {SNAP_STATUS_NOT_MAPPED, 0}, {SNAP_STATUS_MAPPED, 0}}},
    {"unmap", {"prepare", "snap", "map"}, "deleteShare", 1, kExitSomeFailed,
     {{SNAP_STATUS_UNMAPPED, 0}, {SNAP_STATUS_UNMAP_FAILED, ERROR_UNMAP_FAILED}, {SNAP_STATUS_UNMAP_FAILED, 0}}},
    {"revert", {"prepare", "snap"}, "rollbackSnapshot", 1, kExitSomeFailed,
     {{SNAP_STATUS_SNAPPED, 0}, {SNAP_STATUS_REVERT_FAILED, ERROR_REVERT_FAILED}, {SNAP_STATUS_REVERT_FAILED, 0}}},
    {"delete", {"prepare", "snap"}, "deleteSnapshot", 1, kExitSomeFailed,
     {{SNAP_STATUS_DELETED, 0}, {SNAP_STATUS_DELETE_FAILED, ERROR_DELETE_FAILED}, {SNAP_STATUS_DELETE_FAILED, 0}}},
    {"reconcile", {"prepare", "snap"}, "listSnapshots", 0, kExitAllFailed,
     {{SNAP_STATUS_SNAPPED, 0}, {SNAP_STATUS_SNAPPED, 0}, {SNAP_STATUS_SNAPPED, 0}}},
};

// Test names and failure messages show the operation, not the record's bytes.
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.operation; }

class ArrayFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ArrayFault, StopsWhereTheArrayFailsAndReportsEveryDevice) {
    const FaultCase& c = GetParam();
    // Requests that name dev-b's file system (fb), the fault hitting that
    // one whatever order concurrent requests arrive in: prepare's look-up of
    // the label, snap's and map's creates, is-mapped's share look-up. Unmap's,
    // revert's and delete's name their object by an ID alone: they are hit
    // by their order, which is the devices' at any number in flight (changes
    // are never made ahead).
    const std::string call = c.failingCall;
    const std::string matching = call == "listFileSystems"  ? "label=fb&"
                                 : call == "listShares"     ? "-fb&"
                                 : call == "createSnapshot" || call == "createShare" ? "-fb\\\""
                                                            : "";
    const bool byName = !matching.empty();
    const std::string target =
        byName ? ",\"matching\":\"" + matching + "\"" : ",\"after\":" + std::to_string(c.after);
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(0, world.addArray("hnasf", "evs1", 1, "fault-admin", "Fault-pw-9").exitCode);
    const char* fileSystems[] = {"fa", "fb", "fc"};
    for (size_t i = 0; i < kDevices.size(); ++i) {
        const std::string source = std::string("{type:native_hnas,path:/__VOLUME__/") + fileSystems[i] +
                                   "/data,targethostname:hnasf}";
        ASSERT_EQ(0, world.addDevice(kDevices[i], source).exitCode);
    }
    for (const char* step : c.before) ASSERT_EQ(0, world.job(step, kDevices).exitCode) << step;

    ASSERT_TRUE(world.injectFault(std::string("{\"operation\":\"") + c.failingCall + "\"" + target +
                                  ",\"count\":1,\"status\":500}"));
    const e2e::HostRun run = world.job(c.operation, kDevices);
    EXPECT_EQ(c.exitCode, run.exitCode) << run.output;
    auto after = world.devices();
    for (size_t i = 0; i < kDevices.size(); ++i) {
        SCOPED_TRACE(kDevices[i]);
        EXPECT_EQ(c.expected[i].status, after[kDevices[i]].status) << after[kDevices[i]].errorMessage;
        EXPECT_EQ(c.expected[i].errorCode, after[kDevices[i]].errorCode) << after[kDevices[i]].errorMessage;
    }
}

INSTANTIATE_TEST_SUITE_P(EachOperation, ArrayFault, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& test) {
                             std::string name = test.param.operation;
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             return name;
                         });

}  // namespace
