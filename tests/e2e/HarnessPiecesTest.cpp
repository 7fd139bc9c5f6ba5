// The harness's own pieces: how its host objects answer the plug-in, what its
// store keeps and how private it is, and how the loader refuses a plug-in.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "harness/demo/WorkspaceFiles.h"
#include "syskit/ChildProcess.h"
#include "harness/framework/ArrayInfoText.h"
#include "harness/framework/ArrayKeys.h"
#include "harness/framework/HostObjects.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/PluginLoader.h"
#include "host/EvDebug.h"
#include "host/SnapStatus.h"
#include "tests/e2e/E2eSupport.h"

namespace {

JobContext contextWithArrays() {
    JobContext job;
    job.jobId = 17;
    ArrayRecord a;
    a.name = "hnas1";
    a.vendor = "Hitachi NAS";
    a.arrayInfo = "{arrayId:evs1,hostName:h1,hostUserName:u,hostPassword:p,hostid:1}";
    a.controlHostId = 1;
    a.configs = {{"SMCONFIG_NAME_METRO_SERVER_PORT", "8445"}, {"SMCONFIG_NAME_METRO_SERVER_IP", "10.1.1.1"}};
    ArrayRecord b = a;
    b.name = "evs2";
    b.controlHostId = 2;
    b.arrayInfo = "{arrayId:evs2,hostName:h2,hostUserName:u2,hostPassword:p2,hostid:2}";
    b.configs = {{"SMCONFIG_NAME_METRO_SERVER_PORT", "84x"}};
    ArrayRecord other = a;
    other.name = "other-vendor";
    other.vendor = "Someone Else";
    other.controlHostId = 3;
    job.arrays = {a, b, other};
    return job;
}

// The environment chooses how the harness's host counts the size a text
// needs; the answers themselves are the in-memory host's (HostKitTest).
TEST(HostBuffers, TheEnvironmentChoosesTheSizeConvention) {
    const struct {
        const char* value;   // null: not set
        hostkit::SizeConvention convention;
    } cases[] = {
        {nullptr, hostkit::SizeConvention::WithTerminator},
        {"1", hostkit::SizeConvention::WithoutTerminator},
        {"0", hostkit::SizeConvention::WithTerminator},
        {"yes", hostkit::SizeConvention::WithTerminator},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
        if (c.value != nullptr) {
            ASSERT_EQ(0, setenv(kHostSizeWithoutNulVariable, c.value, 1));
        } else {
            ASSERT_EQ(0, unsetenv(kHostSizeWithoutNulVariable));
        }
        EXPECT_EQ(c.convention, sizeConventionFromEnvironment());
    }
    unsetenv(kHostSizeWithoutNulVariable);
}

TEST(HostSnapInfo, SetArrayNameAttachesTheFirstKnownNameOfAList) {
    const JobContext job = contextWithArrays();
    struct Case {
        const char* names;
        int result;
        const char* attached;
    } cases[] = {
        {"hnas1", 0, "hnas1"},
        {"127.0.2.10|127.0.2.11|evs2|127.0.2.11", 0, "evs2"},
        {"|evs2|", 0, "evs2"},
        {"evs2|hnas1", 0, "evs2"},
        {"unknown", 1, "before"},
        {"a||b", 1, "before"},
        {"", 1, "before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names);
        DeviceRecord device;
        device.arrayName = "before";
        HostSnapInfo snap(device, job);
        EXPECT_EQ(c.result, snap.setArrayName(c.names));
        EXPECT_EQ(c.attached, device.arrayName);
    }
}

TEST(HostSnapInfo, ArrayInformationAndConfigurationComeFromTheAttachedArray) {
    const JobContext job = contextWithArrays();
    DeviceRecord device;
    HostSnapInfo snap(device, job);
    char buffer[128];
    short size = sizeof(buffer);
    int value = 0;
    EXPECT_EQ(1, snap.getArrayInfo(buffer, &size)) << "nothing attached yet";
    EXPECT_EQ(1, snap.getArrayConfigInt("SMCONFIG_NAME_METRO_SERVER_PORT", &value));

    ASSERT_EQ(0, snap.setArrayName("hnas1"));
    EXPECT_EQ(0, snap.getArrayInfo(buffer, &size));
    EXPECT_STREQ(job.arrays[0].arrayInfo.c_str(), buffer);
    EXPECT_EQ(0, snap.getArrayConfigInt("SMCONFIG_NAME_METRO_SERVER_PORT", &value));
    EXPECT_EQ(8445, value);
    int textSize = 4;
    EXPECT_EQ(2, snap.getArrayConfigString("SMCONFIG_NAME_METRO_SERVER_IP", buffer, &textSize));
    EXPECT_EQ(9, textSize);
    EXPECT_EQ(0, snap.getArrayConfigString("SMCONFIG_NAME_METRO_SERVER_IP", buffer, &textSize));
    EXPECT_STREQ("10.1.1.1", buffer);

    // A value that is not a whole number is not an int setting.
    ASSERT_EQ(0, snap.setArrayName("evs2"));
    value = 7;
    EXPECT_EQ(1, snap.getArrayConfigInt("SMCONFIG_NAME_METRO_SERVER_PORT", &value));
    EXPECT_EQ(7, value);
    int parsed = 0;
    for (const char* bad : {"", "84x", "99999999999", " 1", "1 "})
        EXPECT_FALSE(hostkit::parseConfigInt(bad, parsed)) << bad;
}

TEST(HostSnapInfo, MountRequestSourceIsTheOnlyValueTheHostAnswers) {
    JobContext job = contextWithArrays();
    DeviceRecord device;
    HostSnapInfo snap(device, job);
    int value = 0;
    job.mountRequestSource = 2;
    EXPECT_EQ(0, snap.getValueInt(QZSO::GET_VALUE_VOLSNAP_OP_SOURCE, &value));
    EXPECT_EQ(2, value);
    EXPECT_EQ(1, snap.getValueInt(3, &value));
    job.mountRequestSource = 0;
    EXPECT_EQ(1, snap.getValueInt(QZSO::GET_VALUE_VOLSNAP_OP_SOURCE, &value));
}

TEST(HostSnapInfo, HostLogLinesCarryTheLevelNameAndTheTextAsItStands) {
    testsupport::TempDirectory dir;
    JobContext job = contextWithArrays();
    HostLog log;
    std::string error;
    ASSERT_TRUE(log.open(dir.path() + "/host.log", job.jobId, error)) << error;
    job.log = &log;
    DeviceRecord device;
    device.label = "cifs-data";
    HostSnapInfo snap(device, job);
    snap.logFormatted(2, "HNASSnapDevice::prepare", "Unable to [%s] %d", "x%sy", 5);
    snap.logMessage(0, "plain %s text");
    snap.logMessage(1, "detail");
    const std::string text = readWholeFile(dir.path() + "/host.log");
    EXPECT_NE(std::string::npos, text.find("job=17 device=cifs-data ERROR [HNASSnapDevice::prepare] Unable to [x%sy] 5\n"));
    EXPECT_NE(std::string::npos, text.find("device=cifs-data INFO plain %s text\n"));
    EXPECT_NE(std::string::npos, text.find("device=cifs-data DETAIL detail\n"));
}

TEST(HostOSUtil, ListsTheVendorsArraysAndAnswersByControlHost) {
    const JobContext job = contextWithArrays();
    HostOSUtil util(job);
    EXPECT_EQ(17u, util.getJobId());
    char buffer[128];
    EXPECT_EQ(0, util.listArrays("Hitachi NAS", '|', sizeof(buffer), buffer));
    EXPECT_STREQ("hnas1|evs2", buffer);
    EXPECT_EQ(11, util.listArrays("Hitachi NAS", '|', 10, buffer)) << "too small: the size needed";
    EXPECT_EQ(0, util.listArrays("Nobody", '|', sizeof(buffer), buffer));
    EXPECT_STREQ("", buffer);

    short size = 10;
    EXPECT_EQ(static_cast<int>(job.arrays[1].arrayInfo.size()) + 1, util.getArrayInfoByName("evs2", buffer, &size));
    size = sizeof(buffer);
    EXPECT_EQ(0, util.getArrayInfoByName("evs2", buffer, &size));
    EXPECT_STREQ(job.arrays[1].arrayInfo.c_str(), buffer);
    EXPECT_LT(util.getArrayInfoByName("nope", buffer, &size), 1) << "unknown: not a size";

    int port = 0;
    EXPECT_EQ(0, util.getArrayConfigInt(1, 0, "SMCONFIG_NAME_METRO_SERVER_PORT", &port));
    EXPECT_EQ(8445, port);
    EXPECT_EQ(1, util.getArrayConfigInt(9, 0, "SMCONFIG_NAME_METRO_SERVER_PORT", &port));
    size = sizeof(buffer);
    EXPECT_EQ(0, util.getArrayConfigString(1, 0, "SMCONFIG_NAME_METRO_SERVER_IP", buffer, &size));
    EXPECT_STREQ("10.1.1.1", buffer);
    EXPECT_EQ(1, util.getArrayConfigString(2, 0, "SMCONFIG_NAME_METRO_SERVER_IP", buffer, &size));
}

TEST(ArrayInfoText, RefusesValuesTheTextCannotCarryWithoutNamingThePassword) {
    ArrayLogin login{"evs1", "10.0.0.5", "supervisor", "pa,ss", 4, ""};
    std::string text;
    std::string error;
    EXPECT_FALSE(composeArrayInfo(login, text, error));
    EXPECT_EQ(std::string::npos, error.find("pa,ss"));
    for (const char* bad : {"a}b", "x{hostPassword:y", ""}) {
        login.password = "ok";
        login.arrayId = bad;
        EXPECT_FALSE(composeArrayInfo(login, text, error)) << bad;
    }
    login.arrayId = "evs1";
    ASSERT_TRUE(composeArrayInfo(login, text, error));
    EXPECT_EQ("{arrayId:evs1,hostName:10.0.0.5,hostUserName:supervisor,hostPassword:ok,hostid:4}", text);
    EXPECT_EQ("supervisor", arrayInfoValue(text, "hostUserName"));
    ArrayRecord record;
    EXPECT_FALSE(makeArrayRecord("a|b", "Hitachi NAS", login, {}, record, error)) << "| separates host lists";

    // With an API key the user and password are present and empty: the
    // plug-in reads them as present; without one, both are required.
    login.user.clear();
    login.password.clear();
    EXPECT_FALSE(composeArrayInfo(login, text, error));
    login.apiKeyFile = "/etc/hnas/a.key";
    ASSERT_TRUE(makeArrayRecord("a", "Hitachi NAS", login, {}, record, error)) << error;
    EXPECT_EQ("{arrayId:evs1,hostName:10.0.0.5,hostUserName:,hostPassword:,hostid:4}", record.arrayInfo);
    EXPECT_EQ("/etc/hnas/a.key", record.apiKeyFile);
}

// The settings file of a job: each array's own section names its key file,
// or an empty one for an array reached with its user and password, so the
// client section's key (stored by an earlier version) reaches none of them;
// while an array's control host cannot name a section, that key is left out.
TEST(ArrayKeys, EachArraysSectionKeepsTheClientSectionsKeyFromItsOwnCredential) {
    std::string error;
    ArrayRecord password;
    ArrayRecord sharing;   // the same control host and port: written once
    ArrayRecord keyed;
    ArrayRecord unnamed;
    ASSERT_TRUE(makeArrayRecord("p", "Hitachi NAS", {"evs1", "hnas-p.test", "u", "pw", 1, ""}, {}, password, error));
    ASSERT_TRUE(makeArrayRecord("q", "Hitachi NAS", {"evs2", "hnas-p.test", "u", "pw", 2, ""}, {}, sharing, error));
    ASSERT_TRUE(makeArrayRecord("k", "Hitachi NAS", {"evs3", "hnas-k.test", "", "", 3, "/keys/k.key"},
                                {{"SMCONFIG_NAME_METRO_SERVER_PORT", "8445"}}, keyed, error));
    ASSERT_TRUE(makeArrayRecord("n", "Hitachi NAS", {"evs4", "odd host", "u", "pw", 4, ""}, {}, unnamed, error));
    const std::vector<SettingRecord> settings = {{"~Vorlane/HNASClient", "sApiKeyFile", "/keys/all.key"},
                                                 {"~Vorlane/HNASClient", "sCAFile", "/ca.pem"}};
    const std::string sections = "[~Vorlane/HNASClient/hnas-p.test:8444]\nsApiKeyFile=\n"
                                 "[~Vorlane/HNASClient/hnas-k.test:8445]\nsApiKeyFile=/keys/k.key\n";
    EXPECT_EQ("[~Vorlane/HNASClient]\nsApiKeyFile=/keys/all.key\nsCAFile=/ca.pem\n" + sections,
              settingsFileText(settings, {password, sharing, keyed}));
    EXPECT_EQ("[~Vorlane/HNASClient]\nsCAFile=/ca.pem\n" + sections,
              settingsFileText(settings, {password, sharing, keyed, unnamed}));
}

// A store made before arrays had key files gains the column when opened;
// update and remove keep their invariants.
TEST(HostStore, ArraysAreUpdatedAndRemovedAndAnOlderStoreGainsKeyFiles) {
    testsupport::TempDirectory dir;
    const std::string storeDir = dir.file("store");
    std::string error;
    {
        HostStore store;
        ASSERT_TRUE(store.create(storeDir, error)) << error;
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((storeDir + "/host.db").c_str(), &db));
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, "ALTER TABLE arrays DROP COLUMN api_key_file", nullptr, nullptr, nullptr));
    sqlite3_close(db);

