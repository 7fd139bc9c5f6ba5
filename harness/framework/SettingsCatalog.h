// The settings a store may hold, in one catalog: the plug-in's own
// ("[~Vorlane]"), the array client's ("[~Vorlane/HNASClient]", taken from
// the client's own definitions in client/ClientSettings.h) and hnas-host's
// ("[hnas-host]"). set-setting stores only what the catalog accepts;
// check-array names what a store holds that the catalog refuses (a store
// filled before the catalog, or by hand).
#pragma once

#include <string>
#include <vector>

#include "harness/framework/HostRecords.h"
#include "harness/framework/LogPruning.h"

// The most jobs [hnas-host] nKeepJobLogs may name (LogPruning.h).
constexpr int kKeepJobLogsMax = 100000;
// The most restore points a device may keep, and the longest age in days.
constexpr int kKeepRestorePointsMax = 100000;
constexpr int kRestorePointMaxAgeDaysMax = 36500;

enum class SettingKind {
    Integer,      // a decimal integer within [low, high]
    Text,         // any text, e.g. a file name
    ApiVersion,   // what the client takes as an API version, e.g. "v7"
};

struct KnownSetting {
    std::string section;
    std::string key;
    SettingKind kind;
    int low;      // Integer only
    int high;
};

// Every known setting, grouped by section in the order the sections are
// listed ("~Vorlane", "~Vorlane/HNASClient", "hnas-host").
const std::vector<KnownSetting>& knownSettings();

// True when `setting` names a known section and key and its value is of the
// key's kind; otherwise `reason` says which part is wrong and lists the known
// sections or the section's keys, e.g. "unknown key \"sCaFile\" in
// [~Vorlane/HNASClient] (did you mean sCAFile?); known keys: ...".
bool checkSetting(const SettingRecord& setting, std::string& reason);

// One line per stored setting the catalog refuses, e.g.
// "[~Vorlane/HNASClinet] sCAFile=/ca.pem: unknown section ...", except a
// bad value of a client key: the client's own reader notes those, with the
// value it uses instead.
std::vector<std::string> settingsIgnored(const std::vector<SettingRecord>& stored);
