// What the host keeps between jobs: descriptors, arrays with their
// configuration, platform settings and the history of jobs. Plain values;
// a job writes each change the plug-in makes to the store at once.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "hostkit/HostState.h"

// One snap descriptor: the state the in-memory host works over (source
// device, status, error, snap UUID and device, attached array, metadata),
// with the store's identity of it and the last job that worked on it.
struct DeviceRecord : hostkit::SnapState {
    long long id = 0;
    std::string label;               // short name for tables, e.g. "cifs-data"; may be empty
    long long lastJobId = 0;         // the last job that worked on the device, 0 = none
    std::string lastJobOutcome;      // that job's outcome, e.g. "interrupted"
};

// The name shown for a device: its label, else "#<id>".
std::string deviceDisplayName(const DeviceRecord& device);

// One array as the host's array management keeps it, with the API key file
// its client sends the key of (e.g. "/etc/hnas/hnas1.key"; "" = the user and
// password of its array-info text). The path is kept, not the key: the
// operator rotates the key by replacing the file, the key never enters the
// store, and each job's client reads the file afresh.
struct ArrayRecord : hostkit::HostArray {
    std::string apiKeyFile;
};

// One platform setting, rendered into the settings file of every job.
struct SettingRecord {
    std::string section;             // e.g. "~Vorlane"
    std::string key;                 // e.g. "nRevertMountPathRefreshWaitInSecs"
    std::string value;
};

// Outcomes of a job.
constexpr char kJobRunning[] = "running";
constexpr char kJobDone[] = "done";                 // the entry point returned; its result is recorded
constexpr char kJobException[] = "exception";       // the plug-in threw
constexpr char kJobNoLogFile[] = "no log file";     // the job's log files could not be created
constexpr char kJobInterrupted[] = "interrupted";   // its process died before the job's end was recorded

// One restore point: what a successful snap left of one device, kept until
// a delete job deletes its snapshot. A device has one per snap that succeeded;
// the jobs that act on a snapshot (map, unmap, revert, delete) keep its
// status, snap device and metadata up to date.
struct RestorePointRecord {
    long long id = 0;
    long long deviceId = 0;
    std::string deviceName;          // as when the point was made, e.g. "cifs-data"
    std::string snapUUID;            // e.g. "3f2a9c1e-7b4d-4e21-9a55-5e0c2a7b91d4"
    int status = 5;                  // the snapshot's status, SNAPPED when made, e.g. MAPPED after a map
    std::string snapDevice;          // the snap device, e.g. the share a map made of it; often ""
    long long jobId = 0;             // the snap job that made it
    std::string created;             // that job's end, e.g. "2026-12-10 12:00:01"
    std::map<int, std::string> metadata;   // the device's metadata as the snap left it, by type
};

// What a job's end does to restore points: the devices whose new snapshot
// becomes one (a snap that succeeded), those whose snapshot was deleted, and
// those whose snapshot a job acted on.
struct RestorePointChanges {
    std::vector<long long> made;
    std::vector<long long> deleted;
    // The devices whose point of their snapshot takes their state as
    // committed: those a map, unmap or revert acted on.
    std::vector<long long> updated;
};

// One job of the history.
struct JobRecord {
    long long id = 0;
    std::string operation;           // e.g. "snap"
    std::string devices;             // the device names, joined by ","
    std::string started;             // local time, "2026-01-31 12:00:00"
    std::string finished;            // "" while running or when the job never finished
    int returnCode = -1;             // the entry point's result; -1 when none
    std::string outcome;             // one of the outcomes above
    std::string hostLog;             // paths of the job's log files, in the store's log directory
    std::string pluginLog;
    std::vector<long long> lastJobOf;   // the devices whose last job it is: those whose locks it may hold
};

// A device's state as one job left it.
struct JobResultRecord {
    long long jobId = 0;
    long long deviceId = 0;
    std::string deviceName;
    int status = 0;
    int errorCode = 0;
    std::string errorMessage;
    std::string snapUUID;
    std::string snapDevice;
};
