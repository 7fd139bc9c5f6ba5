// The end-to-end world of one test: hnas-arraysim on a free loopback port
// with its own state, a host store, and hnas-host run as a child process for
// every command, as a framework would run its jobs. Everything lives in a
// temporary directory removed with the world; every wait is bounded.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "harness/demo/WorkspaceFiles.h"
#include "harness/framework/HostRecords.h"
#include "simkit/SimProcess.h"

#include "tests/support/TempDirectory.h"

namespace e2e {

// The requests in flight the suite runs with (HNAS_TEST_REQUESTS_IN_FLIGHT,
// written into every store as nRequestsInFlight), 1 when not set.
int requestsInFlight();

struct HostRun {
    int exitCode = -1;      // -1 when it did not exit by itself
    std::string output;     // standard output and error
};

class World {
public:
    // Starts the simulator with `seedJson` and creates the store with the
    // settings the tests run with (the test CA, short time-outs, no wait
    // after a revert). ok() tells whether all of that worked.
    // With `createStore` false the store is left to createStore(), e.g. for
    // a test that mounts a file system where the store goes first.
    explicit World(const std::string& seedJson, bool createStore = true);
    // The same with the simulator's options `simulatorOptions` (e.g.
    // {"--ignore-no-default-security"}) in place of --strict-snapshot-paths,
    // which refuses a share outside a snapshot.
    World(const std::string& seedJson, const std::vector<std::string>& simulatorOptions, bool createStore = true);
    // Creates the store in `storeDir` (default: storeDirectory()) with the
    // settings above, e.g. a second store on the same simulator.
    bool createStore(const std::string& storeDir = std::string());
    ~World();

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& directory() const { return dir_.path(); }
    std::string storeDirectory() const { return dir_.path() + "/store"; }

    // `hnas-host --store <store> args...`, at most 60 s.
    HostRun host(const std::vector<std::string>& args);
    // The same on the store in `storeDir`.
    HostRun hostOn(const std::string& storeDir, const std::vector<std::string>& args);
    // The same in the background, output to `outputFile` (read it with
    // readWholeFile); the process id, or -1.
    pid_t startHost(const std::vector<std::string>& args, std::string& outputFile);
    // Registers an array through the command line (password from a file),
    // at the simulator's port unless `port` is given.
    HostRun addArray(const std::string& name, const std::string& arrayId, int controlHostId, const std::string& user,
                     const std::string& password, int port = 0, const std::string& storeDir = std::string());
    HostRun addDevice(const std::string& label, const std::string& sourceDevice);
    // Stores a device or a setting straight into the store, past the checks
    // of add-device and set-setting: what a store filled before those checks
    // may hold. False when the store refuses it.
    bool storeDeviceUnchecked(const std::string& label, const std::string& sourceDevice);
    bool storeSettingUnchecked(const SettingRecord& setting);
    // Removes the restore point of the snapshot `snapUUID` from the store in
    // `storeDir` (default: storeDirectory()), as a snap job that died
    // between the array's work and the host's record leaves it: no point
    // holds the snapshot, which is an orphan once its device moved on.
    bool forgetRestorePoint(const std::string& snapUUID, const std::string& storeDir = std::string());
    // One job: `run <operation> <devices...> --quiet`.
    HostRun job(const std::string& operation, const std::vector<std::string>& devices);

    // The devices as the store holds them, by label.
    std::map<std::string, DeviceRecord> devices();

    simkit::SimProcess& simulator() { return simulator_; }
    // POST /admin/faults with `fault` (JSON); false when refused.
    bool injectFault(const std::string& fault);
    // True once every injected fault has been used up.
    bool faultsUsedUp();
    // The stored names of the snapshots on the simulated arrays.
    std::vector<std::string> snapshotNames();
    // How many storage calls of `operation` (e.g. "createSnapshot") the
    // simulator has answered or dropped since the last clearCalls().
    int callCount(const std::string& operation);
    void clearCalls();

    World(const World&) = delete;
    World& operator=(const World&) = delete;

private:
    testsupport::TempDirectory dir_;
    simkit::SimProcess simulator_;
    std::string error_;
    int runs_ = 0;
};

// The text of every file under `dir`, each prefixed by its path.
std::string allFilesUnder(const std::string& dir);

void pauseMs(int ms);

// Polls `condition` every 50 ms for up to `timeoutMs`; true once it holds.
template <typename Condition>
bool eventually(Condition condition, int timeoutMs = 20000) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (condition()) return true;
        pauseMs(50);
    }
    return condition();
}

}  // namespace e2e
