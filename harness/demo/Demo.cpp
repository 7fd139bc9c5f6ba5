#include "harness/demo/Demo.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "harness/demo/DemoScenario.h"
#include "harness/demo/SimulatorState.h"
#include "syskit/ChildProcess.h"
#include "harness/demo/WorkspaceFiles.h"
#include "harness/framework/ArrayAccess.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/PrivateFiles.h"
#include "harness/framework/HostOperations.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/PluginLoader.h"
#include "harness/framework/TextTables.h"
#include "host/SnapStatus.h"
#include "simkit/SimProcess.h"

namespace {

const int kJobTimeoutMs = 120000;
const int kCertTimeoutMs = 60000;
// The device whose snapshot an administrator removes behind the plug-in's back.
const char kRemovedDevice[] = "nfs-exp1";

struct DemoWorld {
    std::string workspace;
    std::string pluginPath;
    std::string self;
    std::string jobOutput;
    simkit::SimProcess simulator;
    HostStore store;
    std::vector<std::string> labels;           // every demo device
    std::set<std::string> dropped;             // devices the framework leaves out from now on
};

// A check beyond the statuses; false with what is wrong.
using StepCheck = bool (*)(DemoWorld&, const std::vector<DeviceRecord>&, std::string& note);

struct DemoStep {
    const char* operation;                     // a job, or null for the removal behind the plug-in's back
    int expectedReturn;
    // Expected status of every device of the job; devices not named here
    // expect `otherwise`.
    std::map<std::string, int> expected;
    int otherwise;
    const char* expectation;                   // for the table of expected outcomes
    StepCheck check;
};

double secondsSince(const struct timespec& start) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) + static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

const DeviceRecord* byLabel(const std::vector<DeviceRecord>& devices, const std::string& label) {
    for (const DeviceRecord& d : devices)
        if (d.label == label) return &d;
    return nullptr;
}

size_t countSnapshots(DemoWorld& world, std::string& error, bool& ok) {
    std::vector<SimSnapshot> snapshots;
    ok = listSimSnapshots(world.simulator, snapshots, error);
    size_t n = 0;
    for (const SimSnapshot& s : snapshots) n += startsWith(s.storedName, kOwnSnapshotPrefix);
    return n;
}

size_t countMappedShares(DemoWorld& world, std::string& error, bool& ok) {
    std::vector<SimShare> shares;
    ok = listSimShares(world.simulator, shares, error);
    size_t n = 0;
    for (const SimShare& s : shares)
        n += startsWith(s.name, kOwnSnapshotPrefix) || startsWith(s.name, "/" + kOwnSnapshotPrefix);
    return n;
}

bool checkSnap(DemoWorld& world, const std::vector<DeviceRecord>& devices, std::string& note) {
    const DeviceRecord* home = byLabel(devices, "native-home");
    const DeviceRecord* exp3 = byLabel(devices, "nfs-exp3");
    if (home == nullptr || exp3 == nullptr || home->snapUUID != exp3->snapUUID) {
        note = "native-home and nfs-exp3 do not share one snapshot";
        return false;
    }
    std::string error;
    bool ok = false;
    const size_t snapshots = countSnapshots(world, error, ok);
    if (!ok || snapshots != 3) {
        note = ok ? "the arrays hold " + std::to_string(snapshots) + " snapshots, not 3" : error;
        return false;
    }
    note = "3 snapshots on the arrays; native-home and nfs-exp3 share " + home->snapUUID;
    return true;
}

bool checkMap(DemoWorld& world, const std::vector<DeviceRecord>& devices, std::string& note) {
    for (const DeviceRecord& d : devices)
        if (d.snapDevice.empty()) {
            note = d.label + " has no snap device";
            return false;
        }
    std::string error;
    bool ok = false;
    const size_t shares = countMappedShares(world, error, ok);
    if (!ok || shares != devices.size()) {
        note = ok ? "the arrays hold " + std::to_string(shares) + " shares over snapshots, not " +
                        std::to_string(devices.size())
                  : error;
        return false;
    }
    note = std::to_string(shares) + " shares and exports over snapshots on the arrays";
    return true;
}

