// hnas-host: plays the backup framework for the HNAS snapshot plug-in. It
// keeps descriptors, arrays and settings in a store, runs one plug-in
// operation per process (a job), and shows what the plug-in reported.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "harness/cli/CheckArray.h"
#include "harness/cli/CommandLine.h"
#include "harness/cli/Orphans.h"
#include "harness/demo/Demo.h"
#include "harness/framework/ArrayInfoText.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostOperations.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/JobRunner.h"
#include "harness/framework/PluginLoader.h"
#include "harness/framework/PrivateFiles.h"
#include "harness/framework/TextTables.h"
#include "hnas/BuildVersion.h"
#include "host/ArrayConfigNames.h"

namespace {

const char kStoreVariable[] = "HNAS_HOST_STORE";
const char kDefaultStore[] = "hnas-host-store";
const char kStoreOption[] = "--store";
// A password file holds one short line; anything larger is a file named by mistake.
const size_t kMaxPasswordFileBytes = 4096;

struct Command {
    const char* name;
    const char* arguments;                 // e.g. "OPERATION [DEVICE...]"
    const char* summary;
    const char* details;                   // more help, may be ""
    std::vector<OptionSpec> options;
    bool usesStore;
    int (*run)(const std::string& storeDir, const ParsedArguments& args);
};

int fail(int code, const std::string& message) {
    fprintf(stderr, "hnas-host: %s\n", message.c_str());
    return code;
}

// Opens the store; the exit code when it cannot be.
int openStore(const std::string& dir, HostStore& store) {
    std::string error;
    if (store.open(dir, error)) return kExitOk;
    struct stat info;
    return fail(stat((dir + "/host.db").c_str(), &info) == 0 ? kExitHostError : kExitNoStore, error);
}

bool readPassword(const ParsedArguments& args, std::string& password, std::string& error) {
    if (args.has("--password-file") == args.has("--password-stdin")) {
        error = "give the password with exactly one of --password-file or --password-stdin";
        return false;
    }
    if (args.has("--password-file")) {
        std::string text;
        if (!readSmallRegularFile(args.value("--password-file"), kMaxPasswordFileBytes, text, error)) return false;
        const size_t end = text.find('\n');
        password = text.substr(0, end);
        if (password.empty() && end == std::string::npos) {
            error = "no password in " + args.value("--password-file");
            return false;
        }
    } else if (!std::getline(std::cin, password)) {
        error = "no password on standard input";
        return false;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
}

bool parseInt(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 10) return false;
    long long parsed = 0;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        parsed = parsed * 10 + (text[i] - '0');
    }
    if (text[0] == '-') parsed = -parsed;
    if (parsed < low || parsed > high) return false;
    value = static_cast<int>(parsed);
    return true;
}

int cmdInit(const std::string& dir, const ParsedArguments&) {
    HostStore store;
    std::string error;
    if (!store.create(dir, error)) return fail(kExitHostError, error);
    printf("created the host store %s\n", dir.c_str());
    return kExitOk;
}

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

int cmdListArrays(const std::string& dir, const ParsedArguments&) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<ArrayRecord> arrays;
    std::string error;
    if (!store.loadArrays(arrays, error)) return fail(kExitHostError, error);
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

int cmdAddDevice(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.size() != 1) return fail(kExitUsage, "add-device takes one SOURCE-DEVICE string");
    DeviceRecord device;
    device.sourceDevice = args.positional[0];
    device.label = args.value("--label");
    if (!device.label.empty() && (device.label.find_first_of(" ,\t\n") != std::string::npos ||
                                  device.label.find_first_not_of("#0123456789") == std::string::npos))
        return fail(kExitBadInput, "a label has no blanks or commas and is not a number");
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::string error;
    if (!store.addDevice(device, error)) return fail(kExitBadInput, error);
    printf("added device %s (id %lld)\n", deviceDisplayName(device).c_str(), device.id);
    return kExitOk;
}

