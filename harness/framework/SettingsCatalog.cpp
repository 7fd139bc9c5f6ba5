#include "harness/framework/SettingsCatalog.h"

#include <strings.h>

#include <climits>

#include "client/ClientSettings.h"
#include "host/SettingsKeys.h"

namespace {

// The plug-in's own keys: hiding is on above 0, so 0 and 1 say all there is;
// a revert waits at most a day.
const int kRevertWaitMaxSecs = 86400;

std::vector<KnownSetting> makeCatalog() {
    std::vector<KnownSetting> all = {
        {kSettingsSection, kHideCifsShareOnSnapMount, SettingKind::Integer, 0, 1},
        {kSettingsSection, kRevertMountPathRefreshWait, SettingKind::Integer, 0, kRevertWaitMaxSecs},
    };
    for (const char* key : managehnas::kClientSettingKeys) {
        KnownSetting setting = {managehnas::kClientSection, key, SettingKind::Text, 0, 0};
        for (const managehnas::ClientIntegerRange& range : managehnas::kClientIntegerRanges)
            if (setting.key == range.key) setting = {managehnas::kClientSection, key, SettingKind::Integer,
                                                     range.low, range.high};
        if (setting.key == managehnas::kApiVersionKey) setting.kind = SettingKind::ApiVersion;
        all.push_back(setting);
    }
    all.push_back({kHostSettingsSection, kKeepJobLogsKey, SettingKind::Integer, 0, kKeepJobLogsMax});
    all.push_back({kHostSettingsSection, kKeepRestorePointsKey, SettingKind::Integer, 0, kKeepRestorePointsMax});
    all.push_back(
        {kHostSettingsSection, kRestorePointMaxAgeDaysKey, SettingKind::Integer, 0, kRestorePointMaxAgeDaysMax});
    return all;
}

// A decimal integer with an optional "-", nothing else, that fits an int.
bool parseInteger(const std::string& text, long long& value) {
    size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    if (i == text.size() || text.size() - i > 10) return false;
    value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    if (text[0] == '-') value = -value;
    return value >= INT_MIN && value <= INT_MAX;
}

std::string kindText(const KnownSetting& known) {
    switch (known.kind) {
        case SettingKind::Integer:
            return "an integer from " + std::to_string(known.low) + " to " + std::to_string(known.high);
        case SettingKind::ApiVersion:
            return "\"v\" and one to three digits, e.g. v7";
        case SettingKind::Text:
            break;
    }
    return "any text";
}

bool valueFits(const KnownSetting& known, const std::string& value) {
    long long number = 0;
    switch (known.kind) {
        case SettingKind::Integer:
            return parseInteger(value, number) && number >= known.low && number <= known.high;
        case SettingKind::ApiVersion:
            return managehnas::isClientApiVersion(value);
        case SettingKind::Text:
            break;
    }
    return true;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// " (did you mean X?)" when `name` is one of `names` but for case.
std::string suggestion(const std::string& name, const std::vector<std::string>& names) {
    for (const std::string& known : names)
        if (strcasecmp(known.c_str(), name.c_str()) == 0) return " (did you mean " + known + "?)";
    return std::string();
}

}  // namespace

const std::vector<KnownSetting>& knownSettings() {
    static const std::vector<KnownSetting> catalog = makeCatalog();
    return catalog;
}

bool checkSetting(const SettingRecord& setting, std::string& reason) {
    std::vector<std::string> sections;
    std::vector<std::string> keys;
    for (const KnownSetting& known : knownSettings()) {
        if (sections.empty() || sections.back() != known.section) sections.push_back(known.section);
        if (known.section == setting.section) keys.push_back(known.key);
    }
    if (keys.empty()) {
        reason = "unknown section \"" + setting.section + "\"" + suggestion(setting.section, sections) +
                 "; known sections: " + joined(sections);
        return false;
    }
    for (const KnownSetting& known : knownSettings()) {
        if (known.section != setting.section || known.key != setting.key) continue;
        if (valueFits(known, setting.value)) return true;
        reason = "bad value \"" + setting.value + "\" for " + setting.key + " in [" + setting.section +
                 "]: it takes " + kindText(known);
        return false;
    }
    reason = "unknown key \"" + setting.key + "\" in [" + setting.section + "]" + suggestion(setting.key, keys) +
             "; known keys: " + joined(keys);
    return false;
}

std::vector<std::string> settingsIgnored(const std::vector<SettingRecord>& stored) {
    std::vector<std::string> lines;
    for (const SettingRecord& s : stored) {
        std::string reason;
        if (checkSetting(s, reason)) continue;
        bool knownClientKey = false;
        for (const KnownSetting& known : knownSettings())
            knownClientKey = knownClientKey || (known.section == managehnas::kClientSection &&
                                                known.section == s.section && known.key == s.key);
        if (!knownClientKey) lines.push_back("[" + s.section + "] " + s.key + "=" + s.value + ": " + reason);
    }
    return lines;
}