bool checkUnmap(DemoWorld& world, const std::vector<DeviceRecord>& devices, std::string& note) {
    for (const DeviceRecord& d : devices)
        if (!d.snapDevice.empty()) {
            note = d.label + " still has a snap device";
            return false;
        }
    std::string error;
    bool ok = false;
    const size_t shares = countMappedShares(world, error, ok);
    if (!ok || shares != 0) {
        note = ok ? std::to_string(shares) + " shares over snapshots are left" : error;
        return false;
    }
    note = "no share over a snapshot is left";
    return true;
}

bool checkDelete(DemoWorld& world, const std::vector<DeviceRecord>&, std::string& note) {
    std::string error;
    bool ok = false;
    const size_t snapshots = countSnapshots(world, error, ok);
    if (!ok || snapshots != 0) {
        note = ok ? std::to_string(snapshots) + " snapshots are left on the arrays" : error;
        return false;
    }
    note = "no snapshot is left on the arrays";
    return true;
}

const std::vector<DemoStep>& demoSteps() {
    using namespace QZSO;
    static const std::vector<DemoStep> steps = {
        {"prepare", 0, {}, SNAP_STATUS_PREPARED, "all PREPARED", nullptr},
        {"snap", 0, {}, SNAP_STATUS_SNAPPED, "all SNAPPED; native-home and nfs-exp3 share one snapshot", checkSnap},
        {"is-mapped", 0, {}, SNAP_STATUS_NOT_MAPPED, "all NOT_MAPPED (nothing is mapped yet)", nullptr},
        {"map", 0, {}, SNAP_STATUS_MAPPED, "all MAPPED, each with a snap device", checkMap},
        {"is-mapped", 0, {{"native-home", SNAP_STATUS_MAPPED}, {"nfs-exp3", SNAP_STATUS_MAPPED}},
         SNAP_STATUS_NOT_MAPPED, "native-home and nfs-exp3 MAPPED, the others NOT_MAPPED (see note)", nullptr},
        {"unmap", 0, {}, SNAP_STATUS_UNMAPPED, "all UNMAPPED, snap devices cleared", checkUnmap},
        {nullptr, 0, {}, 0, "an administrator deletes nfs-exp1's snapshot on the array", nullptr},
        {"reconcile", 2, {{kRemovedDevice, SNAP_STATUS_EXTERNALLY_DELETED}}, SNAP_STATUS_UNMAPPED,
         "nfs-exp1 EXTERNALLY_DELETED, the others unchanged; returns 2", nullptr},
        {"revert", 0, {}, SNAP_STATUS_UNMAPPED, "without nfs-exp1: statuses unchanged", nullptr},
        {"delete", 0, {}, SNAP_STATUS_DELETED, "without nfs-exp1: all DELETED, no snapshot left", checkDelete},
    };
    return steps;
}

void printExpectations() {
    std::vector<std::vector<std::string>> rows;
    int n = 0;
    for (const DemoStep& step : demoSteps())
        rows.push_back({step.operation != nullptr ? std::to_string(++n) : "", step.operation != nullptr ? step.operation : "(array)",
                        step.operation != nullptr ? std::to_string(step.expectedReturn) : "", step.expectation});
    printf("Expected outcomes:\n%s", formatTable({"job", "operation", "returns", "devices"}, rows).c_str());
    printf("Note: is-mapped looks for a share or export named after the snapshot itself. Only a native\n"
           "device's export is named so; map names the shares and exports of CIFS and NFS devices\n"
           "\"<snapshot>-<share>-QZShare\", so is-mapped reports those NOT_MAPPED even while they exist.\n"
           "nfs-exp3 shares its snapshot with native-home, so it finds native-home's export and reports\n"
           "MAPPED. That is how the plug-in is meant to behave. A device whose snapshot is gone\n"
           "(EXTERNALLY_DELETED) is left out of later jobs, as a framework would.\n\n");
}