int cmdListDevices(const std::string& dir, const ParsedArguments&) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<DeviceRecord> devices;
    std::string error;
    if (!store.loadDevices(devices, error)) return fail(kExitHostError, error);
    std::vector<std::vector<std::string>> rows;
    for (const DeviceRecord& d : devices)
        rows.push_back({std::to_string(d.id), d.label.empty() ? "-" : d.label, d.sourceDevice});
    printf("%s", formatTable({"id", "label", "source device"}, rows).c_str());
    return kExitOk;
}

int cmdRun(const std::string& dir, const ParsedArguments& args) {
    if (args.positional.empty()) return fail(kExitUsage, "run needs an OPERATION (see run --help)");
    JobRequest request;
    request.operation = args.positional[0];
    if (findHostOperation(request.operation) == nullptr)
        return fail(kExitUsage, "unknown operation \"" + request.operation + "\" (see run --help)");
    request.devices.assign(args.positional.begin() + 1, args.positional.end());
    request.allDevices = args.has("--all");
    if (request.allDevices == !request.devices.empty())
        return fail(kExitUsage, "name the devices, or give --all (not both)");
    request.pluginPath = args.value("--plugin");
    if (args.has("--mount-source") && !parseInt(args.value("--mount-source"), 0, 32767, request.mountRequestSource))
        return fail(kExitBadInput, "--mount-source must be a number from 0");
    if (args.has("--wait") && !parseInt(args.value("--wait"), 0, 86400, request.waitSeconds))
        return fail(kExitBadInput, "--wait takes seconds, 0 to 86400");
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    JobOutcome outcome;
    std::string error;
    const int code = runJob(store, request, outcome, error);
    if (error.empty() && !args.has("--quiet")) {
        printf("job %lld: %s returned %d\n%s", outcome.job.id, outcome.job.operation.c_str(), outcome.pluginResult,
               deviceStateTable(outcome.devices).c_str());
        printf("host log: %s\nplug-in log: %s\n", outcome.job.hostLog.c_str(), outcome.job.pluginLog.c_str());
        fflush(stdout);
    }
    // Each failed device with its reason, on standard error, also with --quiet.
    for (const std::string& line : outcome.failures) fprintf(stderr, "hnas-host: %s\n", line.c_str());
    if (!error.empty()) return fail(code, error);
    return code;
}

int cmdState(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<DeviceRecord> all;
    std::vector<DeviceRecord> chosen;
    std::string error;
    if (!store.loadDevices(all, error)) return fail(kExitHostError, error);
    if (args.positional.empty())
        chosen = all;
    else if (!selectDevices(all, args.positional, chosen, error))
        return fail(kExitBadInput, error);
    printf("%s", deviceStateTable(chosen).c_str());
    int code = kExitOk;
    if (args.has("--check-arrays")) {
        code = reportLeakedSnapshots(store, chosen, error);
        if (!error.empty()) return fail(code, error);
    }
    if (args.has("--verbose")) {
        for (const DeviceRecord& d : chosen) {
            printf("\n%s: status %d, array %s\n  source device: %s\n", deviceDisplayName(d).c_str(), d.status,
                   d.arrayName.empty() ? "-" : d.arrayName.c_str(), d.sourceDevice.c_str());
            for (const auto& m : d.metadata) printf("  metadata %d: %s\n", m.first, m.second.c_str());
        }
    }
    return code;
}

int cmdHistory(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::string error;
    if (args.has("--job")) {
        int id = 0;
        if (!parseInt(args.value("--job"), 1, 2147483647, id)) return fail(kExitBadInput, "--job takes a job number");
        std::vector<JobResultRecord> results;
        if (!store.loadJobResults(id, results, error)) return fail(kExitHostError, error);
        printf("%s", jobResultsTable(results).c_str());
        return kExitOk;
    }
    std::vector<JobRecord> jobs;
    if (!store.loadJobs(jobs, error)) return fail(kExitHostError, error);
    std::vector<std::vector<std::string>> rows;
    for (const JobRecord& j : jobs)
        rows.push_back({std::to_string(j.id), j.operation, j.started, j.returnCode < 0 ? "-" : std::to_string(j.returnCode),
                        j.outcome, j.devices});
    printf("%s", formatTable({"job", "operation", "started", "returned", "outcome", "devices"}, rows).c_str());
    return kExitOk;
}

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

