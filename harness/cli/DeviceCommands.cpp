// The commands that keep the snap descriptors: add-device (one, or many
// with --from), list-devices, remove-device.
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "syskit/SmallFiles.h"
#include "harness/cli/CliCommand.h"
#include "harness/cli/DeviceLines.h"
#include "harness/framework/DeviceRemoval.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/JsonOutput.h"
#include "harness/framework/TextTables.h"

namespace {

// A device list of a few hundred thousand lines; anything larger is a file
// named by mistake, or a stream without end (standard input from /dev/zero).
const size_t kMaxDeviceFileBytes = 64 * 1024 * 1024;
const char kStandardInput[] = "standard input";

bool readDeviceFile(const std::string& file, std::string& text, std::string& error) {
    if (file != "-") return syskit::readSmallRegularFile(file, kMaxDeviceFileBytes, text, error);
    return syskit::readAtMost(STDIN_FILENO, kStandardInput, kMaxDeviceFileBytes, text, error);
}

// Every line of `text` as a device, each checked before any is added: the
// line's form, its label (unique in the file and the store), its source
// device. False with each bad line described in `problems`.
bool devicesFromLines(const std::string& text, const std::vector<DeviceRecord>& stored,
                      std::vector<DeviceRecord>& devices, std::vector<std::string>& problems) {
    std::vector<DeviceLine> lines;
    splitDeviceLines(text, lines, problems);
    std::map<std::string, std::string> labels;   // label -> where it is taken
    for (const DeviceRecord& d : stored)
        if (!d.label.empty()) labels[d.label] = "by device " + std::to_string(d.id);
    for (const DeviceLine& line : lines) {
        const std::string where = "line " + std::to_string(line.number) + ": ";
        std::string problem = line.label.empty() ? std::string() : labelProblem(line.label);
        if (problem.empty() && !line.label.empty()) {
            const auto taken = labels.find(line.label);
            if (taken != labels.end())
                problem = "label " + line.label + " is taken " + taken->second;
            else
                labels[line.label] = "on " + where.substr(0, where.size() - 2);
        }
        if (problem.empty()) problem = sourceDeviceProblem(line.sourceDevice);
        if (!problem.empty()) {
            problems.push_back(where + problem);
            continue;
        }
        DeviceRecord device;
        device.label = line.label;
        device.sourceDevice = line.sourceDevice;
        devices.push_back(device);
    }
    return problems.empty();
}

int addDevicesFrom(const std::string& dir, const std::string& file) {
    std::string text;
    std::string error;
    if (!readDeviceFile(file, text, error)) return fail(kExitBadInput, error);
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<DeviceRecord> stored;
    if (!store.loadDevices(stored, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    std::vector<DeviceRecord> devices;
    std::vector<std::string> problems;
    if (!devicesFromLines(text, stored, devices, problems)) {
        for (const std::string& problem : problems) fprintf(stderr, "hnas-host: %s\n", problem.c_str());
        return fail(kExitBadInput, "nothing added: " + std::to_string(problems.size()) + " bad line(s) in " +
                                       (file == "-" ? std::string(kStandardInput) : file));
    }
    if (devices.empty()) return fail(kExitBadInput, "no device in " + file);
    if (!store.addDevices(devices, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    printf("added %zu devices (ids %lld to %lld)\n", devices.size(), devices.front().id, devices.back().id);
    return kExitOk;
}

int cmdAddDevice(const std::string& dir, const ParsedArguments& args) {
    if (args.has("--from")) {
        if (!args.positional.empty() || args.has("--label"))
            return fail(kExitUsage, "add-device --from FILE takes no SOURCE-DEVICE and no --label");
        return addDevicesFrom(dir, args.value("--from"));
    }
    if (args.positional.size() != 1) return fail(kExitUsage, "add-device takes one SOURCE-DEVICE string");
    DeviceRecord device;
    device.sourceDevice = args.positional[0];
    device.label = args.value("--label");
    if (!device.label.empty()) {
        const std::string problem = labelProblem(device.label);
        if (!problem.empty()) return fail(kExitBadInput, problem);
    }
    const std::string problem = sourceDeviceProblem(device.sourceDevice);
    if (!problem.empty()) return fail(kExitBadInput, problem);
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::string error;
    if (!store.addDevice(device, error)) return fail(store.busy() ? kExitBusy : kExitBadInput, error);
    printf("added device %s (id %lld)\n", deviceDisplayName(device).c_str(), device.id);
    return kExitOk;
}

// The devices of `all` attached to array `name`; exit 65 when the store
// has no such array.
int devicesOnArray(HostStore& store, const std::vector<DeviceRecord>& all, const std::string& name,
                   std::vector<DeviceRecord>& onArray) {
    std::vector<ArrayRecord> arrays;
    std::string error;
    if (!store.loadArrays(arrays, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    bool known = false;
    for (const ArrayRecord& a : arrays) known = known || a.name == name;
    if (!known) return fail(kExitBadInput, unknownArrayMessage(name));
    for (const DeviceRecord& d : all)
        if (d.arrayName == name) onArray.push_back(d);
    return kExitOk;
}

int cmdListDevices(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<DeviceRecord> devices;
    std::string error;
    if (!store.loadDevices(devices, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
    if (args.has("--array")) {
        std::vector<DeviceRecord> onArray;
        if (const int code = devicesOnArray(store, devices, args.value("--array"), onArray)) return code;
        devices.swap(onArray);
    }
    if (args.has("--json")) return printListJson("list-devices", "devices", devices, deviceJson);
    std::vector<std::vector<std::string>> rows;
    for (const DeviceRecord& d : devices)
        rows.push_back({std::to_string(d.id), d.label.empty() ? "-" : d.label, d.sourceDevice});
    printf("%s", formatTable({"id", "label", "source device"}, rows).c_str());
    return kExitOk;
}

int cmdRemoveDevice(const std::string& dir, const ParsedArguments& args) {
    const bool byArray = args.has("--array");
    if (args.positional.empty() == !byArray)
        return fail(kExitUsage, "remove-device takes one or more DEVICE (label or id), or --array NAME (not both)");
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<std::string> names = args.positional;
    std::string error;
    if (byArray) {
        std::vector<DeviceRecord> all;
        std::vector<DeviceRecord> onArray;
        if (!store.loadDevices(all, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
        if (const int code = devicesOnArray(store, all, args.value("--array"), onArray)) return code;
        if (onArray.empty()) {
            printf("no device is attached to array %s\n", args.value("--array").c_str());
            return kExitOk;
        }
        for (const DeviceRecord& d : onArray) names.push_back(std::to_string(d.id));
    }
    std::vector<std::string> removed;
    const int code = removeDevices(store, names, args.has("--force"), removed, error);
    if (code != kExitOk) return fail(code, error);
    for (const std::string& line : removed) printf("%s\n", line.c_str());
    return kExitOk;
}
}  // namespace

std::vector<Command> deviceCommands() {
    return {
        {"add-device", "SOURCE-DEVICE | --from FILE", "add a snap descriptor for a source device",
         "Examples of SOURCE-DEVICE:\n"
         "  '{vortype:,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\hnas1\\\\data\\\\sub,targethostname:hnas1}'\n"
         "  '{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:hnas1}'\n"
         "  '{type:native_hnas,path:/__VOLUME__/fs1/dir,targethostname:hnas1}'\n"
         "A string the plug-in could never parse, or holding a NUL byte, is refused with the reason.\n"
         "--from FILE adds one device a line, \"[LABEL ]SOURCE-DEVICE\" (FILE \"-\": standard input;\n"
         "at most 64 MiB; blank lines and lines starting with # are skipped): every line is checked\n"
         "first, each bad one named with its number, and either all are added or none.\n",
         {{"--label", "LABEL", false,
           "a short name for tables and commands, e.g. cifs-data (no blanks, commas or control characters)"},
          {"--from", "FILE", false, "add the devices listed in FILE, one a line (\"-\": standard input)"}},
         true, cmdAddDevice},
        {"list-devices", "", "list the devices and their source device strings",
         "--array NAME lists only the devices attached to array NAME (exit 65 when there is none such).\n",
         {{"--array", "NAME", false, "only the devices attached to array NAME"}, kJsonOption}, true,
         cmdListDevices},
        {"remove-device", "DEVICE... | --array NAME", "remove devices (labels or ids) from the store",
         "Refused (exit 75) while a job holds one of them. A device whose snapshot is still on the\n"
         "array by its record (not reported deleted), and that no staying device shares, is refused\n"
         "(exit 65) with what to do: delete the snapshot first (hnas-host run delete DEVICE), or give\n"
         "--force, after which hnas-host orphans lists the snapshot. Either all named devices are\n"
         "removed or none. The history keeps their names. --array NAME names every device attached to\n"
         "array NAME.\n",
         {{"--array", "NAME", false, "remove every device attached to array NAME"},
          {"--force", nullptr, false, "remove a device whose snapshot is still on the array"}}, true,
         cmdRemoveDevice},
    };
}
