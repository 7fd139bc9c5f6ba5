#include "harness/framework/JobRunner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "harness/framework/ArrayAccess.h"
#include "harness/framework/ArrayKeys.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostLog.h"
#include "harness/framework/HostObjects.h"
#include "harness/framework/HostOperations.h"
#include "harness/framework/JobProgress.h"
#include "harness/framework/LogPruning.h"
#include "harness/framework/PluginLoader.h"
#include "harness/framework/PrivateFiles.h"
#include "harness/framework/SnapshotOwnership.h"
#include "harness/framework/StoreLocks.h"
#include "host/SnapStatus.h"

namespace {

// Variables the platform stand-ins read.
const char kLogFileVariable[] = "QZ_LOG_FILE";
const char kSettingsFileVariable[] = "QZ_SETTINGS_FILE";
const char kSettingsFile[] = "/settings.ini";

bool parseDeviceId(const std::string& ref, long long& id) {
    const std::string digits = !ref.empty() && ref[0] == '#' ? ref.substr(1) : ref;
    if (digits.empty() || digits.size() > 18) return false;
    id = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        id = id * 10 + (c - '0');
    }
    return true;
}

// "device d1 is in use by job 7 (snap, started 2026-12-10 12:00:01); ...".
std::string heldMessage(const DeviceRecord& device, const std::vector<JobRecord>& jobs) {
    return deviceInUse(device, jobs) + "; run this job when that one has ended, or give --wait SECONDS";
}

// Creates the job's two log files before anything is written to them.
bool createJobLogs(const JobRecord& job, HostLog& log, std::string& error) {
    const int pluginLog = createPrivateFile(job.pluginLog, O_APPEND, error);
    if (pluginLog < 0) return false;
    close(pluginLog);
    return log.open(job.hostLog, static_cast<unsigned long long>(job.id), error);
}

std::string joinedNames(const std::vector<DeviceRecord>& devices) {
    std::string names;
    for (const DeviceRecord& d : devices) names += (names.empty() ? "" : ",") + deviceDisplayName(d);
    return names;
}

}  // namespace

std::string deviceInUse(const DeviceRecord& device, const std::vector<JobRecord>& jobs) {
    std::string holder = "another job";
    for (const JobRecord& j : jobs)
        if (j.id == device.lastJobId && j.outcome == kJobRunning)
            holder = "job " + std::to_string(j.id) + " (" + j.operation + ", started " + j.started + ")";
    return "device " + deviceDisplayName(device) + " is in use by " + holder;
}

std::string renderSettings(const std::vector<SettingRecord>& settings) {
    std::string text;
    std::string section;
    bool first = true;
    for (const SettingRecord& s : settings) {
        // A line break would start another entry of the file.
        if ((s.section + s.key + s.value).find_first_of("\r\n") != std::string::npos) continue;
        if (first || s.section != section) {
            text += "[" + s.section + "]\n";
            section = s.section;
            first = false;
        }
        text += s.key + "=" + s.value + "\n";
    }
    return text;
}

bool selectDevices(const std::vector<DeviceRecord>& all, const std::vector<std::string>& refs,
                   std::vector<DeviceRecord>& chosen, std::string& error) {
    chosen.clear();
    std::set<long long> seen;
    for (const std::string& ref : refs) {
        const DeviceRecord* match = nullptr;
        long long id = 0;
        for (const DeviceRecord& d : all)
            if (!d.label.empty() && d.label == ref) match = &d;
        if (match == nullptr && parseDeviceId(ref, id))
            for (const DeviceRecord& d : all)
                if (d.id == id) match = &d;
        if (match == nullptr) {
            error = "no device \"" + ref + "\" in the store";
            return false;
        }
        if (!seen.insert(match->id).second) {
            error = "device \"" + ref + "\" is named twice";
            return false;
        }
        chosen.push_back(*match);
    }
    return true;
}

