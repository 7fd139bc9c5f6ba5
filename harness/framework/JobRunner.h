// One job: one operation of the plug-in on chosen devices, in this process.
// When it starts and when it ends, it removes the logs of the jobs beyond
// the last [hnas-host] nKeepJobLogs (LogPruning.h).
//
// The job locks its devices (StoreLocks.h) and holds them to its end, then
// loads the devices, arrays and settings from the store, records its start,
// writes the settings file the plug-in reads ($QZ_SETTINGS_FILE), creates
// its own log files (the plug-in's through $QZ_LOG_FILE), builds the host
// objects, calls one entry point (each write of the plug-in is stored as it
// is made), and records every device's result and its end.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "harness/framework/HostRecords.h"
#include "harness/framework/HostStore.h"

struct JobRequest {
    std::string operation;               // e.g. "snap"
    std::vector<std::string> devices;    // labels or ids, e.g. {"cifs-data", "3"}
    bool allDevices = false;             // every device of the store, in id order
    std::string pluginPath;              // "" = the built one
    int mountRequestSource = 1;          // for map and unmap: 2 = GUI, 0 = the host has no value
    int waitSeconds = 0;                 // how long to wait for a device another job holds
    // map, unmap, revert, delete: the restore point to act on (restore-points),
    // which names its device; 0: each device's latest point. A device whose
    // point is not the snapshot it holds now acts on the point: the plug-in
    // sees the point's snapshot and metadata, and its writes go to the point.
    long long pointId = 0;
    // Told the devices done of the job's devices as the plug-in sets their
    // statuses (JobProgress.h), from the job's start; may be empty.
    std::function<void(int done, int total)> progress;
};

// A device the operation failed, with the reason: its error text, else the
// last failure line the plug-in logged for it, else where to look.
struct DeviceFailure {
    std::string device;                  // its display name, e.g. "dev-a"
    int status = 0;
    std::string reason;
};

// "dev-a: PREPARE_FAILED: Unable to fetch filer info ...".
std::string failureLine(const DeviceFailure& failure);

// An array whose client failed while devices attached to it failed: the
// client's own reason, said once for the array (ArrayClientFailures.h).
struct ArrayFailure {
    std::string array;                   // e.g. "hnas1"
    std::string reason;                  // e.g. "createFileSystemSnapshot failed: cannot connect (...) ..."
};

struct JobOutcome {
    JobRecord job;
    int pluginResult = -1;
    std::vector<DeviceRecord> devices;   // as committed, in the order given
    // Each array whose client failed, in the order of its first failed
    // device, then each device the operation failed, in the order given.
    std::vector<ArrayFailure> arrayFailures;
    std::vector<DeviceFailure> failures;
    // For an operation that fails no device (is-mapped, reconcile): each
    // array its client could not reach, whose devices were answered for
    // without it (the job then exits kExitWithoutArray).
    std::vector<ArrayFailure> arraysNotReached;
    // The devices that acted on an earlier restore point, not on the
    // snapshot their rows hold.
    std::vector<long long> onPoints;
    // What the operator should mend, for the terminal, e.g. an API key file
    // that others may read (ArrayKeys.h).
    std::vector<std::string> warnings;
};

// Runs the job; returns an exit code of ExitCodes.h, with `error` said when
// the job could not run or could not be recorded (kExitBusy: a device is
// held by another job for longer than `waitSeconds`).
int runJob(HostStore& store, const JobRequest& request, JobOutcome& outcome, std::string& error);

// Picks the devices named by `refs` ("cifs-data", "3" or "#3"); false with
// the unknown or repeated name.
bool selectDevices(const std::vector<DeviceRecord>& all, const std::vector<std::string>& refs,
                   std::vector<DeviceRecord>& chosen, std::string& error);

// "device d1 is in use by job 7 (snap, started 2026-12-10 12:00:01)": the
// job that holds `device`, found in `jobs` ("another job" when none is).
std::string deviceInUse(const DeviceRecord& device, const std::vector<JobRecord>& jobs);

// The settings as the INI text the platform settings store reads, e.g.
// "[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=1\n".
std::string renderSettings(const std::vector<SettingRecord>& settings);
