// What hnas-host prints for scripts and people, end to end: --json of every
// command parsed back (with device strings holding quotes, backslashes,
// commas, braces, accents and a byte that is not UTF-8), the progress line
// on a terminal and not on a pipe, the pruning of old jobs' logs, and the
// plug-in log's level names.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

#include <set>

#include <nlohmann/json.hpp>

#include "syskit/ChildProcess.h"
#include "harness/demo/WorkspaceFiles.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostStore.h"
#include "host/SnapStatus.h"
#include "tests/e2e/E2eSupport.h"

namespace {

using namespace QZSO;
using nlohmann::json;

const char kUser[] = "out-admin";
const char kPassword[] = "Out-Sekrit-42";
const char kSeed[] = R"JSON({"arrays": [{
  "name": "hnas1", "user": "out-admin", "password": "Out-Sekrit-42",
  "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.50"]}],
  "filesystems": [{"label": "fs1", "virtualServerId": 1,
                   "directories": ["\\Team {A}\\Plans {2027}", "\\Café Ventes\\Été 2026"]}],
  "shares": [
    {"protocol": "CIFS", "name": "team", "virtualServerId": 1, "filesystem": "fs1", "path": "\\Team {A}"},
    {"protocol": "CIFS", "name": "ventes", "virtualServerId": 1, "filesystem": "fs1", "path": "\\Café Ventes"}
  ]
}]})JSON";

std::string unc(const std::string& shareAndSub) {
    return "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\hnas1\\\\" + shareAndSub +
           ",targethostname:hnas1}";
}

// Braces and backslashes; accents; a share that is not there, named with
// quotes and a byte that is not UTF-8 (prepare fails on it).
const std::string kTeam = unc("team\\\\Plans {2027}");
const std::string kVentes = unc("ventes\\\\Été 2026");
const std::string kMissing = unc("say \"hi\" \xff");
// kMissing as the JSON shows it: the stray byte is U+FFFD.
const std::string kMissingShown = unc("say \"hi\" \xEF\xBF\xBD");

struct SplitRun {
    int exitCode = -1;
    std::string out;   // standard output alone
    std::string err;
};

class Output : public ::testing::Test {
protected:
    void SetUp() override {
        world = std::make_unique<e2e::World>(kSeed);
        ASSERT_TRUE(world->ok()) << world->error();
        ASSERT_EQ(0, world->addArray("hnas1", "evs1", 1, kUser, kPassword).exitCode);
        for (const auto& d : {std::make_pair("team", kTeam), std::make_pair("ventes", kVentes),
                              std::make_pair("missing", kMissing)}) {
            const e2e::HostRun added = world->addDevice(d.first, d.second);
            ASSERT_EQ(0, added.exitCode) << added.output;
        }
    }

    // hnas-host with standard output and standard error apart.
    SplitRun split(const std::vector<std::string>& args) {
        const std::string base = world->directory() + "/split-" + std::to_string(++splits_);
        std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>'" + base + ".err'", HNAS_HOST_BINARY,
                                         "--store", world->storeDirectory()};
        argv.insert(argv.end(), args.begin(), args.end());
        const syskit::ProcessResult result = syskit::runProcess(argv, base + ".out", 60000);
        return {result.exitCode, readWholeFile(base + ".out"), readWholeFile(base + ".err")};
    }

    // The one document of a --json command; every byte of standard output
    // must belong to it.
    json document(const std::vector<std::string>& args, int exitCode, const std::string& command) {
        const SplitRun run = split(args);
        EXPECT_EQ(exitCode, run.exitCode) << run.out << run.err;
        const json parsed = json::parse(run.out, nullptr, false);
        EXPECT_FALSE(parsed.is_discarded()) << "not one JSON document: " << run.out;
        if (parsed.is_discarded()) return json::object();
        EXPECT_EQ(1, parsed.value("format", 0));
        EXPECT_EQ(command, parsed.value("command", ""));
        return parsed;
    }

    static const json& byName(const json& list, const std::string& name) {
        for (const json& item : list)
            if (item.value("name", "") == name) return item;
        static const json none = json::object();
        ADD_FAILURE() << "no " << name << " in " << list.dump();
        return none;
    }

    // Stores a setting as set-setting does, whatever values set-setting
    // itself accepts.
    void storeSetting(const SettingRecord& setting) {
        HostStore store;
        std::string error;
        ASSERT_TRUE(store.open(world->storeDirectory(), error)) << error;
        ASSERT_TRUE(store.setSetting(setting, error)) << error;
    }

    std::unique_ptr<e2e::World> world;
    int splits_ = 0;
};