namespace {

// The operations that act on one snapshot of a device: its latest restore
// point, or the one the request names.
bool actsOnRestorePoint(const HostOperation& operation) {
    for (const char* name : {"map", "unmap", "revert", "delete"})
        if (std::string(name) == operation.name) return true;
    return false;
}

// The devices that act on an earlier restore point, as the plug-in sees
// them: the point's snap UUID, status, snap device and metadata. A device
// acts on its latest point, or on `pointId` when that is one of its points;
// the point that is the device's own snapshot leaves it as it is.
int pointDevices(HostStore& store, long long pointId, std::vector<DeviceRecord>& devices,
                 std::vector<long long>& onPoints, std::string& error) {
    std::vector<RestorePointRecord> points;
    if (!store.loadRestorePoints(points, error)) return exitCodeForStoreFailure(store.busy());
    bool named = pointId == 0;
    for (DeviceRecord& d : devices) {
        const RestorePointRecord* target = nullptr;
        for (const RestorePointRecord& p : points)
            if (p.deviceId == d.id && (pointId == 0 || p.id == pointId)) target = &p;
        if (target == nullptr) continue;
        named = true;
        if (target->snapUUID == d.snapUUID) continue;
        d.snapUUID = target->snapUUID;
        d.status = target->status;
        d.snapDevice = target->snapDevice;
        d.metadata = target->metadata;
        onPoints.push_back(d.id);
    }
    if (named) return kExitOk;
    error = "no restore point " + std::to_string(pointId) + " of the devices named (see restore-points)";
    return kExitBadInput;
}

// The device of restore point `pointId`, as "#<id>"; false when there is none.
bool deviceOfPoint(HostStore& store, long long pointId, std::string& ref, std::string& error) {
    std::vector<RestorePointRecord> points;
    if (!store.loadRestorePoints(points, error)) return false;
    for (const RestorePointRecord& p : points)
        if (p.id == pointId) ref = "#" + std::to_string(p.deviceId);
    if (ref.empty()) error = "no restore point " + std::to_string(pointId) + " (see restore-points)";
    return !ref.empty();
}

// Select: the devices the request names (or all, or the one of the named
// restore point), locked for the job and read afresh under the locks.
// kExitOk, or the exit code with `error`.
int selectJobDevices(HostStore& store, const JobRequest& request, std::vector<DeviceRecord>& devices,
                     HeldLocks& locks, std::string& error) {
    std::vector<DeviceRecord> all;
    if (!store.loadDevices(all, error)) return exitCodeForStoreFailure(store.busy());
    std::vector<std::string> refs = request.devices;
    if (request.pointId != 0 && refs.empty() && !request.allDevices) {
        std::string ref;
        if (!deviceOfPoint(store, request.pointId, ref, error))
            return store.busy() ? kExitBusy : kExitBadInput;
        refs.push_back(ref);
    }
    if (request.allDevices) {
        devices = all;
    } else if (!selectDevices(all, refs, devices, error)) {
        return kExitBadInput;
    }
    if (devices.empty()) {
        error = "no devices to run " + request.operation + " on";
        return kExitBadInput;
    }
    if (devices.size() > static_cast<size_t>(SHRT_MAX)) {
        error = "at most " + std::to_string(SHRT_MAX) + " devices fit one job";
        return kExitBadInput;
    }

    // The devices are the job's from here to its end; what another job left
    // in them is read only now.
    std::vector<long long> ids;
    for (const DeviceRecord& d : devices) ids.push_back(d.id);
    long long heldId = 0;
    const LockOutcome locked = lockDevices(store.lockDirectory(), ids, request.waitSeconds, locks, heldId, error);
    if (locked == LockOutcome::Failed) return kExitHostError;
    if (!store.loadDevices(all, error)) return exitCodeForStoreFailure(store.busy());
    if (locked == LockOutcome::Held) {
        std::vector<JobRecord> jobs;
        store.loadJobs(jobs, error);
        for (const DeviceRecord& d : all)
            if (d.id == heldId) error = heldMessage(d, jobs);
        return kExitBusy;
    }
    // A lock file removed under a running job (an operator clearing "stale"
    // locks) lets this job lock a new file of that name: a device whose last
    // job still runs, told by its process, is held all the same.
    store.refreshInterruptedJobs(ids);
    if (!store.loadDevices(all, error)) return exitCodeForStoreFailure(store.busy());
    for (DeviceRecord& chosen : devices) {
        for (const DeviceRecord& d : all) {
            if (d.id != chosen.id) continue;
            if (d.lastJobOutcome == kJobRunning) {
                locks.release();
                std::vector<JobRecord> jobs;
                store.loadJobs(jobs, error);
                error = heldMessage(d, jobs);
                return kExitBusy;
            }
            chosen = d;
        }
    }
    return kExitOk;
}

// What a job holds from its preparation to its record. The plug-in is
// unloaded last, after the log is closed.
struct PreparedJob {
    LoadedPlugin plugin;
    JobContext context;
    HostLog log;
    ArrayClientFailures clientFailures;
    HostWrites writes;
    std::map<long long, std::string> failureLines;
    JobProgress progress;
    int keepJobLogs = kDefaultKeepJobLogs;
};

// Removes the logs of the jobs beyond the ones kept; what could not be
// removed is said in the job's host log, and the job goes on.
void pruneLogs(HostStore& store, PreparedJob& prepared) {
    std::vector<JobRecord> jobs;
    std::string error;
    if (store.loadJobs(jobs, error))
        pruneJobLogs(store.logDirectory(), store.lockDirectory(), jobs, prepared.keepJobLogs, error);
    if (!error.empty()) prepared.log.write(1, "-", "hnas-host", "old job logs: " + error);
}

// Prepare: the plug-in loaded, the settings file written, the job's start
// stored with each device's fresh state, its log files made and the
// platform's variables pointed at them. kExitOk, or the exit code with
// `error`.
int prepareJob(HostStore& store, const JobRequest& request, const HostOperation& operation,
               std::vector<DeviceRecord>& devices, JobRecord& job, PreparedJob& prepared,
               std::vector<std::string>& warnings, std::string& error) {
    if (!prepared.plugin.load(request.pluginPath.empty() ? defaultPluginPath() : request.pluginPath, error))
        return kExitUnavailable;

    JobContext& context = prepared.context;
    if (actsOnRestorePoint(operation)) {
        const int code = pointDevices(store, request.pointId, devices, prepared.writes.onPoints, error);
        if (code != kExitOk) return code;
    } else if (request.pointId != 0) {
        error = std::string("--point goes with map, unmap, revert or delete, not ") + operation.name;
        return kExitUsage;
    }
    std::vector<SettingRecord> settings;
    std::vector<ArrayRecord> arrays;
    if (!store.loadArrays(arrays, error) || !store.loadSettings(settings, error))
        return exitCodeForStoreFailure(store.busy());
    for (const ArrayRecord& array : arrays) context.arrays.push_back(arrayForJob(array));
    const std::string settingsPath = store.directory() + kSettingsFile;
    if (!replaceFileAtomically(settingsPath, settingsFileText(settings, arrays), error)) return kExitHostError;
    warnings = readableKeyFileWarnings(arrays, settings);

    // Each job reports its own errors; a new snapshot gets a new name. Both
    // are stored with the job's start, before the plug-in sees them.
    for (DeviceRecord& d : devices) {
        d.errorCode = 0;
        d.errorMessage.clear();
        if (operation.startsNewSnapshot) d.snapUUID = newSnapUuid(store.identity());
    }
    job.operation = operation.name;
    job.devices = joinedNames(devices);
    if (!store.beginJob(job, devices, error, prepared.writes.onPoints)) return exitCodeForStoreFailure(store.busy());

    if (!createJobLogs(job, prepared.log, error)) {
        std::string ignored;
        store.finishJobOnly(job.id, kJobNoLogFile, ignored);
        return kExitHostError;
    }
    for (const std::string& warning : warnings) prepared.log.write(0, "-", "hnas-host", "warning: " + warning);
    std::string keepNote;
    prepared.keepJobLogs = keepJobLogsSetting(settings, keepNote);
    if (!keepNote.empty()) prepared.log.write(1, "-", "hnas-host", keepNote);
    pruneLogs(store, prepared);
    setenv(kSettingsFileVariable, settingsPath.c_str(), 1);
    setenv(kLogFileVariable, job.pluginLog.c_str(), 1);

    prepared.writes.store = &store;
    context.jobId = static_cast<unsigned long long>(job.id);
    context.mountRequestSource = operation.needsMountRequestSource ? request.mountRequestSource : 0;
    context.log = &prepared.log;
    context.writes = &prepared.writes;
    context.failureLines = &prepared.failureLines;
    context.clientFailures = &prepared.clientFailures;
    prepared.progress.report = request.progress;
    prepared.progress.start(job.operation, static_cast<int>(devices.size()));
    context.progress = &prepared.progress;
    return kExitOk;
}

// Call: the operation's entry point over one descriptor per device and the
// host utility. False when the plug-in threw.
bool callPlugin(const HostOperation& operation, const JobRecord& job, std::vector<DeviceRecord>& devices,
                PreparedJob& prepared, int& result) {
    std::vector<HostSnapInfo> descriptors;
    descriptors.reserve(devices.size());
    for (DeviceRecord& d : devices) descriptors.emplace_back(d, prepared.context);
    std::vector<QZSO::SnapInfo*> snaps;
    for (HostSnapInfo& s : descriptors) snaps.push_back(&s);
    HostOSUtil osUtil(prepared.context);
    const hostkit::ScopedSizeConvention convention(sizeConventionFromEnvironment());

    prepared.log.write(0, "-", "hnas-host", "job " + std::to_string(job.id) + ": " + job.operation + " on " +
                                                job.devices + " with " + prepared.plugin.path());
    const PluginOperation entry = prepared.plugin.entry().*(operation.entry);
    try {
        result = entry(snaps.data(), static_cast<short>(snaps.size()), &osUtil);
    } catch (...) {
        return false;
    }
    return true;
}

// The array a device's client failures count for: the one attached to it,
// else the only array the host knows.
std::string arrayOfDevice(const DeviceRecord& device, const JobContext& context) {
    if (!device.arrayName.empty() || context.arrays.size() != 1) return device.arrayName;
    return context.arrays.front().name;
}

// Each array whose client failed for one of `devices`, once, in the order
// of the devices. A failure no device of an array claimed (the plug-in left
// the group without touching its devices again) goes to the one array of
// `devices` still without a reason, when there is exactly one.
std::vector<ArrayFailure> clientFailedArrays(const std::vector<const DeviceRecord*>& devices,
                                             const PreparedJob& prepared) {
    std::vector<ArrayFailure> arrays;
    std::vector<std::string> withoutReason;
    auto listed = [](const std::vector<ArrayFailure>& list, const std::string& array) {
        for (const ArrayFailure& a : list)
            if (a.array == array) return true;
        return false;
    };
    for (const DeviceRecord* d : devices) {
        const std::string array = arrayOfDevice(*d, prepared.context);
        const std::string reason = prepared.clientFailures.firstFailure(d->arrayName);
        if (array.empty() || listed(arrays, array)) continue;
        if (!reason.empty())
            arrays.push_back({array, reason});
        else if (std::find(withoutReason.begin(), withoutReason.end(), array) == withoutReason.end())
            withoutReason.push_back(array);
    }
    withoutReason.erase(std::remove_if(withoutReason.begin(), withoutReason.end(),
                                       [&](const std::string& array) { return listed(arrays, array); }),
                        withoutReason.end());
    const std::string unclaimed = prepared.clientFailures.unattributed();
    if (withoutReason.size() == 1 && !unclaimed.empty()) arrays.push_back({withoutReason.front(), unclaimed});
    return arrays;
}

// The arrays whose client failed: for an operation that fails devices, the
// arrays of the failed devices; for one that answers for every device
// (is-mapped, reconcile), the arrays of all of them, reached or not.
void findClientFailures(const HostOperation& operation, const std::vector<DeviceRecord>& devices,
                        const PreparedJob& prepared, JobOutcome& outcome) {
    std::vector<const DeviceRecord*> concerned;
    for (const DeviceRecord& d : devices)
        if (operation.failureStatus == 0 || d.status == operation.failureStatus) concerned.push_back(&d);
    if (operation.failureStatus == 0)
        outcome.arraysNotReached = clientFailedArrays(concerned, prepared);
    else
        outcome.arrayFailures = clientFailedArrays(concerned, prepared);
}

// Each device the operation failed: its error text, else the last failure
// line the plug-in logged for it, else its array's client failure, else
// where to look.
std::vector<DeviceFailure> failedDevices(const HostOperation& operation, const std::vector<DeviceRecord>& devices,
                                         const PreparedJob& prepared, const std::vector<ArrayFailure>& arrays,
                                         const std::string& pluginLog) {
    std::vector<DeviceFailure> failures;
    for (const DeviceRecord& d : devices) {
        if (operation.failureStatus == 0 || d.status != operation.failureStatus) continue;
        std::string reason = d.errorMessage;
        const auto logged = prepared.failureLines.find(d.id);
        if (reason.empty() && logged != prepared.failureLines.end()) reason = logged->second;
        for (const ArrayFailure& a : arrays)
            if (reason.empty() && a.array == arrayOfDevice(d, prepared.context))
                reason = "the array client failed for array " + a.array + " (see above)";
        if (reason.empty()) reason = "no reason given; see the plug-in log " + pluginLog;
        failures.push_back({deviceDisplayName(d), d.status, reason});
    }
    return failures;
}

// Each snap that succeeded makes a restore point of the device's new
// snapshot; a delete that removed it, or a reconcile that found it gone,
// ends the device's restore point of it; a map, unmap or revert leaves the
// point with the device's state (a prepare or an is-mapped does not: they
// say nothing of one snapshot).
RestorePointChanges restorePointChanges(const HostOperation& operation, const std::vector<DeviceRecord>& devices) {
    RestorePointChanges changes;
    for (const DeviceRecord& d : devices) {
        if (operation.startsNewSnapshot && d.status == QZSO::SNAP_STATUS_SNAPPED) changes.made.push_back(d.id);
        if (d.status == QZSO::SNAP_STATUS_DELETED || d.status == QZSO::SNAP_STATUS_EXTERNALLY_DELETED)
            changes.deleted.push_back(d.id);
        else if (actsOnRestorePoint(operation))
            changes.updated.push_back(d.id);
    }
    return changes;
}

// Record: the job's end with each device's result, or, when the plug-in
// threw, the end alone. The job's exit code, with `error` when the plug-in
// threw or a write could not be stored.
int recordJob(HostStore& store, bool returned, PreparedJob& prepared, JobOutcome& outcome, std::string& error) {
    JobRecord& job = outcome.job;
    if (!returned) {
        prepared.log.write(2, "-", "hnas-host", "the plug-in threw an exception; the devices keep what it stored before");
        std::string ignored;
        store.finishJobOnly(job.id, kJobException, ignored);
        error = "the plug-in threw an exception";
        return kExitPluginOdd;
    }
    prepared.log.write(0, "-", "hnas-host", "the plug-in returned " + std::to_string(outcome.pluginResult));
    const HostOperation& operation = *findHostOperation(job.operation);
    findClientFailures(operation, outcome.devices, prepared, outcome);
    for (const ArrayFailure& a : outcome.arrayFailures)
        prepared.log.write(2, "-", "hnas-host", arrayClientFailureLine(a.array, a.reason));
    for (const ArrayFailure& a : outcome.arraysNotReached)
        prepared.log.write(2, "-", "hnas-host", arrayNotReachedLine(a.array, a.reason));
    outcome.failures = failedDevices(operation, outcome.devices, prepared, outcome.arrayFailures, job.pluginLog);
    const HostWrites& writes = prepared.writes;
    std::string endError;
    bool committed =
        store.commitJob(job.id, outcome.devices, outcome.pluginResult, kJobDone, endError,
                        restorePointChanges(operation, outcome.devices));
    // A commit that failed while syncing may still stand in the store's log
    // and count when the store is next opened: say what a reader will find.
    std::string endNote;
    if (!committed) {
        committed = store.outcomeSeenAfresh(job.id) == kJobDone;
        endNote = committed ? "the job's end is recorded, but the disk reported an error while making it durable (" +
                                  endError + "): it may not survive a crash of the machine"
                            : "the job's end is not recorded (" + endError +
                                  "): history shows the job as interrupted";
    }
    if (writes.failed > 0) {
        error = std::to_string(writes.failed) + " write(s) of the plug-in could not be stored (" + writes.firstError +
                "); the plug-in was told, and the store keeps everything stored before" +
                (endNote.empty() ? std::string() : "; " + endNote);
        return kExitHostError;
    }
    if (!endNote.empty()) {
        error = endNote;
        return kExitHostError;
    }
    job.returnCode = outcome.pluginResult;
    job.outcome = kJobDone;
    for (DeviceRecord& d : outcome.devices) {
        d.lastJobId = job.id;
        d.lastJobOutcome = job.outcome;
    }
    const int code = exitCodeForPluginResult(outcome.pluginResult);
    return code == kExitOk && !outcome.arraysNotReached.empty() ? kExitWithoutArray : code;
}

}  // namespace

int runJob(HostStore& store, const JobRequest& request, JobOutcome& outcome, std::string& error) {
    const HostOperation* operation = findHostOperation(request.operation);
    if (operation == nullptr) {
        error = "unknown operation \"" + request.operation + "\"";
        return kExitUsage;
    }
    HeldLocks locks;   // the devices stay the job's until it returns
    int code = selectJobDevices(store, request, outcome.devices, locks, error);
    if (code != kExitOk) return code;
    PreparedJob prepared;
    code = prepareJob(store, request, *operation, outcome.devices, outcome.job, prepared, outcome.warnings, error);
    outcome.onPoints = prepared.writes.onPoints;
    if (code != kExitOk) return code;
    const bool returned = callPlugin(*operation, outcome.job, outcome.devices, prepared, outcome.pluginResult);
    code = recordJob(store, returned, prepared, outcome, error);
    pruneLogs(store, prepared);
    return code;
}

std::string failureLine(const DeviceFailure& failure) {
    return failure.device + ": " + snapStatusName(failure.status) + ": " + failure.reason;
}
