// The commands that run jobs and show what they left: run, state, history.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "harness/cli/CliCommand.h"
#include "harness/cli/Orphans.h"
#include "harness/cli/ProgressLine.h"
#include "harness/framework/ArrayClientFailures.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostOperations.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/JobRunner.h"
#include "harness/framework/JsonOutput.h"
#include "harness/framework/LogPruning.h"
#include "harness/framework/SettingsCatalog.h"
#include "harness/framework/TextTables.h"
#include "host/SnapStatus.h"

namespace {

// `run --json`: the job, each device's result, the failures.
JsonValue runJson(const JobOutcome& outcome) {
    JsonValue document = jsonDocument("run");
    const JobRecord& job = outcome.job;
    JsonValue j = JsonValue::object();
    j["id"] = job.id;
    j["operation"] = job.operation;
    j["pluginResult"] = outcome.pluginResult;
    j["outcome"] = job.outcome;
    j["hostLog"] = job.hostLog;
    j["pluginLog"] = job.pluginLog;
    document["job"] = j;
    JsonValue devices = JsonValue::array();
    for (const DeviceRecord& d : outcome.devices) {
        JsonValue device = deviceStateJson(d);
        device.erase("lastJob");
        device.erase("metadata");
        devices.push_back(device);
    }
    document["devices"] = devices;
    JsonValue failures = JsonValue::array();
    for (const DeviceFailure& f : outcome.failures) {
        JsonValue failure = {{"device", f.device}};
        addStatus(failure, f.status);
        failure["reason"] = f.reason;
        failures.push_back(failure);
    }
    document["failures"] = failures;
    JsonValue arrays = JsonValue::array();
    for (const ArrayFailure& a : outcome.arrayFailures) arrays.push_back({{"array", a.array}, {"reason", a.reason}});
    document["arrayFailures"] = arrays;
    JsonValue notReached = JsonValue::array();
    for (const ArrayFailure& a : outcome.arraysNotReached)
        notReached.push_back({{"array", a.array}, {"reason", a.reason}});
    document["arraysNotReached"] = notReached;
    return document;
}

// "host log: PATH", or that the log is gone: only the last jobs keep theirs.
std::string logLine(const char* which, const std::string& path) {
    if (logFilePresent(path)) return std::string(which) + ": " + path + "\n";
    return std::string(which) + ": removed (only the logs of the last [" + kHostSettingsSection + "] " +
           kKeepJobLogsKey + " jobs are kept)\n";
}

int cmdRun(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.empty()) return fail(kExitUsage, "run needs an OPERATION (see run --help)");
    JobRequest request;
    request.operation = args.positional[0];
    if (findHostOperation(request.operation) == nullptr)
        return fail(kExitUsage, "unknown operation \"" + request.operation + "\" (see run --help)");
    request.devices.assign(args.positional.begin() + 1, args.positional.end());
    request.allDevices = args.has("--all");
    int point = 0;
    if (args.has("--point") && !parseInt(args.value("--point"), 1, 2147483647, point))
        return fail(kExitBadInput, "--point takes a restore point's number (see restore-points)");
    request.pointId = point;
    if (request.allDevices ? !request.devices.empty() || point != 0 : request.devices.empty() && point == 0)
        return fail(kExitUsage, "name the devices, or give --all (not both), or --point N");
    request.pluginPath = args.value("--plugin");
    if (args.has("--mount-source") && !parseInt(args.value("--mount-source"), 0, 32767, request.mountRequestSource))
        return fail(kExitBadInput, "--mount-source must be a number from 0");
    if (args.has("--wait") && !parseInt(args.value("--wait"), 0, 86400, request.waitSeconds))
        return fail(kExitBadInput, "--wait takes seconds, 0 to 86400");
    const bool json = args.has("--json");
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::unique_ptr<ProgressLine> progress;
    if (wantProgressLine(args.has("--quiet"), json)) {
        progress = std::make_unique<ProgressLine>(stdout, request.operation);
        ProgressLine* line = progress.get();
        request.progress = [line](int done, int total) { line->update(done, total); };
    }
    JobOutcome outcome;
    std::string error;
    const int code = runJob(store, request, outcome, error);
    if (progress != nullptr) progress->finish();
    for (const std::string& warning : outcome.warnings) warn(warning);
    if (error.empty() && json) {
        printf("%s", jsonText(runJson(outcome)).c_str());
        fflush(stdout);
    } else if (error.empty() && !args.has("--quiet")) {
        printf("job %lld: %s returned %d\n%s", outcome.job.id, outcome.job.operation.c_str(), outcome.pluginResult,
               deviceStateTable(outcome.devices).c_str());
        printf("%zu device%s: %s\n", outcome.devices.size(), outcome.devices.size() == 1 ? "" : "s",
               statusTotalsText(devicesByStatus(outcome.devices)).c_str());
        printf("%s%s", logLine("host log", outcome.job.hostLog).c_str(),
               logLine("plug-in log", outcome.job.pluginLog).c_str());
        fflush(stdout);
    }
    // The array client's own reason once per array, then each failed device
    // with its reason, on standard error, also with --quiet.
    for (const ArrayFailure& a : outcome.arrayFailures)
        fprintf(stderr, "hnas-host: %s\n", arrayClientFailureLine(a.array, a.reason).c_str());
    for (const ArrayFailure& a : outcome.arraysNotReached)
        fprintf(stderr, "hnas-host: %s\n", arrayNotReachedLine(a.array, a.reason).c_str());
    for (const DeviceFailure& f : outcome.failures) fprintf(stderr, "hnas-host: %s\n", failureLine(f).c_str());
    if (!error.empty()) return fail(code, error);
    return code;
}

