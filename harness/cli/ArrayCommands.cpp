// The commands that register, change, remove and check arrays: add-array,
// update-array, remove-array, list-arrays, check-array.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "harness/cli/CheckArray.h"
#include "harness/cli/Conformance.h"
#include "harness/cli/CliCommand.h"
#include "harness/framework/ArrayInfoText.h"
#include "harness/framework/ArrayKeys.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/JsonOutput.h"
#include "harness/framework/TextTables.h"
#include "host/ArrayConfigNames.h"

namespace {

const char kPasswordFileOption[] = "--password-file";
const char kPasswordStdinOption[] = "--password-stdin";
const char kApiKeyFileOption[] = "--api-key-file";
const char kUserGoesWithPassword[] =
    "--user goes with a password; with --api-key-file the array is reached with the key alone";

// The credential options given: none, or the one of --password-file,
// --password-stdin and --api-key-file; false with the reason for several.
bool chosenCredential(const ParsedArguments& args, std::string& chosen, std::string& error) {
    chosen.clear();
    for (const char* option : {kPasswordFileOption, kPasswordStdinOption, kApiKeyFileOption}) {
        if (!args.has(option)) continue;
        if (!chosen.empty()) {
            error = std::string("give one of ") + kPasswordFileOption + ", " + kPasswordStdinOption + " or " +
                    kApiKeyFileOption + ", not " + chosen + " and " + option;
            return false;
        }
        chosen = option;
    }
    return true;
}

// Takes the credential option `chosen` into `login`: the password (the
// key file cleared) or the checked key file (the password cleared).
// `othersMayRead` tells whether others may read the key file.
bool takeCredential(const ParsedArguments& args, const std::string& chosen, ArrayLogin& login,
                    bool& othersMayRead, std::string& error) {
    othersMayRead = false;
    if (chosen == kApiKeyFileOption) {
        login.password.clear();
        return checkApiKeyFile(args.value(kApiKeyFileOption), login.apiKeyFile, othersMayRead, error);
    }
    login.apiKeyFile.clear();
    return readPassword(args, login.password, error);
}

// --address, --port and --config NAME=VALUE into `configs`.
bool takeConfigs(const ParsedArguments& args, std::map<std::string, std::string>& configs, std::string& error) {
    if (args.has("--port")) {
        int port = 0;
        if (!parseInt(args.value("--port"), 1, 65535, port)) {
            error = "--port must be 1 to 65535";
            return false;
        }
        configs[QZSO::kMetroServerPortConfig] = std::to_string(port);
    }
    if (args.has("--address")) configs[QZSO::kMetroServerIpConfig] = args.value("--address");
    const auto extra = args.values.find("--config");
    if (extra == args.values.end()) return true;
    for (const std::string& entry : extra->second) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos || equals == 0) {
            error = "--config takes NAME=VALUE, not \"" + entry + "\"";
            return false;
        }
        configs[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    return true;
}

// "user supervisor" or "API key from /etc/hnas/hnas1.key".
std::string credentialText(const ArrayRecord& array) {
    return array.apiKeyFile.empty() ? "user " + arrayInfoValue(array.arrayInfo, "hostUserName")
                                    : "API key from " + array.apiKeyFile;
}

int cmdAddArray(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.size() != 1) return fail(kExitUsage, "add-array takes one NAME (see add-array --help)");
    for (const char* required : {"--array-id", "--control-host", "--control-host-id"})
        if (!args.has(required)) return fail(kExitUsage, std::string("add-array needs ") + required);
    std::string chosen;
    std::string error;
    if (!chosenCredential(args, chosen, error)) return fail(kExitUsage, error);
    if (chosen.empty())
        return fail(kExitUsage, std::string("add-array needs --user with ") + kPasswordFileOption + " or " +
                                    kPasswordStdinOption + ", or " + kApiKeyFileOption);
    if (chosen == kApiKeyFileOption && args.has("--user"))
        return fail(kExitUsage, kUserGoesWithPassword);
    if (chosen != kApiKeyFileOption && !args.has("--user"))
        return fail(kExitUsage, "add-array needs --user with a password");
    ArrayLogin login;
    login.arrayId = args.value("--array-id");
    login.controlHost = args.value("--control-host");
    login.user = args.value("--user");
    if (!parseInt(args.value("--control-host-id"), 0, 2147483647, login.controlHostId))
        return fail(kExitBadInput, "--control-host-id must be a number from 0");
    bool othersMayRead = false;
    if (!takeCredential(args, chosen, login, othersMayRead, error)) return fail(kExitBadInput, error);