TEST_F(Output, JsonOfEveryCommandCarriesTheStoredValuesAndNothingElse) {
    // A failed run: the third device's share is not there.
    const SplitRun failedRun = split({"run", "prepare", "team", "ventes", "missing", "--json"});
    EXPECT_EQ(kExitSomeFailed, failedRun.exitCode) << failedRun.out << failedRun.err;
    EXPECT_NE(std::string::npos, failedRun.err.find("hnas-host: missing: PREPARE_FAILED: ")) << failedRun.err;
    const json run = json::parse(failedRun.out, nullptr, false);
    ASSERT_FALSE(run.is_discarded()) << failedRun.out;
    EXPECT_EQ(1, run["format"]);
    EXPECT_EQ("run", run["command"]);
    const json& job = run["job"];
    EXPECT_EQ("prepare", job["operation"]);
    EXPECT_EQ(2, job["pluginResult"]);
    EXPECT_EQ("done", job["outcome"]);
    EXPECT_EQ(1, job["id"]);
    EXPECT_FALSE(readWholeFile(job["pluginLog"].get<std::string>()).empty());
    ASSERT_EQ(3u, run["devices"].size());
    EXPECT_EQ("team", run["devices"][0]["name"]);
    EXPECT_EQ(kTeam, run["devices"][0]["sourceDevice"]);
    EXPECT_EQ(SNAP_STATUS_PREPARED, run["devices"][0]["status"]);
    EXPECT_EQ(kVentes, run["devices"][1]["sourceDevice"]);
    EXPECT_EQ("PREPARED", run["devices"][1]["statusName"]);
    const json& missing = run["devices"][2];
    EXPECT_EQ(kMissingShown, missing["sourceDevice"]);
    EXPECT_EQ(SNAP_STATUS_PREPARE_FAILED, missing["status"]);
    EXPECT_EQ("PREPARE_FAILED", missing["statusName"]);
    ASSERT_EQ(1u, run["failures"].size());
    EXPECT_EQ("missing", run["failures"][0]["device"]);
    EXPECT_EQ("PREPARE_FAILED", run["failures"][0]["statusName"]);
    const std::string reason = run["failures"][0]["reason"];
    EXPECT_FALSE(reason.empty());
    EXPECT_NE(std::string::npos, failedRun.err.find(reason.substr(0, 20))) << "the same reason as on stderr";
    if (!missing["errorMessage"].get<std::string>().empty()) {
        EXPECT_EQ(missing["errorMessage"], reason);
    }

    // state: every stored value, the last job; the metadata prepare stored.
    const json state = document({"state", "--json"}, kExitOk, "state");
    const json& team = byName(state["devices"], "team");
    EXPECT_EQ(kTeam, team["sourceDevice"]);
    EXPECT_EQ("team", team["label"]);
    EXPECT_EQ("hnas1", team["arrayName"]);
    EXPECT_EQ(1, team["lastJob"]["id"]);
    EXPECT_EQ("done", team["lastJob"]["outcome"]);
    ASSERT_FALSE(team["metadata"].empty());
    EXPECT_NE(std::string::npos, team["metadata"][0]["text"].get<std::string>().find("Plans {2027}"));
    EXPECT_EQ(kMissingShown, byName(state["devices"], "missing")["sourceDevice"]);

    // history, and history --job N with the job's results and its logs.
    const json history = document({"history", "--json"}, kExitOk, "history");
    ASSERT_EQ(1u, history["jobs"].size());
    EXPECT_EQ(json({"team", "ventes", "missing"}), history["jobs"][0]["devices"]);
    EXPECT_EQ(2, history["jobs"][0]["pluginResult"]);
    EXPECT_EQ(job["hostLog"], history["jobs"][0]["hostLog"]);
    EXPECT_FALSE(history["jobs"][0]["logsGone"].get<bool>());
    const json one = document({"history", "--job", "1", "--json"}, kExitOk, "history");
    EXPECT_EQ(1, one["job"]["id"]);
    ASSERT_EQ(3u, one["devices"].size());
    EXPECT_EQ("PREPARE_FAILED", byName(one["devices"], "missing")["statusName"]);
    EXPECT_EQ(SNAP_STATUS_PREPARED, byName(one["devices"], "ventes")["status"]);

    // list-*: never a password; the credential's kind and user are there.
    const SplitRun arraysRun = split({"list-arrays", "--json"});
    EXPECT_EQ(std::string::npos, arraysRun.out.find(kPassword));
    const json arrays = document({"list-arrays", "--json"}, kExitOk, "list-arrays");
    const json& hnas1 = byName(arrays["arrays"], "hnas1");
    EXPECT_EQ("evs1", hnas1["arrayId"]);
    EXPECT_EQ(kUser, hnas1["user"]);
    EXPECT_EQ("password", hnas1["credential"]);
    EXPECT_EQ(1, hnas1["controlHostId"]);
    EXPECT_EQ(std::to_string(world->simulator().port()), hnas1["configs"]["SMCONFIG_NAME_METRO_SERVER_PORT"]);
    const json devices = document({"list-devices", "--json"}, kExitOk, "list-devices");
    ASSERT_EQ(3u, devices["devices"].size());
    EXPECT_EQ(kVentes, byName(devices["devices"], "ventes")["sourceDevice"]);
    storeSetting({"~Vorlane", "sNote", "a \"quoted\" \\ {value}, é"});
    const json settings = document({"list-settings", "--json"}, kExitOk, "list-settings");
    bool found = false;
    for (const json& s : settings["settings"])
        found = found || (s["section"] == "~Vorlane" && s["key"] == "sNote" && s["value"] == "a \"quoted\" \\ {value}, é");
    EXPECT_TRUE(found) << settings.dump();

    // Errors stay on stderr with their exit codes; stdout stays empty.
    const SplitRun unknown = split({"state", "nosuch", "--json"});
    EXPECT_EQ(kExitBadInput, unknown.exitCode);
    EXPECT_TRUE(unknown.out.empty()) << unknown.out;
    EXPECT_NE(std::string::npos, unknown.err.find("nosuch"));
}

