// The commands that keep the platform settings the jobs get: set-setting,
// list-settings.
#include <cstdio>
#include <string>
#include <vector>

#include "harness/cli/CliCommand.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/JsonOutput.h"
#include "harness/framework/JobRunner.h"

namespace {

int cmdSetSetting(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.size() != 3) return fail(kExitUsage, "set-setting takes SECTION KEY VALUE");
    const SettingRecord setting = {args.positional[0], args.positional[1], args.positional[2]};
    if ((setting.section + setting.key + setting.value).find_first_of("\r\n") != std::string::npos ||
        setting.section.find_first_of("[]") != std::string::npos || setting.key.empty() ||
        setting.key.find('=') != std::string::npos)
        return fail(kExitBadInput, "a setting has no line breaks, its section no brackets, its key no \"=\"");
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::string error;
    if (!store.setSetting(setting, error)) return fail(kExitHostError, error);
    return kExitOk;
}

int cmdListSettings(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<SettingRecord> settings;
    std::string error;
    if (!store.loadSettings(settings, error)) return fail(kExitHostError, error);
    if (args.has("--json")) return printListJson("list-settings", "settings", settings, settingJson);
    printf("%s", renderSettings(settings).c_str());
    return kExitOk;
}
}  // namespace

std::vector<Command> settingCommands() {
    return {
        {"set-setting", "SECTION KEY VALUE", "store a platform setting for the jobs",
         "e.g. set-setting '~Vorlane' nRevertMountPathRefreshWaitInSecs 3\n"
         "     set-setting '~Vorlane/HNASClient' sCAFile /path/ca.pem\n",
         {}, true, cmdSetSetting},
        {"list-settings", "", "show the settings file the jobs get", "", {kJsonOption}, true, cmdListSettings},
    };
}
