// Devices and settings as an operator enters and removes them, with real
// hnas-host processes: remove-device never loses track of a snapshot and
// never pulls a device from under a job; add-device --from adds a whole list
// or nothing; add-device and set-setting refuse what the plug-in and the
// client could never use, with the reason; check-array names the stored
// settings that will be ignored.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "syskit/ChildProcess.h"
#include "harness/demo/WorkspaceFiles.h"
#include "harness/framework/ExitCodes.h"
#include "host/SnapStatus.h"
#include "tests/e2e/E2eSupport.h"

namespace {

using namespace QZSO;
using namespace std::string_literals;

const char kSeed[] = R"JSON({"arrays": [{
  "name": "hnasd", "user": "dev-admin", "password": "Dev-pw-5",
  "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.40"]}],
  "filesystems": [{"label": "fa", "virtualServerId": 1}, {"label": "fb", "virtualServerId": 1},
                  {"label": "fc", "virtualServerId": 1}]
}]})JSON";

std::string native(const std::string& fileSystem) {
    return "{type:native_hnas,path:/__VOLUME__/" + fileSystem + "/d,targethostname:hnasd}";
}

bool has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// Three prepared native devices, each on its own file system.
bool setUpDevices(e2e::World& world, std::string& why) {
    const e2e::HostRun array = world.addArray("hnasd", "evs1", 1, "dev-admin", "Dev-pw-5");
    why = array.output;
    bool ok = array.exitCode == 0;
    for (const char* fs : {"fa", "fb", "fc"}) {
        const e2e::HostRun added = world.addDevice(std::string("dev-") + fs[1], native(fs));
        why += added.output;
        ok = ok && added.exitCode == 0;
    }
    const e2e::HostRun prepared = world.job("prepare", {"dev-a", "dev-b", "dev-c"});
    return ok && prepared.exitCode == 0 && (why += prepared.output, true);
}

TEST(RemoveDevice, IsRefusedWhileAJobHoldsTheDevice) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    std::string why;
    ASSERT_TRUE(setUpDevices(world, why)) << why;

    ASSERT_TRUE(world.injectFault(R"({"operation":"*","count":1,"latencyMs":4000})"));
    std::string jobOutput;
    const pid_t job = world.startHost({"run", "prepare", "dev-a", "--quiet"}, jobOutput);
    ASSERT_GT(job, 0);
    ASSERT_TRUE(e2e::eventually([&] { return world.faultsUsedUp(); })) << readWholeFile(jobOutput);

    const e2e::HostRun refused = world.host({"remove-device", "dev-b", "dev-a", "--force"});
    EXPECT_EQ(kExitBusy, refused.exitCode) << refused.output;
    EXPECT_TRUE(has(refused.output, "device dev-a is in use by job")) << refused.output;
    EXPECT_EQ(kExitOk, syskit::waitProcess(job, 60000).exitCode) << readWholeFile(jobOutput);
    // All or nothing: dev-b, free all along, is still there too.
    EXPECT_EQ(1u, world.devices().count("dev-a"));
    EXPECT_EQ(1u, world.devices().count("dev-b"));

    const e2e::HostRun removed = world.host({"remove-device", "dev-a"});
    EXPECT_EQ(kExitOk, removed.exitCode) << removed.output;
    EXPECT_EQ(0u, world.devices().count("dev-a"));
}