    HostStore store;
    ASSERT_TRUE(store.open(storeDir, error)) << error;
    ArrayLogin login{"evs1", "ctl", "", "", 1, "/keys/a.key"};
    ArrayRecord a;
    ASSERT_TRUE(makeArrayRecord("a", "Hitachi NAS", login, {{"SMCONFIG_NAME_METRO_SERVER_PORT", "8445"}}, a, error));
    ASSERT_TRUE(store.addArray(a, error)) << error;
    login = ArrayLogin{"evs2", "ctl2", "u", "pw", 2, ""};
    ArrayRecord b;
    ASSERT_TRUE(makeArrayRecord("b", "Hitachi NAS", login, {}, b, error));
    ASSERT_TRUE(store.addArray(b, error)) << error;

    a.apiKeyFile = "/keys/a2.key";
    a.configs.clear();
    ASSERT_TRUE(store.updateArray(a, error)) << error;
    b.controlHostId = 1;
    EXPECT_FALSE(store.updateArray(b, error)) << "control host IDs stay unique";
    ArrayRecord unknown = a;
    unknown.name = "c";
    unknown.controlHostId = 3;
    EXPECT_FALSE(store.updateArray(unknown, error));
    std::vector<ArrayRecord> arrays;
    ASSERT_TRUE(store.loadArrays(arrays, error));
    ASSERT_EQ(2u, arrays.size());
    EXPECT_EQ("/keys/a2.key", arrays[0].apiKeyFile);
    EXPECT_TRUE(arrays[0].configs.empty());
    EXPECT_EQ(2, arrays[1].controlHostId);