TEST_F(Output, JsonOfOrphansAndLeaksNamesEachSnapshotAndWhatWasDoneWithIt) {
    ASSERT_EQ(0, world->job("prepare", {"team"}).exitCode);
    ASSERT_EQ(0, world->job("snap", {"team"}).exitCode);
    const std::string snapshot = world->devices()["team"].snapUUID;
    // A delete that reported done while the snapshot stayed (a re-prepare
    // that failed): the store says deleted, the array still has it.
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((world->storeDirectory() + "/host.db").c_str(), &db));
    const std::string reported = "UPDATE devices SET status = 20 WHERE label = 'team'; "
                                 "DELETE FROM restore_points WHERE snap_uuid = '" + snapshot + "'";
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, reported.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
    sqlite3_close(db);

    const json state = document({"state", "--check-arrays", "--json"}, kExitOk, "state");
    ASSERT_EQ(1u, state["leaks"].size()) << state.dump();
    EXPECT_EQ("team", state["leaks"][0]["device"]);
    EXPECT_EQ(snapshot, state["leaks"][0]["snapshot"]);
    EXPECT_EQ("hnas1", state["leaks"][0]["array"]);
    EXPECT_TRUE(state["arraysNotAsked"].empty());

    const json listed = document({"orphans", "--json"}, kExitOk, "orphans");
    ASSERT_EQ(1u, listed["orphans"].size()) << listed.dump();
    const json& orphan = listed["orphans"][0];
    EXPECT_EQ(snapshot, orphan["name"]);
    EXPECT_EQ("hnas1", orphan["array"]);
    EXPECT_EQ("fs1", orphan["fileSystem"]);
    EXPECT_EQ("127.0.0.1", orphan["endpoint"]["address"]);
    EXPECT_EQ(world->simulator().port(), orphan["endpoint"]["port"]);
    EXPECT_GT(orphan["created"].get<long long>(), 0);
    EXPECT_EQ("team reported it deleted", orphan["note"]);
    EXPECT_EQ("listed", orphan["action"]);

    const json deleted = document({"orphans", "--delete", "--yes", "--json"}, kExitOk, "orphans");
    ASSERT_EQ(1u, deleted["orphans"].size());
    EXPECT_EQ("deleted", deleted["orphans"][0]["action"]);
    const std::vector<std::string> left = world->snapshotNames();
    EXPECT_EQ(left.end(), std::find(left.begin(), left.end(), snapshot));
    EXPECT_TRUE(document({"orphans", "--json"}, kExitOk, "orphans")["orphans"].empty());
}

