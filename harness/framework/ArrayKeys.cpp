#include "harness/framework/ArrayKeys.h"

#include <unistd.h>

#include <climits>
#include <set>

#include "client/ApiKeyFile.h"
#include "client/ClientSettings.h"
#include "harness/framework/ArrayInfoText.h"
#include "harness/framework/JobRunner.h"
#include "host/ArrayConfigNames.h"
#include "hostkit/HostState.h"

namespace {

std::string controlHostOf(const ArrayRecord& array) { return arrayInfoValue(array.arrayInfo, "hostName"); }

bool fitsSectionName(const std::string& text) {
    for (const unsigned char c : text)
        if (c <= 0x20 || c == 0x7f || c == '[' || c == ']') return false;
    return !text.empty();
}

}  // namespace

int managementPort(const ArrayRecord& array) {
    int port = 0;
    const auto config = array.configs.find(QZSO::kMetroServerPortConfig);
    if (config != array.configs.end() && hostkit::parseConfigInt(config->second, port) && port > 0) return port;
    return QZSO::kDefaultManagementPort;
}

std::string arrayKeySection(const ArrayRecord& array) {
    return managehnas::endpointSection(controlHostOf(array), managementPort(array));
}

std::vector<SettingRecord> arrayKeySettings(const std::vector<ArrayRecord>& arrays) {
    std::vector<SettingRecord> settings;
    std::set<std::string> sections;
    for (const ArrayRecord& array : arrays) {
        // Arrays on one control host and port share their credential
        // (checkArrayKeySection), so their one section is written once.
        const std::string section = arrayKeySection(array);
        if (!fitsSectionName(controlHostOf(array)) || !sections.insert(section).second) continue;
        settings.push_back({section, managehnas::kApiKeyFileKey, array.apiKeyFile});
    }
    return settings;
}

bool isKeyForEveryArray(const SettingRecord& setting) {
    return setting.section == managehnas::kClientSection && setting.key == managehnas::kApiKeyFileKey;
}

std::string settingsFileText(const std::vector<SettingRecord>& settings, const std::vector<ArrayRecord>& arrays) {
    // An array without a section of its own would take the client section's
    // key in place of its user and password: then that key is left out.
    bool everyArrayHasItsSection = true;
    for (const ArrayRecord& array : arrays)
        everyArrayHasItsSection = everyArrayHasItsSection && fitsSectionName(controlHostOf(array));
    std::vector<SettingRecord> all;
    for (const SettingRecord& s : settings)
        if (everyArrayHasItsSection || !isKeyForEveryArray(s)) all.push_back(s);
    const std::vector<SettingRecord> keys = arrayKeySettings(arrays);
    all.insert(all.end(), keys.begin(), keys.end());
    return renderSettings(all);
}

bool checkApiKeyFile(const std::string& path, std::string& absolute, bool& othersMayRead, std::string& error) {
    if (path.empty()) {
        error = "the API key file name is empty";
        return false;
    }
    absolute = path;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd) == nullptr) {
            error = "cannot tell the current directory to make " + path + " absolute";
            return false;
        }
        absolute = std::string(cwd) + "/" + path;
    }
    // The settings file carries the path on one line, trimmed.
    if (absolute.find_first_of("\r\n") != std::string::npos || absolute.back() == ' ' || absolute.back() == '\t') {
        error = "the API key file name \"" + path + "\" ends in a blank or holds a line break";
        return false;
    }
    std::string key;
    othersMayRead = false;
    return managehnas::readApiKeyFile(absolute, key, othersMayRead, error);
}

const char kKeyForEveryArrayRefused[] =
    "every array of hnas-host has a credential of its own (a user and password, or an API key file), and a key "
    "in the client section would stand in for the user and password of the arrays added with one: give an "
    "array its key with hnas-host update-array NAME --api-key-file FILE";

std::string readableKeyFileWarning(const std::string& path, const std::string& whose) {
    return "the API key file [" + path + "] of " + whose +
           " is readable by other users of this host; limit it to the backup service (chmod 600 " + path + ")";
}

std::vector<std::string> readableKeyFileWarnings(const std::vector<ArrayRecord>& arrays,
                                                 const std::vector<SettingRecord>& settings) {
    std::vector<std::pair<std::string, std::string>> files;   // path, whose
    for (const ArrayRecord& array : arrays)
        if (!array.apiKeyFile.empty()) files.push_back({array.apiKeyFile, "array " + array.name});
    for (const SettingRecord& s : settings)
        if (s.section == managehnas::kClientSection && s.key == managehnas::kApiKeyFileKey && !s.value.empty())
            files.push_back({s.value, std::string("the setting ") + managehnas::kApiKeyFileKey});
    std::vector<std::string> warnings;
    for (const auto& file : files) {
        std::string key;
        std::string ignored;
        bool othersMayRead = false;
        if (managehnas::readApiKeyFile(file.first, key, othersMayRead, ignored) && othersMayRead)
            warnings.push_back(readableKeyFileWarning(file.first, file.second));
    }
    return warnings;
}

bool checkArrayKeySection(const std::vector<ArrayRecord>& arrays, const ArrayRecord& candidate, std::string& error) {
    const std::string host = controlHostOf(candidate);
    if (!candidate.apiKeyFile.empty() && !fitsSectionName(host)) {
        error = "the control host \"" + host +
                "\" cannot name the array's settings section (it holds a blank, \"[\", \"]\" or a control "
                "character), so its API key could not be handed to its client";
        return false;
    }
    const int port = managementPort(candidate);
    for (const ArrayRecord& other : arrays) {
        if (other.name == candidate.name || controlHostOf(other) != host || managementPort(other) != port) continue;
        if (other.apiKeyFile == candidate.apiKeyFile) continue;
        error = "array " + other.name + " has the same control host and port (" + host + ":" + std::to_string(port) +
                ") with " + (other.apiKeyFile.empty() ? "no API key" : "another API key file") +
                "; the array client tells arrays apart by control host and port, so one key would serve both: "
                "give this array a control host name of its own (with --address for where to connect)";
        return false;
    }
    return true;
}
