#include "harness/framework/LogPruning.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "harness/framework/StoreLocks.h"

namespace {

// A number from 0 with at most 9 digits, nothing else.
bool parseCount(const std::string& text, int& count) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    count = std::stoi(text);
    return true;
}

// Removes the log `path` when it names a file right in the log directory
// `logDirectory`, opened as `dir`; a path anywhere else is left alone.
bool removeLog(int dir, const std::string& logDirectory, const std::string& path, int& removed, std::string& error) {
    const std::string prefix = logDirectory + "/";
    if (path.compare(0, prefix.size(), prefix) != 0) return true;
    const std::string name = path.substr(prefix.size());
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return true;
    if (unlinkat(dir, name.c_str(), 0) == 0) {
        ++removed;
        return true;
    }
    if (errno == ENOENT) return true;
    if (error.empty()) error = "cannot remove " + path + ": " + std::strerror(errno);
    return false;
}

// Whether a process holds the lock of a device whose last job `job` is: the
// job runs, whatever its row says (it may have been taken for dead).
bool holdsADeviceLock(const std::string& lockDirectory, const JobRecord& job) {
    for (const long long id : job.lastJobOf)
        if (deviceLockHeld(lockDirectory, id)) return true;
    return false;
}

}  // namespace

int keepJobLogsSetting(const std::vector<SettingRecord>& settings, std::string& note) {
    int keep = kDefaultKeepJobLogs;
    for (const SettingRecord& s : settings) {
        if (s.section != kHostSettingsSection || s.key != kKeepJobLogsKey) continue;
        if (parseCount(s.value, keep)) continue;
        keep = kDefaultKeepJobLogs;
        note = std::string("setting ignored: [") + kHostSettingsSection + "] " + kKeepJobLogsKey + "=" + s.value +
               " (a number from 0; using " + std::to_string(kDefaultKeepJobLogs) + ")";
    }
    return keep;
}

int pruneJobLogs(const std::string& logDirectory, const std::string& lockDirectory, const std::vector<JobRecord>& jobs,
                 int keep, std::string& error) {
    if (keep <= 0 || jobs.size() <= static_cast<size_t>(keep)) return 0;
    // Removed by name inside the directory as opened: a link put in its
    // place meanwhile leads nowhere else.
    const int dir = open(logDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        error = "cannot open " + logDirectory + ": " + std::strerror(errno);
        return 0;
    }
    std::vector<const JobRecord*> newestFirst;
    for (const JobRecord& j : jobs) newestFirst.push_back(&j);
    std::sort(newestFirst.begin(), newestFirst.end(),
              [](const JobRecord* a, const JobRecord* b) { return a->id > b->id; });
    int removed = 0;
    // Oldest first: a prune cut short leaves the newer logs.
    for (size_t i = newestFirst.size(); i > static_cast<size_t>(keep); --i) {
        const JobRecord& j = *newestFirst[i - 1];
        if (j.outcome == kJobRunning || holdsADeviceLock(lockDirectory, j)) continue;
        removeLog(dir, logDirectory, j.hostLog, removed, error);
        removeLog(dir, logDirectory, j.pluginLog, removed, error);
    }
    close(dir);
    return removed;
}

bool logFilePresent(const std::string& path) {
    struct stat info;
    return !path.empty() && lstat(path.c_str(), &info) == 0;
}