// What is wrong with how the job's process ended and what it recorded, in
// `wrong`.
void judgeJob(const DemoWorld& world, const DemoStep& step, const syskit::ProcessResult& process,
              const JobRecord* job, std::vector<std::string>& wrong) {
    if (!process.started || process.timedOut || process.signal != 0) {
        wrong.push_back(process.timedOut ? "the job did not end within " + std::to_string(kJobTimeoutMs / 1000) + " s"
                        : process.signal != 0 ? "the job process died of signal " + std::to_string(process.signal)
                                              : "the job process did not start");
    } else if (process.exitCode != exitCodeForPluginResult(step.expectedReturn)) {
        wrong.push_back("hnas-host exited " + std::to_string(process.exitCode) + ", expected " +
                        std::to_string(exitCodeForPluginResult(step.expectedReturn)) + " (see " + world.jobOutput +
                        ")");
    }
    if (job == nullptr || job->outcome != kJobDone) {
        wrong.push_back("the job was not recorded as done");
    } else if (job->returnCode != step.expectedReturn) {
        wrong.push_back("the plug-in returned " + std::to_string(job->returnCode) + ", expected " +
                        std::to_string(step.expectedReturn));
    }
}

// Runs one job as its own process and judges it; true when as expected.
bool runStep(DemoWorld& world, const DemoStep& step, int number) {
    std::vector<std::string> devices;
    for (const std::string& label : world.labels)
        if (world.dropped.count(label) == 0) devices.push_back(label);
    std::string list;
    for (const std::string& d : devices) list += (list.empty() ? "" : ", ") + d;
    printf("== job %d: %s on %s\n", number, step.operation, list.c_str());
    fflush(stdout);

    std::vector<JobRecord> before;
    std::string error;
    world.store.loadJobs(before, error);
    std::vector<std::string> argv = {world.self, "--store", world.store.directory(), "run", step.operation,
                                     "--plugin", world.pluginPath, "--quiet"};
    argv.insert(argv.end(), devices.begin(), devices.end());
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const syskit::ProcessResult process = syskit::runProcess(argv, world.jobOutput, kJobTimeoutMs);
    const double seconds = secondsSince(start);

    std::vector<std::string> wrong;
    std::vector<JobRecord> jobs;
    std::vector<DeviceRecord> all;
    if (!world.store.loadJobs(jobs, error) || !world.store.loadDevices(all, error)) wrong.push_back(error);
    const JobRecord* job = jobs.size() > before.size() ? &jobs.back() : nullptr;
    judgeJob(world, step, process, job, wrong);
    std::vector<DeviceRecord> shown;
    for (const std::string& label : devices) {
        const DeviceRecord* d = byLabel(all, label);
        if (d == nullptr) continue;
        shown.push_back(*d);
        const auto named = step.expected.find(label);
        const int expected = named != step.expected.end() ? named->second : step.otherwise;
        if (d->status != expected)
            wrong.push_back(label + " is " + snapStatusName(d->status) + ", expected " + snapStatusName(expected));
    }
    printf("%s", deviceStateTable(shown).c_str());
    std::string note;
    if (wrong.empty() && step.check != nullptr && !step.check(world, shown, note)) wrong.push_back(note);

    if (wrong.empty()) {
        printf("verdict: as expected (returned %d in %.1f s%s%s)\n\n", job->returnCode, seconds,
               note.empty() ? "" : "; ", note.c_str());
    } else {
        std::string reasons;
        for (const std::string& w : wrong) reasons += (reasons.empty() ? "" : "; ") + w;
        printf("verdict: NOT AS EXPECTED: %s\n\n", reasons.c_str());
    }
    fflush(stdout);
    for (const DeviceRecord& d : shown)
        if (d.status == QZSO::SNAP_STATUS_EXTERNALLY_DELETED) world.dropped.insert(d.label);
    return wrong.empty();
}

bool removeSnapshotStep(DemoWorld& world) {
    std::vector<DeviceRecord> all;
    std::string error;
    const DeviceRecord* victim = nullptr;
    if (world.store.loadDevices(all, error)) victim = byLabel(all, kRemovedDevice);
    printf("== behind the plug-in's back: an administrator deletes %s's snapshot\n", kRemovedDevice);
    if (victim == nullptr || victim->snapUUID.empty()) {
        printf("verdict: NOT AS EXPECTED: %s has no snapshot name\n\n", kRemovedDevice);
        return false;
    }
    if (!removeSimSnapshot(world.simulator, victim->snapUUID, error)) {
        printf("verdict: NOT AS EXPECTED: %s\n\n", error.c_str());
        return false;
    }
    printf("removed %s through the simulator's admin interface\nverdict: as expected\n\n", victim->snapUUID.c_str());
    return true;
}