int cmdListSettings(const std::string& dir, const ParsedArguments&) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<SettingRecord> settings;
    std::string error;
    if (!store.loadSettings(settings, error)) return fail(kExitHostError, error);
    printf("%s", renderSettings(settings).c_str());
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

int cmdOrphans(const std::string& dir, const ParsedArguments& args) {
    if (!args.positional.empty()) return fail(kExitUsage, "orphans takes no arguments (see orphans --help)");
    if (args.has("--yes") && !args.has("--delete")) return fail(kExitUsage, "--yes goes with --delete");
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    OrphanOptions options;
    options.remove = args.has("--delete");
    options.confirmed = args.has("--yes");
    const auto arrays = args.values.find("--array");
    if (arrays != args.values.end()) options.arrays = arrays->second;
    if (args.has("--older-than") && !parseAge(args.value("--older-than"), options.olderThanSeconds))
        return fail(kExitBadInput, "--older-than takes an age such as 90s, 30m, 12h or 7d");
    std::string error;
    const int code = findOrphans(store, options, error);
    return error.empty() ? code : fail(code, error);
}

int cmdCheckPlugin(const std::string&, const ParsedArguments& args) {
    LoadedPlugin plugin;
    std::string error;
    if (!plugin.load(args.value("--plugin", defaultPluginPath()), error)) return fail(kExitUnavailable, error);
    short major = 0, minor = 0, patch = 0;
    plugin.entry().qzso_version(&major, &minor, &patch);
    printf("%s: all eleven entry points resolved; version %d.%d.%d\n", plugin.path().c_str(), major, minor, patch);
    return kExitOk;
}

int cmdDemo(const std::string&, const ParsedArguments& args) {
    DemoOptions options;
    options.workspace = args.value("--workspace");
    options.pluginPath = args.value("--plugin");
    options.arraysimPath = args.value("--arraysim");
    options.certScript = args.value("--cert-script");
    if (args.has("--revert-wait") && !parseInt(args.value("--revert-wait"), 0, 3600, options.revertWaitSecs))
        return fail(kExitBadInput, "--revert-wait takes seconds, 0 to 3600");
    return runDemo(options);
}

