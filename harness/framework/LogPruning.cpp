#include "harness/framework/LogPruning.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// A number from 0 with at most 9 digits, nothing else.
bool parseCount(const std::string& text, int& count) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    count = std::stoi(text);
    return true;
}

bool removeLog(const std::string& path, int& removed, std::string& error) {
    if (path.empty()) return true;
    if (unlink(path.c_str()) == 0) {
        ++removed;
        return true;
    }
    if (errno == ENOENT) return true;
    if (error.empty()) error = "cannot remove " + path + ": " + std::strerror(errno);
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

int pruneJobLogs(const std::vector<JobRecord>& jobs, int keep, std::string& error) {
    if (keep <= 0) return 0;
    std::vector<const JobRecord*> newestFirst;
    for (const JobRecord& j : jobs) newestFirst.push_back(&j);
    std::sort(newestFirst.begin(), newestFirst.end(),
              [](const JobRecord* a, const JobRecord* b) { return a->id > b->id; });
    int removed = 0;
    // Oldest first: a prune cut short leaves the newer logs.
    for (size_t i = newestFirst.size(); i > static_cast<size_t>(keep); --i) {
        const JobRecord& j = *newestFirst[i - 1];
        if (j.outcome == kJobRunning) continue;
        removeLog(j.hostLog, removed, error);
        removeLog(j.pluginLog, removed, error);
    }
    return removed;
}

bool logFilePresent(const std::string& path) {
    struct stat info;
    return !path.empty() && lstat(path.c_str(), &info) == 0;
}