int cmdState(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<DeviceRecord> all;
    std::vector<DeviceRecord> chosen;
    std::string error;
    if (!store.loadDevices(all, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    if (args.positional.empty())
        chosen = all;
    else if (!selectDevices(all, args.positional, chosen, error))
        return fail(kExitBadInput, error);
    if (args.has("--status")) {
        int status = 0;
        if (!snapStatusFromName(args.value("--status"), status))
            return fail(kExitBadInput, "--status takes a status: " + snapStatusChoices());
        std::vector<DeviceRecord> inStatus;
        for (const DeviceRecord& d : chosen)
            if (d.status == status) inStatus.push_back(d);
        chosen.swap(inStatus);
    }
    if (args.has("--json")) {
        JsonValue document = jsonDocument("state");
        JsonValue devices = JsonValue::array();
        for (const DeviceRecord& d : chosen) devices.push_back(deviceStateJson(d));
        document["devices"] = devices;
        int code = kExitOk;
        if (args.has("--check-arrays")) {
            code = reportLeakedSnapshots(store, chosen, args.positional.empty(), error, &document);
            if (!error.empty()) return fail(code, error);
        }
        printf("%s", jsonText(document).c_str());
        return code;
    }
    printf("%s", deviceStateTable(chosen).c_str());
    int code = kExitOk;
    if (args.has("--check-arrays")) {
        code = reportLeakedSnapshots(store, chosen, args.positional.empty(), error);
        if (!error.empty()) return fail(code, error);
    }
    if (args.has("--verbose")) {
        for (const DeviceRecord& d : chosen) {
            printf("\n%s: status %d, array %s\n  source device: %s\n", deviceDisplayName(d).c_str(), d.status,
                   d.arrayName.empty() ? "-" : d.arrayName.c_str(), d.sourceDevice.c_str());
            for (const auto& m : d.metadata) printf("  metadata %d: %s\n", m.first, m.second.c_str());
        }
    }
    return code;
}

// The number of devices job `job` worked on: those it left results for, or
// while it runs, those it names.
int jobDeviceCount(const JobRecord& job, const std::map<int, int>& byStatus) {
    int count = 0;
    for (const auto& entry : byStatus) count += entry.second;
    if (count > 0 || job.devices.empty()) return count;
    return 1 + static_cast<int>(std::count(job.devices.begin(), job.devices.end(), ','));
}

int cmdHistory(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::string error;
    if (args.has("--job")) {
        int id = 0;
        if (!parseInt(args.value("--job"), 1, 2147483647, id)) return fail(kExitBadInput, "--job takes a job number");
        std::vector<JobResultRecord> results;
        std::vector<JobRecord> jobs;
        if (!store.loadJobResults(id, results, error) || !store.loadJobs(jobs, error))
            return fail(exitCodeForStoreFailure(store.busy()), error);
        const JobRecord* job = nullptr;
        for (const JobRecord& j : jobs)
            if (j.id == id) job = &j;
        if (job == nullptr)
            return fail(kExitBadInput, "no job " + std::to_string(id) + " in the history (see history)");
        if (args.has("--json")) {
            JsonValue document = jsonDocument("history");
            document["job"] = jobJson(*job);
            JsonValue devices = JsonValue::array();
            for (const JobResultRecord& r : results) devices.push_back(jobResultJson(r));
            document["devices"] = devices;
            printf("%s", jsonText(document).c_str());
            return kExitOk;
        }
        printf("%s", jobResultsTable(results).c_str());
        printf("%s%s", logLine("host log", job->hostLog).c_str(), logLine("plug-in log", job->pluginLog).c_str());
        return kExitOk;
    }
    std::vector<JobRecord> jobs;
    if (!store.loadJobs(jobs, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    if (args.has("--json")) {
        JsonValue document = jsonDocument("history");
        JsonValue list = JsonValue::array();
        for (const JobRecord& j : jobs) list.push_back(jobJson(j));
        document["jobs"] = list;
        printf("%s", jsonText(document).c_str());
        return kExitOk;
    }
    // One line per job however many devices it had: their number and how
    // many ended in each status; history --job N names them.
    std::map<long long, std::map<int, int>> totals;
    if (!store.loadJobTotals(totals, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    std::vector<std::vector<std::string>> rows;
    for (const JobRecord& j : jobs) {
        const auto counted = totals.find(j.id);
        const std::map<int, int> none;
        const std::map<int, int>& byStatus = counted != totals.end() ? counted->second : none;
        rows.push_back({std::to_string(j.id), j.operation, j.started, j.returnCode < 0 ? "-" : std::to_string(j.returnCode),
                        j.outcome, std::to_string(jobDeviceCount(j, byStatus)), statusTotalsText(byStatus)});
    }
    printf("%s", formatTable({"job", "operation", "started", "returned", "outcome", "devices", "totals"}, rows)
                     .c_str());
    return kExitOk;
}

// run's help: the operations, then the rest.
const char* runDetails() {
    static const std::string text = hostOperationChoices() + "\n" +
        "DEVICE is a label or an id. The job holds its devices until it ends: another job naming one of\n"
        "them waits (--wait) or is refused at once (exit 75); jobs on other devices run side by side.\n"
        "Each status, error, snap UUID, snap device and metadata text the plug-in sets is on disk before\n"
        "its call returns; a job whose process dies shows as \"interrupted\" in history and state. The job\n"
        "writes a host log and a plug-in log under <store>/logs. snap gives every device a fresh snap\n"
        "UUID first, ending in the store's identity (see orphans). Each device the operation failed is\n"
        "named on standard error with its reason (the plug-in's error text, else the last failure line\n"
        "it logged for the device), also with --quiet, after the array client's own reason, once per\n"
        "array, when the client failed (refused login, cannot connect, certificate, time-out); the table\n"
        "and the totals by status (\"3 devices: 2 SNAPPED, 1 SNAP_FAILED\") go to standard output.\n"
        "On a terminal a progress line shows the devices done (a status other than the operation's\n"
        "preset, or a second one) and the time, cleared before the table; not with --quiet or --json.\n"
        "Each snap that succeeds leaves the device a restore point (restore-points);\n"
        "map, unmap, revert and delete act on each device's latest point, or with --point N on that one.\n"
        "Exit codes: 0 all devices succeeded, 3 some failed, 4 none succeeded (is-mapped always returns\n"
        "0: see the statuses), 6 is-mapped or reconcile answered without reaching an array (named on\n"
        "standard error), 75 a device is held by another job or the store stayed busy.\n";
    return text.c_str();
}

int cmdRestorePoints(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<DeviceRecord> all;
    std::vector<RestorePointRecord> points;
    std::string error;
    if (!store.loadDevices(all, error) || !store.loadRestorePoints(points, error))
        return fail(exitCodeForStoreFailure(store.busy()), error);
    std::vector<DeviceRecord> chosen;
    if (!args.positional.empty() && !selectDevices(all, args.positional, chosen, error))
        return fail(kExitBadInput, error);
    auto wanted = [&](const RestorePointRecord& p) {
        if (chosen.empty()) return true;
        for (const DeviceRecord& d : chosen)
            if (d.id == p.deviceId) return true;
        return false;
    };
    // A device's latest point is the one made last.
    std::map<long long, long long> latest;
    for (const RestorePointRecord& p : points) latest[p.deviceId] = p.id;
    if (args.has("--json")) {
        JsonValue document = jsonDocument("restore-points");
        JsonValue list = JsonValue::array();
        for (const RestorePointRecord& p : points) {
            if (!wanted(p)) continue;
            JsonValue point = {{"id", p.id},          {"deviceId", p.deviceId}, {"device", p.deviceName},
                               {"snapUUID", p.snapUUID}, {"snapDevice", p.snapDevice}, {"job", p.jobId},
                               {"created", p.created}, {"latest", latest[p.deviceId] == p.id}};
            addStatus(point, p.status);
            JsonValue metadata = JsonValue::object();
            for (const auto& m : p.metadata) metadata[std::to_string(m.first)] = m.second;
            point["metadata"] = metadata;
            list.push_back(point);
        }
        document["restorePoints"] = list;
        printf("%s", jsonText(document).c_str());
        return kExitOk;
    }
    std::vector<std::vector<std::string>> rows;
    for (const RestorePointRecord& p : points)
        if (wanted(p))
            rows.push_back({std::to_string(p.id), p.deviceName, snapStatusName(p.status), p.snapUUID,
                            std::to_string(p.jobId), p.created, latest[p.deviceId] == p.id ? "latest" : "-"});
    printf("%s", formatTable({"point", "device", "status", "snap UUID", "job", "made", "latest"}, rows).c_str());
    return kExitOk;
}

// The number of `key` in [hnas-host], 0 when unset or not one.
int hostSettingNumber(const std::vector<SettingRecord>& settings, const char* key) {
    int value = 0;
    for (const SettingRecord& s : settings)
        if (s.section == kHostSettingsSection && s.key == key && !parseInt(s.value, 0, 2147483647, value)) value = 0;
    return value;
}

// "2026-12-10 12:00:01" (local time) as seconds since the epoch; -1 when it is not one.
int64_t madeAt(const std::string& text) {
    struct tm when = {};
    const char* end = strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &when);
    if (end == nullptr || *end != '\0') return -1;
    when.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&when));
}

// A point expires when each limit set says so: it is not among its device's
// last `keep` (when keep > 0) and is `maxAge` seconds old or more (when
// maxAge > 0). A device's latest point never expires.
std::vector<RestorePointRecord> expiredPoints(const std::vector<RestorePointRecord>& points, int keep,
                                              int64_t maxAge, int64_t now) {
    std::map<long long, int> left;   // points of each device not yet passed, newest last
    for (const RestorePointRecord& p : points) ++left[p.deviceId];
    std::vector<RestorePointRecord> expired;
    for (const RestorePointRecord& p : points) {
        const int newer = --left[p.deviceId];   // points of the device made after this one
        if (newer == 0) continue;
        const bool beyondCount = keep <= 0 || newer >= keep;
        const int64_t made = madeAt(p.created);
        const bool tooOld = maxAge <= 0 || (made >= 0 && now - made >= maxAge);
        if (beyondCount && tooOld) expired.push_back(p);
    }
    return expired;
}

// One job of `operation` on restore point `point`; its failures on stderr.
int pointJob(HostStore& store, const char* operation, const RestorePointRecord& point, int waitSeconds,
             const std::string& pluginPath) {
    JobRequest request;
    request.operation = operation;
    request.pointId = point.id;
    request.waitSeconds = waitSeconds;
    request.pluginPath = pluginPath;
    JobOutcome outcome;
    std::string error;
    const int code = runJob(store, request, outcome, error);
    for (const ArrayFailure& a : outcome.arrayFailures)
        fprintf(stderr, "hnas-host: %s\n", arrayClientFailureLine(a.array, a.reason).c_str());
    for (const DeviceFailure& f : outcome.failures) fprintf(stderr, "hnas-host: %s\n", failureLine(f).c_str());
    if (!error.empty()) fail(code, error);
    return code;
}

int cmdExpireRestorePoints(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<SettingRecord> settings;
    std::vector<RestorePointRecord> points;
    std::string error;
    if (!store.loadSettings(settings, error) || !store.loadRestorePoints(points, error))
        return fail(exitCodeForStoreFailure(store.busy()), error);
    int keep = hostSettingNumber(settings, kKeepRestorePointsKey);
    int64_t maxAge = static_cast<int64_t>(hostSettingNumber(settings, kRestorePointMaxAgeDaysKey)) * 86400;
    if (args.has("--keep") && !parseInt(args.value("--keep"), 0, kKeepRestorePointsMax, keep))
        return fail(kExitBadInput, "--keep takes a number of points, 0 to " + std::to_string(kKeepRestorePointsMax));
    if (args.has("--max-age") && !parseAge(args.value("--max-age"), maxAge))
        return fail(kExitBadInput, "--max-age takes an age such as 30d, 12h or 90m");
    int waitSeconds = 0;
    if (args.has("--wait") && !parseInt(args.value("--wait"), 0, 86400, waitSeconds))
        return fail(kExitBadInput, "--wait takes seconds, 0 to 86400");
    if (keep <= 0 && maxAge <= 0) {
        printf("no retention set ([%s] %s or %s, or --keep / --max-age): no restore point expires\n",
               kHostSettingsSection, kKeepRestorePointsKey, kRestorePointMaxAgeDaysKey);
        return kExitOk;
    }
    const std::vector<RestorePointRecord> expired = expiredPoints(points, keep, maxAge, time(nullptr));
    if (expired.empty()) {
        printf("no restore point is beyond the retention\n");
        return kExitOk;
    }
    const bool dryRun = args.has("--dry-run");
    std::vector<std::vector<std::string>> rows;
    for (const RestorePointRecord& p : expired)
        rows.push_back({std::to_string(p.id), p.deviceName, snapStatusName(p.status), p.snapUUID, p.created});
    printf("%zu restore point(s) beyond the retention%s\n%s", expired.size(),
           dryRun ? " (--dry-run: nothing deleted)" : ", deleted through the plug-in's delete",
           formatTable({"point", "device", "status", "snap UUID", "made"}, rows).c_str());
    if (dryRun) return kExitOk;
    int code = kExitOk;
    for (const RestorePointRecord& p : expired) {
        // A mapped snapshot is unmapped first: its share goes before it.
        if (p.status == QZSO::SNAP_STATUS_MAPPED) {
            const int unmapped = pointJob(store, "unmap", p, waitSeconds, args.value("--plugin"));
            if (unmapped != kExitOk) {
                fprintf(stderr, "hnas-host: restore point %lld kept: its unmap failed\n", p.id);
                code = kExitSomeFailed;
                continue;
            }
        }
        const int deleted = pointJob(store, "delete", p, waitSeconds, args.value("--plugin"));
        if (deleted == kExitOk) {
            printf("expired restore point %lld (%s, %s)\n", p.id, p.deviceName.c_str(), p.snapUUID.c_str());
        } else {
            fprintf(stderr, "hnas-host: restore point %lld kept: its delete failed\n", p.id);
            code = kExitSomeFailed;
        }
    }
    return code;
}

}  // namespace

std::vector<Command> jobCommands() {
    return {
        {"run", "OPERATION [DEVICE...]", "run one operation of the plug-in as one job", runDetails(),
         {{"--all", nullptr, false, "every device of the store"},
          kPluginOption,
          {"--mount-source", "N", false, "map/unmap: who asked for the mount (2 = GUI; default 1)"},
          {"--wait", "SECONDS", false, "wait up to SECONDS for devices another job holds (default 0: refuse)"},
          {"--point", "N", false, "map, unmap, revert, delete: act on restore point N (default: the latest)"},
          {"--quiet", nullptr, false, "print nothing but errors (each failed device with its reason, on stderr)"},
          kJsonOption},
         true, cmdRun},
        {"state", "[DEVICE...]", "show what the plug-in last stored for each device, and its last job",
         "Status (by name), error code, snap UUID, the last job that worked on the device and its outcome\n"
         "(\"interrupted\": its process died; the row still shows every write the plug-in made before).\n",
         {{"--status", "STATUS", false, "only the devices in STATUS, e.g. SNAP_FAILED (NONE: never worked on)"},
          {"--verbose", nullptr, false, "also the attached array and the stored metadata"},
          {"--check-arrays", nullptr, false,
           "ask the arrays whether the snapshot of a device reported deleted is still there (leaked)"},
          kJsonOption},
         true, cmdState},
        {"history", "", "show every job and its outcome",
         "One line per job: its number of devices and how many it left in each status (totals);\n"
         "--job N lists that job's devices. A job the history does not hold exits 65.\n"
         "The logs of the last [hnas-host] nKeepJobLogs jobs (default 20; 0 keeps all) are kept; an older\n"
         "job is still listed, with its logs shown as removed.\n",
         {{"--job", "N", false, "the devices' results of job N, and its log files"}, kJsonOption}, true, cmdHistory},
        {"restore-points", "[DEVICE...]", "show each device's restore points",
         "Each snap that succeeded leaves the device a restore point: its snapshot, with the snap UUID\n"
         "and metadata the snap left, the job and the time. A delete job that deletes a device's snapshot\n"
         "ends its point, and a reconcile that finds the snapshot gone does too. orphans never lists a\n"
         "snapshot that a restore point holds. The latest point of each device is marked.\n",
         {kJsonOption}, true, cmdRestorePoints},
        {"expire-restore-points", "", "delete the restore points beyond the retention",
         "A point expires when it is not among its device's last N (--keep, else [hnas-host]\n"
         "nKeepRestorePoints) and is older than the age (--max-age, else [hnas-host]\n"
         "nRestorePointMaxAgeDays days), each limit counting only when set; a device's latest point never\n"
         "expires, and without a limit nothing does. Each expired point is deleted through the plug-in's\n"
         "delete, one job each, unmapped first when mapped; a point whose job failed is kept.\n"
         "Exit codes: 0 every expired point deleted (or --dry-run), 3 some kept because a job failed.\n",
         {{"--keep", "N", false, "keep each device's last N points"},
          {"--max-age", "AGE", false, "keep the points younger than AGE, e.g. 30d, 12h"},
          {"--dry-run", nullptr, false, "list what would expire, delete nothing"},
          {"--wait", "SECONDS", false, "wait up to SECONDS for a device another job holds (default 0)"},
          kPluginOption},
         true, cmdExpireRestorePoints},
    };
}
