// One job: one operation of the plug-in on chosen devices, in this process.
//
// The job loads the devices, arrays and settings from the store, records
// its start, writes the settings file the plug-in reads ($QZ_SETTINGS_FILE)
// and points the plug-in's log ($QZ_LOG_FILE) at the job's own file, builds
// the host objects, calls one entry point, and commits everything the
// plug-in reported in one transaction.
#pragma once

#include <string>
#include <vector>

#include "harness/HostRecords.h"
#include "harness/HostStore.h"

struct JobRequest {
    std::string operation;               // e.g. "snap"
    std::vector<std::string> devices;    // labels or ids, e.g. {"cifs-data", "3"}
    bool allDevices = false;             // every device of the store, in id order
    std::string pluginPath;              // "" = the built one
    int mountRequestSource = 1;          // for map and unmap: 2 = GUI, 0 = the host has no value
};

struct JobOutcome {
    JobRecord job;
    int pluginResult = -1;
    std::vector<DeviceRecord> devices;   // as committed, in the order given
};

// Runs the job; returns an exit code of ExitCodes.h, with `error` said when
// the job could not run or could not be recorded.
int runJob(HostStore& store, const JobRequest& request, JobOutcome& outcome, std::string& error);

// Picks the devices named by `refs` ("cifs-data", "3" or "#3"); false with
// the unknown or repeated name.
bool selectDevices(const std::vector<DeviceRecord>& all, const std::vector<std::string>& refs,
                   std::vector<DeviceRecord>& chosen, std::string& error);

// The settings as the INI text the platform settings store reads, e.g.
// "[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=1\n".
std::string renderSettings(const std::vector<SettingRecord>& settings);

// A fresh random snap UUID, e.g. "3f2a9c1e-7b4d-4e21-9a55-0c6b8e2d1f47".
std::string newSnapUuid();