// Runs hnas-host on a pseudo-terminal; everything it wrote there.
// Whether `screen` holds a drawn progress line of prepare over two devices,
// "\rprepare: N of 2 devices done, S s\x1b[K" with N from 0 to 2.
bool hasPrepareProgressLine(const std::string& screen) {
    const std::string start = "\rprepare: ";
    const std::string middle = " of 2 devices done, ";
    for (size_t at = screen.find(start); at != std::string::npos; at = screen.find(start, at + 1)) {
        size_t i = at + start.size();
        if (i >= screen.size() || screen[i] < '0' || screen[i] > '2') continue;
        if (screen.compare(i + 1, middle.size(), middle) != 0) continue;
        i += 1 + middle.size();
        const size_t digits = i;
        while (i < screen.size() && screen[i] >= '0' && screen[i] <= '9') ++i;
        if (i > digits && screen.compare(i, 5, " s\x1b[K") == 0) return true;
    }
    return false;
}

// Whether some line of `log` holds `head`, then a context without "]", then "] ".
bool hasLevelLine(const std::string& log, const std::string& head) {
    for (size_t at = log.find(head); at != std::string::npos; at = log.find(head, at + 1)) {
        const size_t close = log.find_first_of("]\n", at + head.size());
        if (close != std::string::npos && close > at + head.size() && log.compare(close, 2, "] ") == 0) return true;
    }
    return false;
}

std::string onTerminal(const std::vector<std::string>& args, int& exitCode) {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::string text;
    if (pid < 0) return text;
    char buffer[4096];
    for (;;) {
        struct pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, 60000) <= 0) break;
        const ssize_t n = read(master, buffer, sizeof(buffer));
        if (n <= 0) break;   // EIO once the child has gone
        text.append(buffer, static_cast<size_t>(n));
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return text;
}