// Runs `hnas-host <args>` on the demo's store and prints what it printed;
// its exit code, -1 when it did not exit.
int runHostCommand(DemoWorld& world, const std::vector<std::string>& args, const std::string& outputFile,
                   std::string& output) {
    std::vector<std::string> argv = {world.self, "--store", world.store.directory()};
    argv.insert(argv.end(), args.begin(), args.end());
    unlink(outputFile.c_str());
    const syskit::ProcessResult process = syskit::runProcess(argv, outputFile, kJobTimeoutMs);
    output = readWholeFile(outputFile);
    printf("%s", output.c_str());
    return process.started && !process.timedOut ? process.exitCode : -1;
}

// Before the first job: can the plug-in reach each array?
bool checkArraysStep(DemoWorld& world) {
    bool ok = true;
    for (const char* array : {kDemoHostArray1, kDemoHostArray2}) {
        printf("== check-array %s\n", array);
        std::string output;
        const int code = runHostCommand(world, {"check-array", array}, world.workspace + "/check-array.log", output);
        printf("verdict: %s\n\n", code == kExitOk ? "as expected (every step passed)" : "NOT AS EXPECTED: a step failed");
        ok = ok && code == kExitOk;
    }
    return ok;
}

// After the last job: no snapshot of the plug-in is left without a device.
bool orphansStep(DemoWorld& world) {
    printf("== orphans\n");
    std::string output;
    const int code = runHostCommand(world, {"orphans"}, world.workspace + "/orphans.log", output);
    const bool ok = code == kExitOk && output.find(kNoOrphans) != std::string::npos;
    printf("verdict: %s\n\n", ok ? "as expected (none)" : "NOT AS EXPECTED: orphaned snapshots or an array not asked");
    return ok;
}

bool makeWorkspace(const std::string& requested, std::string& path, std::string& error) {
    if (!requested.empty()) {
        if (mkdir(requested.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create " + requested + ": " + strerror(errno);
            return false;
        }
        // The demo's store, certificate key and simulator state go in it: a
        // directory another user made, or may write to, could be read or
        // have files planted in it.
        if (!checkPrivateDirectory(requested, error)) return false;
        path = requested;
        return true;
    }
    char name[] = "/tmp/hnas-demo-XXXXXX";
    if (mkdtemp(name) == nullptr) {
        error = std::string("cannot create a workspace under /tmp: ") + strerror(errno);
        return false;
    }
    path = name;
    return true;
}

// The certificate script beside this program: installed in the helper
// directory, and copied to the same place in the build tree.
std::string defaultCertScriptPath() {
    return programDirectory() + "/" HNAS_HELPERDIR_FROM_BINDIR "/make-test-cert.sh";
}

// Everything before the first job: workspace, certificate, simulator, store.
int setUp(const DemoOptions& options, DemoWorld& world, std::string& error) {
    if (!makeWorkspace(options.workspace, world.workspace, error)) return kExitHostError;
    const std::string& ws = world.workspace;
    world.self = programPath();
    world.pluginPath = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
    world.jobOutput = ws + "/jobs.log";
    const std::string arraysim =
        options.arraysimPath.empty() ? programDirectory() + "/hnas-arraysim" : options.arraysimPath;
    const std::string certScript = options.certScript.empty() ? defaultCertScriptPath() : options.certScript;
    if (access(world.pluginPath.c_str(), R_OK) != 0 || access(arraysim.c_str(), X_OK) != 0) {
        error = "missing " + (access(world.pluginPath.c_str(), R_OK) != 0 ? world.pluginPath : arraysim) +
                " (build it first, e.g. scripts/demo.sh)";
        return kExitUnavailable;
    }

    const std::string certDir = ws + "/cert";
    const syskit::ProcessResult cert = syskit::runProcess({certScript, certDir}, ws + "/cert.log", kCertTimeoutMs);
    if (!cert.started || cert.exitCode != 0) {
        error = "could not make a test certificate with " + certScript + " (see " + ws + "/cert.log)";
        return kExitUnavailable;
    }

    const DemoPasswords passwords = {randomToken(), randomToken()};
    const std::string seedFile = ws + "/seed.json";
    if (!writeWholeFile(seedFile, demoSeedJson(passwords))) {
        error = "cannot write " + seedFile;
        return kExitHostError;
    }
    simkit::SimOptions sim;
    sim.binary = arraysim;
    sim.certFile = certDir + "/server.pem";
    sim.keyFile = certDir + "/server.key";
    sim.caFile = certDir + "/ca.pem";
    // Shares only inside snapshots: the plug-in makes no other, so a share
    // anywhere else is a wrong clone path, and the job fails on it.
    sim.args = {"--state", ws + "/arraysim.db", "--seed", seedFile, "--strict-snapshot-paths"};
    sim.logFile = ws + "/arraysim.log";
    sim.adminToken = randomToken();
    if (!world.simulator.start(sim, error)) return kExitUnavailable;

    if (!world.store.create(ws + "/store", error) || !storeDemoSettings(world.store, sim.caFile, options.revertWaitSecs, error) ||
        !registerDemoArrays(world.store, world.simulator.port(), passwords, error) ||
        !addDemoDevices(world.store, error)) {
        return kExitHostError;
    }
    for (const DemoDevice& d : demoDevices()) world.labels.push_back(d.label);
    return kExitOk;
}

void printWorld(const DemoWorld& world) {
    printf("hnas-host demo: the plug-in's lifecycle against two simulated HNAS arrays, one job per process\n");
    printf("  workspace: %s\n  plug-in:   %s\n  simulator: https://127.0.0.1:%d (arrays %s and %s)\n\n",
           world.workspace.c_str(), world.pluginPath.c_str(), world.simulator.port(), kDemoArray1, kDemoArray2);
    printf("Arrays the host knows:\n");
    printf("%s\n", formatTable({"host name", "control host ID", "array ID", "how devices reach it"},
                               {{kDemoHostArray1, "1", "evs1", "devices name the filer hnas1: found by name"},
                                {kDemoHostArray2, "2", "evs2", "devices name the filer 127.0.2.11: alias search"}})
                       .c_str());
    std::vector<std::vector<std::string>> rows;
    for (const DemoDevice& d : demoDevices()) rows.push_back({d.label, d.description, d.sourceDevice});
    printf("Devices:\n%s\n", formatTable({"device", "what", "source device"}, rows).c_str());
}

}  // namespace

