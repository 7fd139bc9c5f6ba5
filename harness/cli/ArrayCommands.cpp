// The commands that register arrays and check them: add-array, list-arrays,
// check-array.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "harness/cli/CheckArray.h"
#include "harness/cli/CliCommand.h"
#include "harness/framework/ArrayInfoText.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/JsonOutput.h"
#include "harness/framework/TextTables.h"
#include "host/ArrayConfigNames.h"

namespace {

int cmdAddArray(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.size() != 1) return fail(kExitUsage, "add-array takes one NAME (see add-array --help)");
    for (const char* required : {"--array-id", "--control-host", "--control-host-id", "--user"})
        if (!args.has(required)) return fail(kExitUsage, std::string("add-array needs ") + required);
    ArrayLogin login;
    login.arrayId = args.value("--array-id");
    login.controlHost = args.value("--control-host");
    login.user = args.value("--user");
    if (!parseInt(args.value("--control-host-id"), 0, 2147483647, login.controlHostId))
        return fail(kExitBadInput, "--control-host-id must be a number from 0");
    std::string error;
    if (!readPassword(args, login.password, error)) return fail(kExitBadInput, error);

    std::map<std::string, std::string> configs;
    if (args.has("--port")) {
        int port = 0;
        if (!parseInt(args.value("--port"), 1, 65535, port)) return fail(kExitBadInput, "--port must be 1 to 65535");
        configs[QZSO::kMetroServerPortConfig] = std::to_string(port);
    }
    if (args.has("--address")) configs[QZSO::kMetroServerIpConfig] = args.value("--address");
    const auto extra = args.values.find("--config");
    if (extra != args.values.end()) {
        for (const std::string& entry : extra->second) {
            const size_t equals = entry.find('=');
            if (equals == std::string::npos || equals == 0)
                return fail(kExitBadInput, "--config takes NAME=VALUE, not \"" + entry + "\"");
            configs[entry.substr(0, equals)] = entry.substr(equals + 1);
        }
    }
    ArrayRecord record;
    if (!makeArrayRecord(args.positional[0], args.value("--vendor", QZSO::kHnasVendor), login, configs, record, error))
        return fail(kExitBadInput, error);
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    if (!store.addArray(record, error)) return fail(kExitBadInput, error);
    printf("added array %s (control host ID %d)\n", record.name.c_str(), record.controlHostId);
    return kExitOk;
}

int cmdListArrays(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<ArrayRecord> arrays;
    std::string error;
    if (!store.loadArrays(arrays, error)) return fail(kExitHostError, error);
    if (args.has("--json")) return printListJson("list-arrays", "arrays", arrays, arrayJson);
    std::vector<std::vector<std::string>> rows;
    for (const ArrayRecord& a : arrays) {
        std::string configs;
        for (const auto& c : a.configs) configs += (configs.empty() ? "" : " ") + c.first + "=" + c.second;
        rows.push_back({a.name, a.vendor, std::to_string(a.controlHostId), arrayInfoValue(a.arrayInfo, "arrayId"),
                        arrayInfoValue(a.arrayInfo, "hostName"), arrayInfoValue(a.arrayInfo, "hostUserName"),
                        configs.empty() ? "-" : configs});
    }
    printf("%s", formatTable({"name", "vendor", "control host ID", "array ID", "control host", "user",
                              "configuration"},
                             rows)
                     .c_str());
    return kExitOk;
}

int cmdCheckArray(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.size() != 1) return fail(kExitUsage, "check-array takes one array NAME (see list-arrays)");
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::string error;
    const int code = checkArray(store, args.positional[0], error);
    return error.empty() ? code : fail(code, error);
}
}  // namespace

std::vector<Command> arrayCommands() {
    return {
        {"add-array", "NAME", "register an array the plug-in can reach",
         "NAME is what devices' filers or the alias search must match, e.g. hnas1. The password is read from\n"
         "a file or standard input, never from the command line, and never printed. It may not hold \",\",\n"
         "\"{\" or \"}\": the array-info text that carries it to the plug-in cannot (see docs/behaviour.md).\n",
         {{"--array-id", "ID", false, "the array's virtual server name or address, e.g. evs1"},
          {"--control-host", "HOST", false, "the control (management) host"},
          {"--control-host-id", "N", false, "the control host ID; unique per array"},
          {"--user", "USER", false, "the management login"},
          {"--password-file", "FILE", false, "read the password from the first line of FILE"},
          {"--password-stdin", nullptr, false, "read the password from standard input"},
          {"--address", "ADDRESS", false, "management endpoint address (SMCONFIG_NAME_METRO_SERVER_IP)"},
          {"--port", "PORT", false, "management endpoint port (SMCONFIG_NAME_METRO_SERVER_PORT; default 8444)"},
          {"--config", "NAME=VALUE", true, "another configuration value of the array"},
          {"--vendor", "VENDOR", false, "vendor name (default \"Hitachi NAS\")"}},
         true, cmdAddArray},
        {"list-arrays", "", "list the arrays (never their passwords)", "", {kJsonOption}, true, cmdListArrays},
        {"check-array", "NAME", "check that the plug-in can reach an array, step by step",
         "Uses libQzManageHNAS.so with the array's stored login and endpoint and the store's settings.\n"
         "Steps: the address resolves, TCP connects, TLS verifies (against sCAFile, $HNAS_CA_FILE or the\n"
         "system's CAs), the API version answers, the credentials are accepted, the virtual server of the\n"
         "array ID is found (by name or address). One line per step with its time; it stops at the first\n"
         "failure with the client's message and a hint. Never prints the password.\n"
         "Exit codes: 0 every step passed, 2 a step failed, 65 no such array.\n",
         {}, true, cmdCheckArray},
    };
}