TEST_F(Output, ProgressShowsOnATerminalOnlyAndIsClearedBeforeTheTable) {
    // Each device's look-up waits, so the job lasts long enough to be drawn.
    ASSERT_TRUE(world->injectFault(R"({"operation":"*","count":3,"latencyMs":400})"));
    int exitCode = -1;
    const std::string screen = onTerminal(
        {HNAS_HOST_BINARY, "--store", world->storeDirectory(), "run", "prepare", "team", "ventes"}, exitCode);
    EXPECT_EQ(kExitOk, exitCode) << screen;
    EXPECT_TRUE(hasPrepareProgressLine(screen)) << screen;
    // The line is erased before the table, and not drawn again.
    const size_t table = screen.find("device ");
    ASSERT_NE(std::string::npos, table) << screen;
    const size_t cleared = screen.rfind("\r\x1b[K", table);
    ASSERT_NE(std::string::npos, cleared) << screen;
    EXPECT_EQ(std::string::npos, screen.find("devices done", cleared)) << screen;
    EXPECT_NE(std::string::npos, screen.find("host log: "));

    // Not with --quiet or --json on a terminal, and never on a pipe.
    for (const std::vector<std::string>& extra : {std::vector<std::string>{"--quiet"}, {"--json"}}) {
        std::vector<std::string> args = {HNAS_HOST_BINARY, "--store", world->storeDirectory(), "run", "prepare",
                                         "team", "ventes"};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(world->injectFault(R"({"operation":"*","count":1,"latencyMs":400})"));
        const std::string quiet = onTerminal(args, exitCode);
        EXPECT_EQ(kExitOk, exitCode) << quiet;
        EXPECT_EQ(std::string::npos, quiet.find("devices done")) << extra[0] << ": " << quiet;
    }
    ASSERT_TRUE(world->injectFault(R"({"operation":"*","count":1,"latencyMs":400})"));
    const e2e::HostRun piped = world->host({"run", "prepare", "team", "ventes"});
    EXPECT_EQ(kExitOk, piped.exitCode) << piped.output;
    EXPECT_EQ(std::string::npos, piped.output.find("devices done")) << piped.output;
    EXPECT_EQ(std::string::npos, piped.output.find('\r')) << piped.output;
}

std::set<std::string> filesIn(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const struct dirent* entry = readdir(d))
            if (entry->d_name[0] != '.') names.insert(entry->d_name);
        closedir(d);
    }
    return names;
}

TEST_F(Output, OnlyTheLastJobsKeepTheirLogsAndHistoryShowsTheOthersAsGone) {
    const std::string logs = world->storeDirectory() + "/logs";
    ASSERT_EQ(0, world->host({"set-setting", "hnas-host", "nKeepJobLogs", "2"}).exitCode);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(0, world->job("unprepare", {"team"}).exitCode);
    EXPECT_EQ((std::set<std::string>{"job-3-unprepare.host.log", "job-3-unprepare.plugin.log",
                                     "job-4-unprepare.host.log", "job-4-unprepare.plugin.log"}),
              filesIn(logs));

    const json history = document({"history", "--json"}, kExitOk, "history");
    ASSERT_EQ(4u, history["jobs"].size());
    for (const json& job : history["jobs"]) {
        const bool kept = job["id"].get<int>() >= 3;
        SCOPED_TRACE(job.dump());
        EXPECT_EQ(!kept, job["logsGone"].get<bool>());
        EXPECT_EQ(kept, job["hostLog"].is_string());
        EXPECT_EQ(kept, job["pluginLog"].is_string());
    }
    const e2e::HostRun gone = world->host({"history", "--job", "1"});
    EXPECT_NE(std::string::npos, gone.output.find("host log: removed")) << gone.output;
    EXPECT_EQ(std::string::npos, gone.output.find("job-1-unprepare")) << gone.output;
    const e2e::HostRun kept = world->host({"history", "--job", "4"});
    EXPECT_NE(std::string::npos, kept.output.find("host log: " + logs + "/job-4-unprepare.host.log")) << kept.output;

    // 0 keeps every log from here on; a value that is no number keeps the default.
    ASSERT_EQ(0, world->host({"set-setting", "hnas-host", "nKeepJobLogs", "0"}).exitCode);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(0, world->job("unprepare", {"team"}).exitCode);
    EXPECT_EQ(8u, filesIn(logs).size());
    storeSetting({"hnas-host", "nKeepJobLogs", "few"});
    ASSERT_EQ(0, world->job("unprepare", {"team"}).exitCode);
    EXPECT_EQ(10u, filesIn(logs).size());
    EXPECT_NE(std::string::npos, readWholeFile(logs + "/job-7-unprepare.host.log").find("nKeepJobLogs=few"));
}