int runDemo(const DemoOptions& options) {
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    DemoWorld world;
    std::string error;
    const int setUpCode = setUp(options, world, error);
    if (setUpCode != kExitOk) {
        fprintf(stderr, "hnas-host demo: %s\n", error.c_str());
        if (!world.workspace.empty()) fprintf(stderr, "workspace: %s\n", world.workspace.c_str());
        return setUpCode;
    }
    printWorld(world);
    printExpectations();

    int jobs = 0;
    int failed = checkArraysStep(world) ? 0 : 1;
    for (const DemoStep& step : demoSteps()) {
        const bool ok = step.operation != nullptr ? runStep(world, step, ++jobs) : removeSnapshotStep(world);
        failed += ok ? 0 : 1;
    }
    failed += orphansStep(world) ? 0 : 1;
    world.simulator.stop();

    const std::string& ws = world.workspace;
    if (failed == 0)
        printf("All %d jobs ended as expected in %.1f s.\n", jobs, secondsSince(start));
    else
        printf("%d of %d steps did NOT end as expected (%.1f s).\n", failed, static_cast<int>(demoSteps().size()) + 2,
               secondsSince(start));
    printf("\nLogs and state, kept in %s:\n", ws.c_str());
    printf("%s", formatTable({"file", "what"},
                             {{"store/logs/job-<n>-<operation>.host.log", "host log of each job"},
                              {"store/logs/job-<n>-<operation>.plugin.log", "plug-in and array-client log of each job"},
                              {"jobs.log", "what the job processes printed (errors only)"},
                              {"check-array.log, orphans.log", "what check-array and orphans printed"},
                              {"arraysim.log", "the simulator's output"},
                              {"store/host.db", "the host store (descriptors, arrays, settings, history)"}})
                     .c_str());
    printf("Look at the store with: %s --store %s/store state --verbose   (or: history, list-arrays)\n",
           world.self.c_str(), ws.c_str());
    return failed == 0 ? kExitOk : kExitHostError;
}
