// The commands that keep the platform settings the jobs get: set-setting,
// unset-setting, list-settings.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client/ClientSettings.h"
#include "harness/cli/CliCommand.h"
#include "harness/framework/ArrayKeys.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/JsonOutput.h"
#include "harness/framework/JobRunner.h"
#include "harness/framework/SettingsCatalog.h"

namespace {

// A CA file the jobs could not read would fail every job's TLS handshake
// later, far from its cause: it is refused now, with the reason.
bool caFileReadable(const SettingRecord& setting, std::string& reason) {
    if (setting.section != managehnas::kClientSection || setting.key != managehnas::kCaFileKey ||
        setting.value.empty())
        return true;
    struct stat info;
    const char* why = nullptr;
    if (stat(setting.value.c_str(), &info) != 0 || access(setting.value.c_str(), R_OK) != 0)
        why = strerror(errno);
    else if (!S_ISREG(info.st_mode))
        why = "not a regular file";
    if (why == nullptr) return true;
    reason = std::string("cannot use ") + managehnas::kCaFileKey + " " + setting.value + ": " + why;
    return false;
}

int cmdSetSetting(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.size() != 3) return fail(kExitUsage, "set-setting takes SECTION KEY VALUE");
    const SettingRecord setting = {args.positional[0], args.positional[1], args.positional[2]};
    if ((setting.section + setting.key + setting.value).find_first_of("\r\n") != std::string::npos ||
        setting.section.find_first_of("[]") != std::string::npos || setting.key.empty() ||
        setting.key.find('=') != std::string::npos)
        return fail(kExitBadInput, "a setting has no line breaks, its section no brackets, its key no \"=\"");
    std::string reason;
    if (!checkSetting(setting, reason)) return fail(kExitBadInput, reason);
    if (isKeyForEveryArray(setting)) return fail(kExitBadInput, kKeyForEveryArrayRefused);
    if (!caFileReadable(setting, reason)) return fail(kExitBadInput, reason);
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::string error;
    if (!store.setSetting(setting, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    return kExitOk;
}

int cmdUnsetSetting(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.size() != 2) return fail(kExitUsage, "unset-setting takes SECTION KEY");
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    bool existed = false;
    std::string error;
    if (!store.unsetSetting(args.positional[0], args.positional[1], existed, error))
        return fail(exitCodeForStoreFailure(store.busy()), error);
    if (!existed)
        return fail(kExitBadInput, "no setting " + args.positional[1] + " in [" + args.positional[0] +
                                       "] (see list-settings)");
    return kExitOk;
}

int cmdListSettings(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<SettingRecord> settings;
    std::string error;
    if (!store.loadSettings(settings, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    if (args.has("--json")) return printListJson("list-settings", "settings", settings, settingJson);
    printf("%s", renderSettings(settings).c_str());
    return kExitOk;
}
}  // namespace

std::vector<Command> settingCommands() {
    return {
        {"set-setting", "SECTION KEY VALUE", "store a platform setting for the jobs",
         "e.g. set-setting '~Vorlane' nRevertMountPathRefreshWaitInSecs 3\n"
         "     set-setting '~Vorlane/HNASClient' sCAFile /path/ca.pem\n"
         "     set-setting hnas-host nKeepJobLogs 50\n"
         "An unknown section or key, or a value not of the key's kind, is refused with the known ones;\n"
         "an sCAFile that is not a readable file, with the reason.\n",
         {}, true, cmdSetSetting},
        {"unset-setting", "SECTION KEY", "remove a stored setting (the default applies again)",
         "Exit 65 when the store has no such setting.\n", {}, true, cmdUnsetSetting},
        {"list-settings", "", "show the settings file the jobs get", "", {kJsonOption}, true, cmdListSettings},
    };
}