// Job 1 runs with the store named relative to its parent directory. A copy
// of the store, whose row of job 1 names the original's logs as an earlier
// version wrote it (an absolute path), prunes its own copies of them and
// never the original's; the store run from another directory, where job 1's
// relative names lead to other files, prunes its own and leaves those.
TEST_F(Output, PruningRemovesOnlyLogsInTheStoresOwnLogDirectory) {
    const std::string dir = world->directory();
    const std::string logs = world->storeDirectory() + "/logs";
    auto runFrom = [&](const std::string& cwd, const std::string& store) {
        return syskit::runProcess({"/bin/sh", "-c", "cd \"$0\" && exec \"$1\" --store \"$2\" run unprepare team --quiet", cwd,
                           HNAS_HOST_BINARY, store},
                          dir + "/from.out", 60000)
            .exitCode;
    };
    ASSERT_EQ(0, world->host({"set-setting", "hnas-host", "nKeepJobLogs", "1"}).exitCode);
    ASSERT_EQ(0, runFrom(dir, "store"));
    const std::set<std::string> job1 = {"job-1-unprepare.host.log", "job-1-unprepare.plugin.log"};
    ASSERT_EQ(job1, filesIn(logs));

    const std::string copy = dir + "/copy";
    ASSERT_EQ(0, syskit::runProcess({"/bin/cp", "-a", world->storeDirectory(), copy}, "", 30000).exitCode);
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((copy + "/host.db").c_str(), &db));
    const std::string earlier = "UPDATE jobs SET host_log = '" + logs + "/job-1-unprepare.host.log', plugin_log = '" +
                                logs + "/job-1-unprepare.plugin.log' WHERE id = 1";
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, earlier.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
    sqlite3_close(db);
    ASSERT_EQ(0, world->hostOn(copy, {"run", "unprepare", "team", "--quiet"}).exitCode);
    EXPECT_EQ((std::set<std::string>{"job-2-unprepare.host.log", "job-2-unprepare.plugin.log"}),
              filesIn(copy + "/logs"));
    EXPECT_EQ(job1, filesIn(logs)) << "the copy pruned the original's logs";

    const std::string elsewhere = dir + "/elsewhere";
    for (const std::string& d : {elsewhere, elsewhere + "/store", elsewhere + "/store/logs"})
        ASSERT_EQ(0, mkdir(d.c_str(), 0700));
    for (const std::string& name : job1) ASSERT_TRUE(writeWholeFile(elsewhere + "/store/logs/" + name, "not a log\n"));
    ASSERT_EQ(0, runFrom(elsewhere, "../store"));
    EXPECT_EQ(job1, filesIn(elsewhere + "/store/logs")) << "pruning reached outside the store";
    EXPECT_EQ((std::set<std::string>{"job-2-unprepare.host.log", "job-2-unprepare.plugin.log"}), filesIn(logs));
    const e2e::HostRun shown = world->host({"history", "--job", "2"});
    EXPECT_NE(std::string::npos, shown.output.find("host log: " + logs + "/job-2-unprepare.host.log")) << shown.output;
}

TEST_F(Output, ThePluginLogNamesItsLevels) {
    const e2e::HostRun run = world->job("prepare", {"team", "missing"});
    EXPECT_EQ(kExitSomeFailed, run.exitCode) << run.output;
    const std::string log = readWholeFile(world->storeDirectory() + "/logs/job-1-prepare.plugin.log");
    EXPECT_NE(std::string::npos, log.find(" job=1 INFO [QZSnapEngineHNAS::qzso_prepareDevices] ")) << log;
    EXPECT_TRUE(hasLevelLine(log, " job=1 ERROR [")) << log;
    EXPECT_TRUE(hasLevelLine(log, " job=1 DETAIL [")) << log;
    EXPECT_EQ(std::string::npos, log.find("level=")) << log;
}

}  // namespace