const OptionSpec kPluginOption = {"--plugin", "PATH", false, "the plug-in to load (default: the built one)"};

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        {"init", "", "create an empty host store", "", {}, true, cmdInit},
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
        {"list-arrays", "", "list the arrays (never their passwords)", "", {}, true, cmdListArrays},
        {"add-device", "SOURCE-DEVICE", "add a snap descriptor for a source device",
         "Examples of SOURCE-DEVICE:\n"
         "  '{vortype:,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\hnas1\\\\data\\\\sub,targethostname:hnas1}'\n"
         "  '{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:hnas1}'\n"
         "  '{type:native_hnas,path:/__VOLUME__/fs1/dir,targethostname:hnas1}'\n",
         {{"--label", "LABEL", false, "a short name for tables and commands, e.g. cifs-data"}}, true, cmdAddDevice},
        {"list-devices", "", "list the devices and their source device strings", "", {}, true, cmdListDevices},
        {"run", "OPERATION [DEVICE...]", "run one operation of the plug-in as one job",
         "OPERATION is one of: prepare, unprepare, snap, is-mapped, map, unmap, delete, revert, reconcile.\n"
         "DEVICE is a label or an id. The job holds its devices until it ends: another job naming one of\n"
         "them waits (--wait) or is refused at once (exit 75); jobs on other devices run side by side.\n"
         "Each status, error, snap UUID, snap device and metadata text the plug-in sets is on disk before\n"
         "its call returns; a job whose process dies shows as \"interrupted\" in history and state. The job\n"
         "writes a host log and a plug-in log under <store>/logs. snap gives every device a fresh snap\n"
         "UUID first, ending in the store's identity (see orphans). Each device the operation failed is\n"
         "named on standard error with its reason (the plug-in's error text, else the last failure line\n"
         "it logged for the device), also with --quiet; the table goes to standard output.\n"
         "Exit codes: 0 all devices succeeded, 3 some failed, 4 none succeeded (is-mapped always returns\n"
         "0: see the statuses), 75 a device is held by another job.\n",
         {{"--all", nullptr, false, "every device of the store"},
          kPluginOption,
          {"--mount-source", "N", false, "map/unmap: who asked for the mount (2 = GUI; default 1)"},
          {"--wait", "SECONDS", false, "wait up to SECONDS for devices another job holds (default 0: refuse)"},
          {"--quiet", nullptr, false, "print nothing but errors (each failed device with its reason, on stderr)"}},
         true, cmdRun},
        {"state", "[DEVICE...]", "show what the plug-in last stored for each device, and its last job",
         "Status (by name), error code, snap UUID, the last job that worked on the device and its outcome\n"
         "(\"interrupted\": its process died; the row still shows every write the plug-in made before).\n",
         {{"--verbose", nullptr, false, "also the attached array and the stored metadata"},
          {"--check-arrays", nullptr, false,
           "ask the arrays whether the snapshot of a device reported deleted is still there (leaked)"}},
         true, cmdState},
        {"history", "", "show every job and its outcome", "",
         {{"--job", "N", false, "the devices' results of job N"}}, true, cmdHistory},
        {"set-setting", "SECTION KEY VALUE", "store a platform setting for the jobs",
         "e.g. set-setting '~Vorlane' nRevertMountPathRefreshWaitInSecs 3\n"
         "     set-setting '~Vorlane/HNASClient' sCAFile /path/ca.pem\n",
         {}, true, cmdSetSetting},
        {"list-settings", "", "show the settings file the jobs get", "", {}, true, cmdListSettings},
        {"check-array", "NAME", "check that the plug-in can reach an array, step by step",
         "Uses libQzManageHNAS.so with the array's stored login and endpoint and the store's settings.\n"
         "Steps: the address resolves, TCP connects, TLS verifies (against sCAFile, $HNAS_CA_FILE or the\n"
         "system's CAs), the API version answers, the credentials are accepted, the virtual server of the\n"
         "array ID is found (by name or address). One line per step with its time; it stops at the first\n"
         "failure with the client's message and a hint. Never prints the password.\n"
         "Exit codes: 0 every step passed, 2 a step failed, 65 no such array.\n",
         {}, true, cmdCheckArray},
        {"orphans", "", "list (or delete) this store's snapshots that no device refers to",
         "Per array, every snapshot this store made (its name carries the store's identity, which\n"
         "every snap UUID of its jobs ends in) that no device refers to (by its snap UUID or metadata; a\n"
         "device reported deleted refers to nothing) and no share or export points into, with its file\n"
         "system and creation time: what a job that died between the array's work and the host's record,\n"
         "or a delete that reported done while the snapshot stayed, leaves behind. A snapshot of another\n"
         "store or of an administrator is never touched; one under a share is kept and named. Before each\n"
         "deletion both are checked again. A snapshot two registrations of one endpoint reach is listed once.\n"
         "Exit codes: 0 done, 1 deletion not confirmed, 2 an array could not be asked or a deletion failed,\n"
         "65 no such array.\n",
         {{"--delete", nullptr, false, "delete them, after asking for \"yes\" on standard input"},
          {"--yes", nullptr, false, "with --delete: do not ask"},
          {"--array", "NAME", true, "only this array (repeatable; default: every array)"},
          {"--older-than", "AGE", false, "only snapshots made at least AGE ago, e.g. 90s, 30m, 12h, 7d"}},
         true, cmdOrphans},
        {"check-plugin", "", "load the plug-in and resolve its eleven entry points", "", {kPluginOption}, false,
         cmdCheckPlugin},
        {"demo", "", "run the whole lifecycle against a simulated array (needs nothing set up)",
         "Makes a workspace with a test certificate, starts hnas-arraysim on a free loopback port with two\n"
         "arrays, registers them and four devices, and runs prepare, snap, is-mapped, map, is-mapped, unmap,\n"
         "reconcile (after a snapshot is deleted behind the plug-in's back), revert and delete, each as its\n"
         "own process; check-array on both arrays before the first job, orphans (which must find none)\n"
         "after the last. Exit 0 only when every step ended as expected.\n",
         {{"--workspace", "DIR", false, "where to work (default: a new /tmp/hnas-demo-XXXXXX, kept)"},
          kPluginOption,
          {"--arraysim", "PATH", false, "the simulator (default: hnas-arraysim next to hnas-host)"},
          {"--cert-script", "PATH", false, "the certificate script (default: the installed make-test-cert.sh)"},
          {"--revert-wait", "SECONDS", false, "nRevertMountPathRefreshWaitInSecs (default 1)"}},
         false, cmdDemo},
    };
    return list;
}