// A device whose snapshot is on the array is refused with what to do, unless
// a device that stays has the same snapshot; after --force, orphans lists the
// snapshot. A device whose delete reported done, and one never snapped, go
// at once. The history keeps the names.
TEST(RemoveDevice, NeverLosesTrackOfASnapshot) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    std::string why;
    ASSERT_TRUE(setUpDevices(world, why)) << why;
    // dev-a2 shares dev-a's file system, so snap gives both one snapshot.
    ASSERT_EQ(kExitOk, world.addDevice("dev-a2", "{type:native_hnas,path:/__VOLUME__/fa/e,targethostname:hnasd}")
                           .exitCode);
    ASSERT_EQ(kExitOk, world.job("prepare", {"dev-a2"}).exitCode);
    ASSERT_EQ(kExitOk, world.job("snap", {"dev-a", "dev-a2", "dev-b"}).exitCode);
    ASSERT_EQ(kExitOk, world.job("delete", {"dev-b"}).exitCode);
    auto devices = world.devices();
    const std::string snapshot = devices["dev-a"].snapUUID;
    ASSERT_EQ(SNAP_STATUS_SNAPPED, devices["dev-a"].status);
    ASSERT_EQ(snapshot, devices["dev-a2"].snapUUID);
    ASSERT_EQ(SNAP_STATUS_DELETED, devices["dev-b"].status);
    const long long snapJob = devices["dev-a"].lastJobId;

    // The snapshot stays with dev-a: nothing is lost, nothing to force.
    const e2e::HostRun shared = world.host({"remove-device", "dev-a2"});
    EXPECT_EQ(kExitOk, shared.exitCode) << shared.output;
    EXPECT_TRUE(has(shared.output, snapshot + " stays with device dev-a")) << shared.output;

    const e2e::HostRun refused = world.host({"remove-device", "dev-c", "dev-a"});
    EXPECT_EQ(kExitBadInput, refused.exitCode) << refused.output;
    for (const std::string& part : {"device dev-a still has its snapshot " + snapshot,
                                    std::string("hnas-host run delete dev-a"), std::string("--force")})
        EXPECT_TRUE(has(refused.output, part)) << part << ": " << refused.output;
    EXPECT_EQ(3u, world.devices().size()) << "a refused removal removed some devices";
    const e2e::HostRun before = world.host({"orphans"});
    EXPECT_FALSE(has(before.output, snapshot)) << before.output;

    const e2e::HostRun plain = world.host({"remove-device", "dev-b", "dev-c"});
    EXPECT_EQ(kExitOk, plain.exitCode) << plain.output;
    const e2e::HostRun forced = world.host({"remove-device", "dev-a", "--force"});
    EXPECT_EQ(kExitOk, forced.exitCode) << forced.output;
    EXPECT_TRUE(has(forced.output, snapshot + " stays on the array")) << forced.output;
    EXPECT_TRUE(world.devices().empty());

    const e2e::HostRun after = world.host({"orphans"});
    EXPECT_EQ(kExitOk, after.exitCode) << after.output;
    EXPECT_TRUE(has(after.output, snapshot)) << "the forced device's snapshot is not listed: " << after.output;
    const e2e::HostRun history = world.host({"history", "--job", std::to_string(snapJob)});
    EXPECT_TRUE(has(history.output, "dev-a") && has(history.output, "dev-b")) << history.output;
}

// The everyday strings of the field data must pass the check: CIFS paths
// with blanks, braces and accents, a hidden share, a long file-system label.
const std::vector<std::pair<std::string, std::string>> kFieldDevices = {
    {"nfs-rw", "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp-rw,targethostname:hnasd}"},
    {"cifs-team", "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\hnasd\\\\team\\\\Plans {2027},"
                  "targethostname:hnasd}"},
    {"cifs-ventes", "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\hnasd\\\\ventes\\\\Été 2026,"
                    "targethostname:hnasd}"},
    {"cifs-payroll", "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\hnasd\\\\Payroll$,targethostname:hnasd}"},
    {"native-long", "{type:native_hnas,path:/__VOLUME__/finance-archive-quarterly-reporting-volume-2026/reports,"
                    "targethostname:hnasd}"},
    {"", "{type:native_hnas,path:/__VOLUME__/fs4/builds,targethostname:hnasd}"},
};

std::string fieldDeviceLines() {
    std::string text = "# field devices\n\n";
    for (const auto& d : kFieldDevices) text += (d.first.empty() ? "" : d.first + "  ") + d.second + "\r\n";
    return text;
}

TEST(AddDeviceFrom, AddsEveryLineOfAFileOrOfStandardInput) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    const std::string file = world.directory() + "/devices.txt";
    ASSERT_TRUE(writeWholeFile(file, fieldDeviceLines()));

    const e2e::HostRun added = world.host({"add-device", "--from", file});
    ASSERT_EQ(kExitOk, added.exitCode) << added.output;
    auto devices = world.devices();
    ASSERT_EQ(kFieldDevices.size(), devices.size());
    for (const auto& d : kFieldDevices) EXPECT_EQ(d.second, devices[d.first].sourceDevice) << d.first;

    // "-": the same list through a pipe, into the emptied store.
    std::vector<std::string> remove = {"remove-device", std::to_string(devices[""].id)};
    for (const auto& d : kFieldDevices)
        if (!d.first.empty()) remove.push_back(d.first);
    ASSERT_EQ(kExitOk, world.host(remove).exitCode);
    ASSERT_TRUE(world.devices().empty());
    const std::string output = world.directory() + "/stdin.out";
    const syskit::ProcessResult piped =
        syskit::runProcess({"/bin/sh", "-c", "cat \"$0\" | \"$1\" --store \"$2\" add-device --from -", file, HNAS_HOST_BINARY,
                    world.storeDirectory()},
                   output, 60000);
    EXPECT_EQ(kExitOk, piped.exitCode) << readWholeFile(output);
    devices = world.devices();
    ASSERT_EQ(kFieldDevices.size(), devices.size());
    for (const auto& d : kFieldDevices) EXPECT_EQ(d.second, devices[d.first].sourceDevice) << d.first;
}

