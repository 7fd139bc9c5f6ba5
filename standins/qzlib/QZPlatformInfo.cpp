// Settings-store stand-in: an INI-style file named by $QZ_SETTINGS_FILE,
//   [~Vorlane]
//   nHideCIFSShareOnSnapMount=1
//   [~Vorlane/sub]
//   key=value
// read afresh on every lookup so that a changed file takes effect at once.
// Lines starting with "#" or ";" are comments; blanks around names and
// values are ignored.
#include "host/QZPlatformInfo.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "standins/qzlib/SettingsFile.h"

namespace {

std::string trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool lookup(const char* section, const char* key, std::string& value) {
    if (section == nullptr || key == nullptr) return false;
    const char* path = getenv(kQzSettingsFileVariable);
    if (path == nullptr || *path == '\0') return false;
    std::ifstream file(path);
    if (!file) return false;
    const std::string wantedSection = section;
    const std::string wantedKey = key;
    std::string line;
    bool inSection = false;
    bool found = false;
    while (std::getline(file, line)) {
        const std::string text = trim(line);
        if (text.empty() || text[0] == '#' || text[0] == ';') continue;
        if (text.front() == '[' && text.back() == ']') {
            inSection = trim(text.substr(1, text.size() - 2)) == wantedSection;
            continue;
        }
        if (!inSection) continue;
        const size_t equals = text.find('=');
        if (equals == std::string::npos) continue;
        if (trim(text.substr(0, equals)) != wantedKey) continue;
        value = trim(text.substr(equals + 1));
        found = true;   // a later line of the same key wins
    }
    return found;
}

}  // namespace

QZPlatformInfo::QZPlatformInfo() {}
QZPlatformInfo::~QZPlatformInfo() {}

bool QZPlatformInfo::getRegInt(const char* section, const char* key, int* value) {
    std::string text;
    if (value == nullptr || !lookup(section, key, text) || text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    *value = static_cast<int>(parsed);
    return true;
}

bool QZPlatformInfo::getRegString(const char* section, const char* key, std::string& value) {
    std::string text;
    if (!lookup(section, key, text)) return false;
    value = text;
    return true;
}
