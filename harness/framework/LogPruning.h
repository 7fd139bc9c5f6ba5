// How many jobs keep their log files. Every job writes a host log and a
// plug-in log under <store>/logs; only the logs of the last N jobs (by job
// number) are kept, N from the setting [hnas-host] nKeepJobLogs (default 20,
// 0 keeps every log). The logs of a running job are never removed, whatever
// its number, nor those of a job whose device lock is still held (its row
// may say otherwise), and no file outside the store's log directory ever
// is. The job rows stay in the history: a job whose logs were removed shows
// them as gone.
#pragma once

#include <string>
#include <vector>

#include "harness/framework/HostRecords.h"

constexpr char kHostSettingsSection[] = "hnas-host";
constexpr char kKeepJobLogsKey[] = "nKeepJobLogs";
// The retention of restore points (hnas-host expire-restore-points): keep
// each device's last N points, and those made less than N days ago; 0 or
// unset: no limit of that kind.
constexpr char kKeepRestorePointsKey[] = "nKeepRestorePoints";
constexpr char kRestorePointMaxAgeDaysKey[] = "nRestorePointMaxAgeDays";
constexpr int kDefaultKeepJobLogs = 20;

// The number of jobs whose logs are kept, from the stored settings; 0 keeps
// all. A value that is no number from 0 gives the default, with `note`
// saying so (e.g. for the job's host log).
int keepJobLogsSetting(const std::vector<SettingRecord>& settings, std::string& note);

// Removes the log files of every job but the `keep` newest, the running
// ones and those holding the lock of a device of theirs (JobRecord::lastJobOf)
// in `lockDirectory` (keep 0: none is removed), each only when it lies right
// in `logDirectory` (e.g. "/srv/store/logs"). The number of files removed;
// `error` names the first file that could not be removed (a missing file is
// no error).
int pruneJobLogs(const std::string& logDirectory, const std::string& lockDirectory, const std::vector<JobRecord>& jobs,
                 int keep, std::string& error);

// Whether the log file at `path` is still there (false for "").
bool logFilePresent(const std::string& path);