// Standard input is capped as a file is: an endless one is refused once it
// passes 64 MiB, not read for ever.
TEST(AddDeviceFrom, StandardInputIsCappedAsAFileIs) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    const std::string output = world.directory() + "/zero.out";
    const syskit::ProcessResult run = syskit::runProcess({"/bin/sh", "-c", "exec \"$0\" --store \"$1\" add-device --from - </dev/zero",
                                          HNAS_HOST_BINARY, world.storeDirectory()},
                                         output, 30000);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(kExitBadInput, run.exitCode) << readWholeFile(output);
    EXPECT_TRUE(has(readWholeFile(output), "cannot read standard input: it is larger than 67108864 bytes"))
        << readWholeFile(output);
    EXPECT_TRUE(world.devices().empty());
}

TEST(AddDeviceFrom, ABadLineRefusesTheWholeFileNamingEachBadLine) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, world.addDevice("taken", native("fa")).exitCode);
    const std::string file = world.directory() + "/devices.txt";
    ASSERT_TRUE(writeWholeFile(file, "# three good, five bad\n" + ("good-1 " + native("fa")) + "\n" +
                                         "good-2 " + native("fb") + "\n" + "broken garbage\n" +
                                         ("taken " + native("fc")) + "\n" + native("fc") + "\n" +
                                         "nfs {type:nfs,lunuuid:\\/,targethostname:hnasd}\n" +
                                         // the plug-in would read the string cut at the NUL byte
                                         "cut {type:native_hnas,path:/__VOLUME__/fb/e\0/f,targethostname:hnasd}\n"s +
                                         "esc\x1b[2J " + native("fc") + "\n"));
    const e2e::HostRun refused = world.host({"add-device", "--from", file});
    EXPECT_EQ(kExitBadInput, refused.exitCode) << refused.output;
    for (const char* line : {"line 4: not [LABEL ]SOURCE-DEVICE", "line 5: label taken is taken",
                             "line 7: the plug-in cannot parse", "No export name in NFS path [/].",
                             "line 8: the source device holds a NUL byte",
                             "line 9: a label has no blanks, commas or control characters",
                             "nothing added: 5 bad line(s)"})
        EXPECT_TRUE(has(refused.output, line)) << line << ": " << refused.output;
    EXPECT_FALSE(has(refused.output, "\x1b")) << "the terminal got the label's escape";
    for (const char* good : {"line 2", "line 3", "line 6"})
        EXPECT_FALSE(has(refused.output, good)) << good << ": " << refused.output;
    EXPECT_EQ(1u, world.devices().size()) << "some lines of a refused file were added";
}

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> said;   // each part of the message
};

const std::vector<Refusal> kRefusals = {
    {"garbage", {"add-device", "garbage"}, {"cannot parse source device \"garbage\": Error: Unknown Device type."}},
    {"empty_braces", {"add-device", "{}"}, {"Error: Unknown Device type."}},
    {"empty", {"add-device", ""}, {"Error: Unknown Device type."}},
    {"unc_without_share", {"add-device", "{vortype:,type:unc,lunuuid:\\\\hnasd,targethostname:hnasd}"},
     {"Failed to get filer and share name for UNC path[\\\\hnasd]"}},
    {"native_without_file_system", {"add-device", "{type:native_hnas,path:/__VOLUME__,targethostname:hnasd}"},
     {"No file system name in native path [/__VOLUME__]."}},
    {"unknown_type", {"add-device", "{vortype:,type:uncx,lunuuid:\\\\hnasd\\\\s,targethostname:hnasd}"},
     {"Device type not supported. [uncx]"}},
    {"label_escape", {"add-device", "--label", "red\x1b[31m", native("fa")},
     {"a label has no blanks, commas or control characters"}},
    {"label_delete", {"add-device", "--label", "a\x7f", native("fa")}, {"control characters"}},
    {"label_c1", {"add-device", "--label", "csi\xc2\x9b" "2J", native("fa")}, {"control characters"}},
    {"key_case", {"set-setting", "~Vorlane/HNASClient", "sCaFile", "/ca.pem"},
     {"unknown key \"sCaFile\" in [~Vorlane/HNASClient] (did you mean sCAFile?); known keys: ",
      "nConnectTimeoutSecs", "sApiKeyFile", "nRequestsInFlight"}},
    {"section_typo", {"set-setting", "~Vorlane/HNASClinet", "sCAFile", "/ca.pem"},
     {"unknown section \"~Vorlane/HNASClinet\"; known sections: ~Vorlane, ~Vorlane/HNASClient, hnas-host"}},
    {"not_a_number", {"set-setting", "~Vorlane/HNASClient", "nConnectTimeoutSecs", "abc"},
     {"bad value \"abc\" for nConnectTimeoutSecs", "an integer from 1 to 3600"}},
    {"below_range", {"set-setting", "~Vorlane/HNASClient", "nRequestsInFlight", "0"}, {"an integer from 1 to 64"}},
    {"plugin_key", {"set-setting", "~Vorlane", "nRevertMountPathRefreshWaitInSecs", "-3"}, {"from 0 to 86400"}},
    {"harness_key", {"set-setting", "hnas-host", "nKeepJobLogs", "100001"}, {"from 0 to 100000"}},
    {"api_version", {"set-setting", "~Vorlane/HNASClient", "sApiVersion", "7"}, {"e.g. v7"}},
    {"unset_missing", {"unset-setting", "~Vorlane/HNASClient", "sApiKeyFile"},
     {"no setting sApiKeyFile in [~Vorlane/HNASClient]"}},
};