void printCommandHelp(const Command& c) {
    std::vector<OptionSpec> options = c.options;
    if (c.usesStore) options.push_back({kStoreOption, "DIR", false, "the host store (default $HNAS_HOST_STORE or ./hnas-host-store)"});
    printf("usage: hnas-host %s%s%s%s\n\n%s.\n", c.name, c.arguments[0] != '\0' ? " " : "", c.arguments,
           options.empty() ? "" : " [OPTIONS]", c.summary);
    if (c.details[0] != '\0') printf("\n%s", c.details);
    if (!options.empty()) printf("\nOptions:\n%s", describeOptions(options).c_str());
}

void printMainHelp() {
    printf("usage: hnas-host [--store DIR] COMMAND [ARGUMENTS] [OPTIONS]\n"
           "       hnas-host --version\n\n"
           "Plays the backup framework for the HNAS snapshot plug-in: loads libQzSnapEngineHNAS.so, keeps\n"
           "descriptors, arrays and settings in a host store, and runs one plug-in operation per job.\n\n"
           "Commands:\n");
    for (const Command& c : commands()) printf("  %-14s %s\n", c.name, c.summary);
    printf("\n'hnas-host COMMAND --help' tells more. Start with: hnas-host demo\n\n"
           "Exit codes: 0 done, 1 host error (or a demo job not as expected), 2 a check-array step failed\n"
           "(orphans: an array could not be asked), 3 some devices failed, 4 no device succeeded, 5 the\n"
           "plug-in returned something else or threw, 64 bad command line, 65 unknown device/array or bad\n"
           "value, 66 no store, 69 plug-in or simulator unusable, 75 a device is held by another job.\n");
}

}  // namespace

int main(int argc, char** argv) {
    // Everything the host writes (store, logs, settings) is its owner's alone.
    umask(077);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string storeDir;
    const char* fromEnvironment = getenv(kStoreVariable);
    storeDir = fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : kDefaultStore;
    size_t i = 0;
    while (i < args.size() && args[i].compare(0, 2, "--") == 0) {
        if (args[i] == "--help") {
            printMainHelp();
            return kExitOk;
        }
        if (args[i] == "--version") {
            printf("hnas-host %s\n", HNAS_VERSION_TEXT);
            return kExitOk;
        }
        if (args[i] == kStoreOption && i + 1 < args.size()) {
            storeDir = args[i + 1];
            i += 2;
        } else if (args[i].compare(0, sizeof(kStoreOption), std::string(kStoreOption) + "=") == 0) {
            storeDir = args[i].substr(sizeof(kStoreOption));
            ++i;
        } else {
            return fail(kExitUsage, "unknown option " + args[i] + " (see hnas-host --help)");
        }
    }
    if (i == args.size()) {
        printMainHelp();
        return kExitUsage;
    }
    const std::string name = args[i];
    if (name == "help") {
        printMainHelp();
        return kExitOk;
    }
    for (const Command& c : commands()) {
        if (name != c.name) continue;
        std::vector<OptionSpec> options = c.options;
        if (c.usesStore) options.push_back({kStoreOption, "DIR", false, ""});
        ParsedArguments parsed;
        bool help = false;
        std::string error;
        if (!parseArguments(std::vector<std::string>(args.begin() + i + 1, args.end()), options, parsed, help, error))
            return fail(kExitUsage, error + " (see hnas-host " + c.name + " --help)");
        if (help) {
            printCommandHelp(c);
            return kExitOk;
        }
        return c.run(parsed.value(kStoreOption, storeDir), parsed);
    }
    return fail(kExitUsage, "unknown command \"" + name + "\" (see hnas-host --help)");
}