    std::map<std::string, std::string> configs;
    if (!takeConfigs(args, configs, error)) return fail(kExitBadInput, error);
    ArrayRecord record;
    if (!makeArrayRecord(args.positional[0], args.value("--vendor", QZSO::kHnasVendor), login, configs, record, error))
        return fail(kExitBadInput, error);
    if (othersMayRead) warn(readableKeyFileWarning(login.apiKeyFile, "array " + record.name));
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<ArrayRecord> arrays;
    if (!store.loadArrays(arrays, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    if (!checkArrayKeySection(arrays, record, error) || !store.addArray(record, error))
        return fail(store.busy() ? kExitBusy : kExitBadInput, error);
    printf("added array %s (control host ID %d, %s)\n", record.name.c_str(), record.controlHostId,
           credentialText(record).c_str());
    return kExitOk;
}

int cmdUpdateArray(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.size() != 1) return fail(kExitUsage, "update-array takes one NAME (see update-array --help)");
    bool changes = false;
    for (const auto& option : args.values) changes = changes || option.first != kStoreOption;
    if (!changes) return fail(kExitUsage, "update-array " + args.positional[0] + ": nothing to change (see --help)");
    std::string chosen;
    std::string error;
    if (!chosenCredential(args, chosen, error)) return fail(kExitUsage, error);
    if (chosen == kApiKeyFileOption && args.has("--user"))
        return fail(kExitUsage, kUserGoesWithPassword);

    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<ArrayRecord> arrays;
    if (!store.loadArrays(arrays, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    const ArrayRecord* found = nullptr;
    for (const ArrayRecord& a : arrays)
        if (a.name == args.positional[0]) found = &a;
    if (found == nullptr) return fail(kExitBadInput, unknownArrayMessage(args.positional[0]));
    const ArrayRecord& current = *found;

    ArrayLogin login;
    login.arrayId = args.value("--array-id", arrayInfoValue(current.arrayInfo, "arrayId"));
    login.controlHost = args.value("--control-host", arrayInfoValue(current.arrayInfo, "hostName"));
    login.user = args.value("--user", arrayInfoValue(current.arrayInfo, "hostUserName"));
    login.password = arrayInfoValue(current.arrayInfo, "hostPassword");
    login.controlHostId = current.controlHostId;
    login.apiKeyFile = current.apiKeyFile;
    if (chosen.empty() && args.has("--user") && !current.apiKeyFile.empty())
        return fail(kExitUsage, "array " + current.name + " is reached with an API key: give --user with " +
                                    kPasswordFileOption + " or " + kPasswordStdinOption + " to use a password");
    bool othersMayRead = false;
    if (chosen == kApiKeyFileOption) login.user.clear();
    if (!chosen.empty() && !takeCredential(args, chosen, login, othersMayRead, error)) return fail(kExitBadInput, error);
    if (login.apiKeyFile.empty() && login.user.empty())
        return fail(kExitUsage, "array " + current.name + " has no user (it was reached with an API key): give --user");

    std::map<std::string, std::string> configs = current.configs;
    const auto unset = args.values.find("--unset-config");
    if (unset != args.values.end()) {
        for (const std::string& name : unset->second)
            if (configs.erase(name) == 0)
                return fail(kExitBadInput, "array " + current.name + " has no configuration value " + name);
    }
    if (!takeConfigs(args, configs, error)) return fail(kExitBadInput, error);
    ArrayRecord record;
    if (!makeArrayRecord(current.name, current.vendor, login, configs, record, error)) return fail(kExitBadInput, error);
    if (othersMayRead) warn(readableKeyFileWarning(login.apiKeyFile, "array " + record.name));
    if (!checkArrayKeySection(arrays, record, error) || !store.updateArray(record, error))
        return fail(store.busy() ? kExitBusy : kExitBadInput, error);
    printf("updated array %s (control host ID %d, %s)\n", record.name.c_str(), record.controlHostId,
           credentialText(record).c_str());
    return kExitOk;
}

int cmdRemoveArray(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.size() != 1) return fail(kExitUsage, "remove-array takes one NAME (see remove-array --help)");
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<std::string> devices;
    std::string error;
    if (!store.removeArray(args.positional[0], devices, error))
        return fail(store.busy() ? kExitBusy : kExitBadInput, error);
    printf("removed array %s\n", args.positional[0].c_str());
    return kExitOk;
}

int cmdListArrays(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<ArrayRecord> arrays;
    std::string error;
    if (!store.loadArrays(arrays, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    if (args.has("--json")) return printListJson("list-arrays", "arrays", arrays, arrayJson);
    std::vector<std::vector<std::string>> rows;
    for (const ArrayRecord& a : arrays) {
        std::string configs;
        for (const auto& c : a.configs) configs += (configs.empty() ? "" : " ") + c.first + "=" + c.second;
        rows.push_back({a.name, a.vendor, std::to_string(a.controlHostId), arrayInfoValue(a.arrayInfo, "arrayId"),
                        arrayInfoValue(a.arrayInfo, "hostName"),
                        a.apiKeyFile.empty() ? arrayInfoValue(a.arrayInfo, "hostUserName") : credentialText(a),
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
int cmdConformance(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.size() != 1 || !args.has("--file-system") || !args.has("--directory"))
        return fail(kExitUsage, "conformance takes one array NAME, --file-system FS and --directory DIR");
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    ConformanceOptions options;
    options.array = args.positional[0];
    options.fileSystem = args.value("--file-system");
    options.directory = args.value("--directory");
    options.json = args.has("--json");
    std::string error;
    const int code = runConformance(store, options, error);
    return error.empty() ? code : fail(code, error);
}
}  // namespace

std::vector<Command> arrayCommands() {
    return {
        {"add-array", "NAME", "register an array the plug-in can reach",
         "NAME is what devices' filers or the alias search must match, e.g. hnas1. Give the array a user with\n"
         "its password (--user with --password-file or --password-stdin), or an API key (--api-key-file).\n"
         "The password is read from a file or standard input, never from the command line, and never\n"
         "printed. It may not hold \",\", \"{\" or \"}\": the array-info text that carries it to the plug-in\n"
         "cannot (see behaviour.md in /usr/share/doc/qzsnapenginehnas).\n"
         "An API key file is checked now as the array client reads it (a regular file, not a link or FIFO,\n"
         "at most 4096 bytes, one key) and its absolute path is stored, never the key: replace the file's\n"
         "content to rotate the key. Each job hands it to the client for this array alone, in the settings\n"
         "section [~Vorlane/HNASClient/<control host>:<port>], so two arrays with keys need control hosts\n"
         "or ports of their own (--address says where to connect). A key file others may read is warned\n"
         "about.\n",
         {{"--array-id", "ID", false, "the array's virtual server name or address, e.g. evs1"},
          {"--control-host", "HOST", false, "the control (management) host"},
          {"--control-host-id", "N", false, "the control host ID; unique per array"},
          {"--user", "USER", false, "the management login (with a password)"},
          {kPasswordFileOption, "FILE", false, "read the password from the first line of FILE"},
          {kPasswordStdinOption, nullptr, false, "read the password from standard input"},
          {kApiKeyFileOption, "FILE", false, "reach the array with the API key in FILE (no user or password)"},
          {"--address", "ADDRESS", false, "management endpoint address (SMCONFIG_NAME_METRO_SERVER_IP)"},
          {"--port", "PORT", false, "management endpoint port (SMCONFIG_NAME_METRO_SERVER_PORT; default 8444)"},
          {"--config", "NAME=VALUE", true, "another configuration value of the array"},
          {"--vendor", "VENDOR", false, "vendor name (default \"Hitachi NAS\")"}},
         true, cmdAddArray},
        {"update-array", "NAME", "change an array: its password or API key, endpoint, user or configuration",
         "Changes only what is given; the name, control host ID and vendor stay. A new password\n"
         "(--password-file or --password-stdin, with the array's user or --user) replaces an API key, and\n"
         "--api-key-file replaces a password (and the user). The next job uses the new values.\n"
         "--unset-config removes a configuration value (e.g. SMCONFIG_NAME_METRO_SERVER_IP: the control\n"
         "host is reached then). The same checks as add-array apply.\n"
         "Exit codes: 0 updated, 64 bad command line, 65 no such array or a value refused.\n",
         {{"--array-id", "ID", false, "the array's virtual server name or address"},
          {"--control-host", "HOST", false, "the control (management) host"},
          {"--user", "USER", false, "the management login (with a password)"},
          {kPasswordFileOption, "FILE", false, "a new password, from the first line of FILE"},
          {kPasswordStdinOption, nullptr, false, "a new password, from standard input"},
          {kApiKeyFileOption, "FILE", false, "reach the array with the API key in FILE from now on"},
          {"--address", "ADDRESS", false, "management endpoint address (SMCONFIG_NAME_METRO_SERVER_IP)"},
          {"--port", "PORT", false, "management endpoint port (SMCONFIG_NAME_METRO_SERVER_PORT)"},
          {"--config", "NAME=VALUE", true, "set another configuration value"},
          {"--unset-config", "NAME", true, "remove a configuration value"}},
         true, cmdUpdateArray},
        {"remove-array", "NAME", "remove an array no device is attached to",
         "Refused while a device is attached to the array (its snapshots and later jobs need it):\n"
         "remove those devices first.\n"
         "Exit codes: 0 removed, 65 no such array, or a device is attached to it.\n",
         {}, true, cmdRemoveArray},
        {"list-arrays", "", "list the arrays (never their passwords)", "", {kJsonOption}, true, cmdListArrays},
        {"check-array", "NAME", "check that the plug-in can reach an array, step by step",
         "Uses libQzManageHNAS.so with the array's stored login and endpoint and the store's settings.\n"
         "Steps: the address resolves, TCP connects, TLS verifies (against sCAFile, $HNAS_CA_FILE or the\n"
         "system's CAs), the API version answers, the credentials are accepted, the virtual server of the\n"
         "array ID is found (by name or address). One line per step with its time; it stops at the first\n"
         "failure with the client's message and a hint. Never prints the password.\n"
         "Exit codes: 0 every step passed, 2 a step failed, 65 no such array.\n",
         {}, true, cmdCheckArray},
        {"conformance", "NAME", "check on a real array what the client assumes of it, in a scratch directory",
         "Tries, on the array NAME, each assumption of the array client that no public source confirms:\n"
         "the create field that keeps Everyone off a new CIFS share (noDefaultSecurity) and the client's\n"
         "removal of that entry, shares pointing into .snapshot and ~snapshot, an 80-character share name,\n"
         "delete states, 404 for objects that are gone, and the REST connection-cap resource. Prints one\n"
         "row each: the assumption, what was sent, what the array did, confirmed / contradicted / unknown,\n"
         "and the setting or fallback that applies.\n"
         "Everything it makes is named QZCONF-<8 hex>-... (its snapshot's appSearchId is QZCONF) inside\n"
         "the existing directory DIR of file system FS (it makes no directory), and is removed at the end,\n"
         "also after a failure, SIGINT or SIGTERM; what remains is then listed. No other object is\n"
         "touched. Refused: an unmounted file system, one without free space or room for two snapshots,\n"
         "and one holding a snapshot that a live device of this store refers to.\n"
         "Exit codes: 0 every row confirmed and nothing left, 2 a row not confirmed, an interruption or\n"
         "an object left, 65 no such array or a refused file system, 1 the array could not be asked.\n",
         {{"--file-system", "FS", false, "the label of the file system to work on"},
          {"--directory", "DIR", false, "an existing scratch directory of FS, e.g. \\scratch"},
          kJsonOption},
         true, cmdConformance},
    };
}