class Refused : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refused, WithTheReasonAndNothingStored) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    const std::string settingsBefore = world.host({"list-settings"}).output;
    const e2e::HostRun run = world.host(GetParam().args);
    EXPECT_EQ(kExitBadInput, run.exitCode) << run.output;
    for (const std::string& part : GetParam().said) EXPECT_TRUE(has(run.output, part)) << part << ": " << run.output;
    EXPECT_TRUE(world.devices().empty());
    EXPECT_EQ(settingsBefore, world.host({"list-settings"}).output);
}

INSTANTIATE_TEST_SUITE_P(Entries, Refused, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& test) { return test.param.name; });

TEST(SetSetting, StoresWhatTheCatalogKnowsAndUnsetRemovesIt) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    const std::vector<std::vector<std::string>> accepted = {
        {"~Vorlane/HNASClient", "nConnectTimeoutSecs", "3600"}, {"~Vorlane/HNASClient", "nRetryCount", "0"},
        {"~Vorlane/HNASClient", "sApiVersion", "v12"},          {"~Vorlane", "nHideCIFSShareOnSnapMount", "1"},
        {"hnas-host", "nKeepJobLogs", "0"},
    };
    for (const auto& s : accepted) {
        const e2e::HostRun set = world.host({"set-setting", s[0], s[1], s[2]});
        EXPECT_EQ(kExitOk, set.exitCode) << s[1] << ": " << set.output;
    }
    std::string listed = world.host({"list-settings"}).output;
    for (const auto& s : accepted) EXPECT_TRUE(has(listed, s[1] + "=" + s[2])) << listed;

    EXPECT_EQ(kExitOk, world.host({"unset-setting", "hnas-host", "nKeepJobLogs"}).exitCode);
    listed = world.host({"list-settings"}).output;
    EXPECT_FALSE(has(listed, "nKeepJobLogs")) << listed;
    EXPECT_TRUE(has(listed, "nHideCIFSShareOnSnapMount=1")) << listed;
    EXPECT_EQ(kExitBadInput, world.host({"unset-setting", "hnas-host", "nKeepJobLogs"}).exitCode);
}

// Settings stored before set-setting checked them: check-array names each
// one the client will not use, before its steps, and still runs them.
TEST(CheckArrayNotes, NameEveryStoredSettingThatWillBeIgnored) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    ASSERT_EQ(kExitOk, world.addArray("hnasd", "evs1", 1, "dev-admin", "Dev-pw-5").exitCode);
    ASSERT_TRUE(world.storeSettingUnchecked({"~Vorlane/HNASClient", "sCaFile", "/nowhere/ca.pem"}));
    ASSERT_TRUE(world.storeSettingUnchecked({"~Vorlane/HNASClinet", "nRetryCount", "3"}));
    ASSERT_TRUE(world.storeSettingUnchecked({"~Vorlane/HNASClient", "nRetryCount", "99"}));

    const e2e::HostRun run = world.host({"check-array", "hnasd"});
    EXPECT_EQ(kExitOk, run.exitCode) << run.output;
    const std::vector<std::string> notes = {
        "note  setting ignored: [~Vorlane/HNASClient] sCaFile=/nowhere/ca.pem: unknown key \"sCaFile\"",
        "note  setting ignored: [~Vorlane/HNASClinet] nRetryCount=3: unknown section",
        "note  setting ignored: nRetryCount=99 (allowed 0..10; using 2)",
    };
    const size_t firstStep = run.output.find("address resolves");
    ASSERT_NE(std::string::npos, firstStep) << run.output;
    for (const std::string& note : notes) {
        const size_t at = run.output.find(note);
        EXPECT_NE(std::string::npos, at) << note << ": " << run.output;
        EXPECT_LT(at, firstStep) << note;
        EXPECT_EQ(std::string::npos, run.output.find(note, at + 1)) << "noted twice: " << note;
    }
    EXPECT_EQ(std::string::npos, run.output.find("sCAFile=")) << "a known, usable setting was noted";
}

}  // namespace
