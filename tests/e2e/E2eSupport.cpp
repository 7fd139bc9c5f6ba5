#include "tests/e2e/E2eSupport.h"

#include <cstdlib>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include "harness/demo/SimulatorState.h"
#include "syskit/ChildProcess.h"
#include "harness/framework/HostStore.h"

#include "simkit/SimAdmin.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestCertificates.h"

namespace e2e {
namespace {

const int kHostTimeoutMs = 60000;

void collect(const std::string& dir, std::string& text) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return;
    while (struct dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = dir + "/" + name;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) continue;
        if (S_ISDIR(info.st_mode))
            collect(path, text);
        else if (S_ISREG(info.st_mode))
            text += "==> " + path + "\n" + readWholeFile(path) + "\n";
    }
    closedir(d);
}

}  // namespace

std::string allFilesUnder(const std::string& dir) {
    std::string text;
    collect(dir, text);
    return text;
}

void pauseMs(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

World::World(const std::string& seedJson, bool withStore) : World(seedJson, {"--strict-snapshot-paths"}, withStore) {}

World::World(const std::string& seedJson, const std::vector<std::string>& simulatorOptions, bool withStore) {
    const std::string certs = testsupport::certDir();
    if (dir_.path().empty() || certs.empty()) {
        error_ = "no temporary directory or test certificate";
        return;
    }
    const std::string seedFile = dir_.path() + "/seed.json";
    if (!writeWholeFile(seedFile, seedJson)) {
        error_ = "cannot write the seed";
        return;
    }
    std::vector<std::string> arguments = {"--state", dir_.path() + "/arraysim.db", "--seed", seedFile};
    arguments.insert(arguments.end(), simulatorOptions.begin(), simulatorOptions.end());
    simkit::SimOptions options = testsupport::simOptions(arguments);
    options.logFile = dir_.path() + "/arraysim.log";
    options.adminToken = randomToken();
    std::string error;
    if (!simulator_.start(options, error)) {
        error_ = error;
        return;
    }
    if (withStore) createStore();
}

int requestsInFlight() {
    const char* text = std::getenv("HNAS_TEST_REQUESTS_IN_FLIGHT");
    return text != nullptr && std::atoi(text) > 1 ? std::atoi(text) : 1;
}

bool World::createStore(const std::string& storeDir) {
    const simkit::SimOptions& options = simulator_.options();
    std::vector<std::vector<std::string>> setup = {
        {"init"},
        {"set-setting", "~Vorlane", "nRevertMountPathRefreshWaitInSecs", "0"},
        {"set-setting", "~Vorlane/HNASClient", "sCAFile", options.caFile},
        {"set-setting", "~Vorlane/HNASClient", "nConnectTimeoutSecs", "5"},
        {"set-setting", "~Vorlane/HNASClient", "nRequestTimeoutSecs", "10"},
        {"set-setting", "~Vorlane/HNASClient", "nRetryBackoffMs", "10"},
    };
    // The whole suite runs again with calls made ahead (ctest's *_inflight8).
    if (const char* inFlight = std::getenv("HNAS_TEST_REQUESTS_IN_FLIGHT"))
        setup.push_back({"set-setting", "~Vorlane/HNASClient", "nRequestsInFlight", inFlight});
    for (const auto& args : setup) {
        const HostRun run = hostOn(storeDir.empty() ? storeDirectory() : storeDir, args);
        if (run.exitCode != 0) {
            error_ = "hnas-host " + args[0] + " failed: " + run.output;
            return false;
        }
    }
    return true;
}

World::~World() { simulator_.stop(); }

HostRun World::host(const std::vector<std::string>& args) { return hostOn(storeDirectory(), args); }

HostRun World::hostOn(const std::string& storeDir, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {HNAS_HOST_BINARY, "--store", storeDir};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string output = dir_.path() + "/run-" + std::to_string(++runs_) + ".out";
    const syskit::ProcessResult result = syskit::runProcess(argv, output, kHostTimeoutMs);
    HostRun run;
    run.exitCode = result.exitCode;
    run.output = readWholeFile(output);
    return run;
}

pid_t World::startHost(const std::vector<std::string>& args, std::string& outputFile) {
    std::vector<std::string> argv = {HNAS_HOST_BINARY, "--store", storeDirectory()};
    argv.insert(argv.end(), args.begin(), args.end());
    outputFile = dir_.path() + "/run-" + std::to_string(++runs_) + ".out";
    return syskit::startProcess(argv, outputFile);
}

HostRun World::addArray(const std::string& name, const std::string& arrayId, int controlHostId,
                        const std::string& user, const std::string& password, int atPort,
                        const std::string& storeDir) {
    const std::string passwordFile = dir_.path() + "/password-" + name;
    writeWholeFile(passwordFile, password + "\n");
    const std::string port = std::to_string(atPort != 0 ? atPort : simulator_.port());
    return hostOn(storeDir.empty() ? storeDirectory() : storeDir,
                  {"add-array", name, "--array-id", arrayId, "--control-host", "127.0.0.1", "--control-host-id",
                   std::to_string(controlHostId), "--user", user, "--password-file", passwordFile, "--address",
                   "127.0.0.1", "--port", port});
}

HostRun World::addDevice(const std::string& label, const std::string& sourceDevice) {
    return host({"add-device", "--label", label, sourceDevice});
}

bool World::storeDeviceUnchecked(const std::string& label, const std::string& sourceDevice) {
    HostStore store;
    std::string error;
    DeviceRecord device;
    device.label = label;
    device.sourceDevice = sourceDevice;
    return store.open(storeDirectory(), error) && store.addDevice(device, error);
}

bool World::storeSettingUnchecked(const SettingRecord& setting) {
    HostStore store;
    std::string error;
    return store.open(storeDirectory(), error) && store.setSetting(setting, error);
}

bool World::forgetRestorePoint(const std::string& snapUUID, const std::string& storeDir) {
    sqlite3* db = nullptr;
    const std::string path = (storeDir.empty() ? storeDirectory() : storeDir) + "/host.db";
    bool done = sqlite3_open(path.c_str(), &db) == SQLITE_OK;
    sqlite3_stmt* forget = nullptr;
    done = done && sqlite3_prepare_v2(db, "DELETE FROM restore_points WHERE snap_uuid = ?1", -1, &forget, nullptr) ==
                       SQLITE_OK;
    done = done && sqlite3_bind_text(forget, 1, snapUUID.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
           sqlite3_step(forget) == SQLITE_DONE && sqlite3_changes(db) == 1;
    sqlite3_finalize(forget);
    sqlite3_close(db);
    return done;
}

HostRun World::job(const std::string& operation, const std::vector<std::string>& devices) {
    std::vector<std::string> args = {"run", operation, "--quiet"};
    args.insert(args.end(), devices.begin(), devices.end());
    return host(args);
}

std::map<std::string, DeviceRecord> World::devices() {
    std::map<std::string, DeviceRecord> byLabel;
    HostStore store;
    std::string error;
    std::vector<DeviceRecord> all;
    if (!store.open(storeDirectory(), error) || !store.loadDevices(all, error)) return byLabel;
    for (const DeviceRecord& d : all) byLabel[d.label] = d;
    return byLabel;
}

bool World::injectFault(const std::string& fault) {
    std::string answer;
    std::string error;
    return simkit::adminCall(simulator_, "POST", "/admin/faults", fault, answer, error);
}

int World::callCount(const std::string& operation) { return simkit::callCount(simulator_, operation); }

bool World::faultsUsedUp() {
    std::string answer;
    std::string error;
    if (!simkit::adminCall(simulator_, "GET", "/admin/faults", "", answer, error)) return false;
    const nlohmann::json faults = nlohmann::json::parse(answer, nullptr, false);
    return !faults.is_discarded() && faults.contains("faults") && faults["faults"].is_array() &&
           faults["faults"].empty();
}

std::vector<std::string> World::snapshotNames() {
    std::vector<SimSnapshot> snapshots;
    std::string error;
    std::vector<std::string> names;
    if (!listSimSnapshots(simulator_, snapshots, error)) return names;
    for (const SimSnapshot& s : snapshots) names.push_back(s.storedName);
    return names;
}

void World::clearCalls() {
    std::string answer;
    std::string error;
    simkit::adminCall(simulator_, "DELETE", "/admin/calls", "", answer, error);
}

}  // namespace e2e