    DeviceRecord device;
    device.sourceDevice = "{type:native_hnas,path:/__VOLUME__/fs1,targethostname:a}";
    device.label = "d1";
    ASSERT_TRUE(store.addDevice(device, error));
    device.arrayName = "a";
    ASSERT_TRUE(store.saveDeviceState(device, error));
    std::vector<std::string> referring;
    EXPECT_FALSE(store.removeArray("a", referring, error));
    EXPECT_EQ(std::vector<std::string>{"d1"}, referring);
    EXPECT_TRUE(store.removeArray("b", referring, error)) << error;
    EXPECT_FALSE(store.removeArray("b", referring, error));
    ASSERT_TRUE(store.loadArrays(arrays, error));
    EXPECT_EQ(1u, arrays.size());
}

TEST(HostStore, IsPrivateAndStoresEachWriteOfThePluginAsItIsMade) {
    testsupport::TempDirectory dir;
    const std::string path = dir.path() + "/store";
    std::string error;
    {
        HostStore store;
        ASSERT_TRUE(store.create(path, error)) << error;
        HostStore again;
        EXPECT_FALSE(again.create(path, error)) << "a second store over the first";
    }
    struct stat info;
    ASSERT_EQ(0, stat((path + "/host.db").c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);
    ASSERT_EQ(0, stat(path.c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 0777);

    // Opening a store that others could read makes it private again.
    chmod((path + "/host.db").c_str(), 0644);
    HostStore store;
    ASSERT_TRUE(store.open(path, error)) << error;
    ASSERT_EQ(0, stat((path + "/host.db").c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);

    DeviceRecord device;
    device.label = "d1";
    device.sourceDevice = "{type:native_hnas,path:/__VOLUME__/fs1,targethostname:h}";
    ASSERT_TRUE(store.addDevice(device, error)) << error;
    JobRecord job;
    job.operation = "prepare";
    device.snapUUID = "fresh";
    ASSERT_TRUE(store.beginJob(job, {device}, error)) << error;

    // The plug-in's writes through the descriptor, each stored at once: a
    // second connection sees them while the job is still running.
    JobContext context = contextWithArrays();
    HostWrites writes;
    writes.store = &store;
    context.writes = &writes;
    HostSnapInfo snap(device, context);
    EXPECT_EQ(0, snap.setArrayName("hnas1"));
    EXPECT_EQ(0, snap.setMetadata(6, "{FileSystemName:fs1}"));
    EXPECT_EQ(0, snap.setMetadata(16, "{ABEEnabled:true}"));
    EXPECT_EQ(0, snap.setStatus(1));
    EXPECT_EQ(0, snap.setError(62008, "m"));
    EXPECT_EQ(0, snap.setSnapUUID("u"));
    EXPECT_EQ(0, snap.setSnapDevice("s"));
    EXPECT_EQ(0, writes.failed);
    HostStore reader;
    ASSERT_TRUE(reader.open(path, error)) << error;
    std::vector<DeviceRecord> loaded;
    ASSERT_TRUE(reader.loadDevices(loaded, error)) << error;
    ASSERT_EQ(1u, loaded.size());
    EXPECT_EQ(1, loaded[0].status);
    EXPECT_EQ(62008, loaded[0].errorCode);
    EXPECT_EQ("m", loaded[0].errorMessage);
    EXPECT_EQ("u", loaded[0].snapUUID);
    EXPECT_EQ("s", loaded[0].snapDevice);
    EXPECT_EQ("hnas1", loaded[0].arrayName);
    EXPECT_EQ((std::map<int, std::string>{{6, "{FileSystemName:fs1}"}, {16, "{ABEEnabled:true}"}}),
              loaded[0].metadata);
    EXPECT_EQ(job.id, loaded[0].lastJobId);
    EXPECT_EQ(kJobRunning, loaded[0].lastJobOutcome) << "the job's lock is held: it is not taken for dead";

    ASSERT_TRUE(store.commitJob(job.id, {device}, 0, "done", error)) << error;
    std::vector<JobRecord> jobs;
    ASSERT_TRUE(reader.loadJobs(jobs, error));
    ASSERT_EQ(1u, jobs.size());
    EXPECT_EQ(0, jobs[0].returnCode);
    EXPECT_EQ(kJobDone, jobs[0].outcome);
}

TEST(PluginLoader, RefusesAPluginNamingTheMissingSymbolOrTheLoadError) {
    LoadedPlugin plugin;
    std::string error;
    EXPECT_FALSE(plugin.load(HNAS_PARTIAL_PLUGIN, error));
    EXPECT_NE(std::string::npos, error.find("does not export qzso_mapSnaps")) << error;
    LoadedPlugin missing;
    EXPECT_FALSE(missing.load("/nonexistent/libQzSnapEngineHNAS.so", error));
    EXPECT_NE(std::string::npos, error.find("No such file")) << error;
    LoadedPlugin real;
    ASSERT_TRUE(real.load(HNAS_PLUGIN, error)) << error;
    short major = 0, minor = 0, patch = 0;
    real.entry().qzso_version(&major, &minor, &patch);
    EXPECT_EQ(1, major);
}

// hnas-host on `store`, its output kept in a file of `dir`: the exit code
// and what it printed.
std::pair<int, std::string> runHostIn(const testsupport::TempDirectory& dir, const std::string& store,
                                      std::vector<std::string> args) {
    args.insert(args.begin(), {HNAS_HOST_BINARY, "--store", store});
    const std::string out = dir.path() + "/out";
    unlink(out.c_str());
    const syskit::ProcessResult run = syskit::runProcess(args, out, 60000);
    return std::make_pair(run.exitCode, readWholeFile(out));
}

// A new store holding one native device, "d1".
bool storeWithOneDevice(const testsupport::TempDirectory& dir, const std::string& store) {
    return runHostIn(dir, store, {"init"}).first == 0 &&
           runHostIn(dir, store, {"add-device", "--label", "d1",
                                  "{type:native_hnas,path:/__VOLUME__/fs1,targethostname:h}"}).first == 0;
}

// hnas-host as a framework runs it, against the stand-in plug-ins.
TEST(HostCommand, RefusesAnIncompletePluginAndKeepsWhatAThrowingPluginStored) {
    testsupport::TempDirectory dir;
    const std::string store = dir.path() + "/store";
    auto host = [&](std::vector<std::string> args) { return runHostIn(dir, store, std::move(args)); };
    ASSERT_TRUE(storeWithOneDevice(dir, store));

    const auto refused = host({"run", "prepare", "d1", "--plugin", HNAS_PARTIAL_PLUGIN});
    EXPECT_EQ(69, refused.first);
    EXPECT_NE(std::string::npos, refused.second.find("does not export qzso_mapSnaps")) << refused.second;

    ASSERT_EQ(0, host({"run", "prepare", "d1", "--plugin", HNAS_THROWING_PLUGIN}).first);
    const auto threw = host({"run", "snap", "d1", "--plugin", HNAS_THROWING_PLUGIN});
    EXPECT_EQ(5, threw.first) << threw.second;

    HostStore opened;
    std::string error;
    ASSERT_TRUE(opened.open(store, error)) << error;
    std::vector<DeviceRecord> devices;
    ASSERT_TRUE(opened.loadDevices(devices, error));
    ASSERT_EQ(1u, devices.size());
    // What the plug-in stored before it threw is kept: the array may have
    // acted on it.
    EXPECT_EQ(5, devices[0].status);
    EXPECT_EQ("half-done", devices[0].snapUUID);
    std::vector<JobRecord> jobs;
    ASSERT_TRUE(opened.loadJobs(jobs, error));
    ASSERT_EQ(2u, jobs.size()) << "the refused plug-in ran no job";
    EXPECT_EQ(kJobDone, jobs[0].outcome);
    EXPECT_EQ("exception", jobs[1].outcome);
}

// A store directory someone else could have made or can write to is
// refused, whatever is in it.
TEST(FileSafety, RefusesAStoreDirectoryOfAnotherUserOrWritableByOthersOrALink) {
    testsupport::TempDirectory dir;
    auto init = [&](const std::string& store) {
        const std::string out = dir.path() + "/out";
        unlink(out.c_str());
        const syskit::ProcessResult run = syskit::runProcess({HNAS_HOST_BINARY, "--store", store, "init"}, out, 60000);
        return std::make_pair(run.exitCode, readWholeFile(out));
    };
    const std::string open = dir.path() + "/open";
    ASSERT_EQ(0, mkdir(open.c_str(), 0700));
    chmod(open.c_str(), 0777);
    auto refused = init(open);
    EXPECT_NE(0, refused.first);
    EXPECT_NE(std::string::npos, refused.second.find("others can write to it (mode 0777)")) << refused.second;

    const std::string real = dir.path() + "/real";
    const std::string link = dir.path() + "/link";
    ASSERT_EQ(0, mkdir(real.c_str(), 0700));
    ASSERT_EQ(0, symlink(real.c_str(), link.c_str()));
    refused = init(link);
    EXPECT_NE(0, refused.first);
    EXPECT_NE(std::string::npos, refused.second.find("symbolic link")) << refused.second;

    if (geteuid() == 0) {
        const std::string foreign = dir.path() + "/foreign";
        ASSERT_EQ(0, mkdir(foreign.c_str(), 0700));
        ASSERT_EQ(0, chown(foreign.c_str(), 65534, 65534));
        refused = init(foreign);
        EXPECT_NE(0, refused.first);
        EXPECT_NE(std::string::npos, refused.second.find("belongs to user 65534")) << refused.second;
    }
    EXPECT_EQ(0, init(real).first) << "a private directory of one's own is fine";
}

// A link planted under the name of a job's log file, or of the plug-in's log
// file, is refused: nothing is written through it.
TEST(FileSafety, APlantedLinkUnderALogFileNameReceivesNothing) {
    testsupport::TempDirectory dir;
    const std::string store = dir.path() + "/store";
    const std::string victim = dir.path() + "/victim";
    ASSERT_TRUE(writeWholeFile(victim, "untouched\n"));
    auto host = [&](std::vector<std::string> args) { return runHostIn(dir, store, std::move(args)); };
    ASSERT_TRUE(storeWithOneDevice(dir, store));
    const char* planted[] = {"/logs/job-1-prepare.host.log", "/logs/job-2-prepare.plugin.log"};
    for (const char* name : planted) {
        SCOPED_TRACE(name);
        ASSERT_EQ(0, symlink(victim.c_str(), (store + name).c_str()));
        const auto run = host({"run", "prepare", "d1", "--plugin", HNAS_THROWING_PLUGIN});
        EXPECT_EQ(1, run.first) << run.second;
        EXPECT_NE(std::string::npos, run.second.find("was there before")) << run.second;
        EXPECT_EQ("untouched\n", readWholeFile(victim));
    }
    EXPECT_EQ(0, host({"run", "prepare", "d1", "--plugin", HNAS_THROWING_PLUGIN}).first);
    EXPECT_EQ("untouched\n", readWholeFile(victim));

    // The logging stand-in opens $QZ_LOG_FILE the same way.
    const std::string link = dir.path() + "/plugin.log";
    ASSERT_EQ(0, symlink(victim.c_str(), link.c_str()));
    setenv("QZ_LOG_FILE", link.c_str(), 1);
    EvDebug().DebugLvl("FileSafety", 0, "%s", "a line for the link");
    unsetenv("QZ_LOG_FILE");
    EXPECT_EQ("untouched\n", readWholeFile(victim));
}

}  // namespace
