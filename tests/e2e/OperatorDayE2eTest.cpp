// What an operator sees on the terminal and in the logs in everyday use,
// with real hnas-host processes against hnas-arraysim: an array set up as
// the man page shows it logs no failure for every device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/demo/WorkspaceFiles.h"
#include "harness/framework/ExitCodes.h"
#include "tests/e2e/E2eSupport.h"

namespace {

const char kSeed[] = R"JSON({"arrays": [{
  "name": "hnaso", "user": "op-admin", "password": "Op-pw-9",
  "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.60"]}],
  "filesystems": [{"label": "fa", "virtualServerId": 1}, {"label": "fb", "virtualServerId": 1}]
}]})JSON";

const char kPassword[] = "Op-pw-9";

std::string native(const std::string& fileSystem) {
    return "{type:native_hnas,path:/__VOLUME__/" + fileSystem + "/d,targethostname:hnaso}";
}

bool has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// add-array as the man page shows it: no --address (the control host is
// the management address); --port only because the simulator is not on 8444.
e2e::HostRun addArrayWithoutAddress(e2e::World& world, const std::string& password) {
    const std::string passwordFile = world.directory() + "/password-hnaso";
    writeWholeFile(passwordFile, password + "\n");
    return world.host({"add-array", "hnaso", "--array-id", "evs1", "--control-host", "127.0.0.1",
                       "--control-host-id", "1", "--user", "op-admin", "--password-file", passwordFile, "--port",
                       std::to_string(world.simulator().port())});
}

// Two devices on an array added without --address, a whole lifecycle: the
// host answers the plug-in's read of the array's management address with
// the control host, so no job logs "Unable to get the Metro Server IP".
TEST(ArrayWithoutAddress, JobsLogNoFailureForTheManagementAddress) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, addArrayWithoutAddress(world, kPassword).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-a", native("fa")).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-b", native("fb")).exitCode);

    for (const char* operation : {"prepare", "snap", "map", "unmap", "delete"}) {
        const e2e::HostRun job = world.job(operation, {"dev-a", "dev-b"});
        EXPECT_EQ(kExitOk, job.exitCode) << operation << ": " << job.output;
    }
    const std::string logs = e2e::allFilesUnder(world.storeDirectory() + "/logs");
    EXPECT_FALSE(has(logs, "Unable to get the Metro Server")) << logs;
    EXPECT_FALSE(has(logs, "Metro Server array config values are not entered")) << logs;
}

}  // namespace
