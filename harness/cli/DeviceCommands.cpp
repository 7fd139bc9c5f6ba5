// The commands that keep the snap descriptors: add-device, list-devices.
#include <cstdio>
#include <string>
#include <vector>

#include "harness/cli/CliCommand.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/JsonOutput.h"
#include "harness/framework/TextTables.h"

namespace {

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

int cmdListDevices(const std::string& dir, const ParsedArguments& args) {
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    std::vector<DeviceRecord> devices;
    std::string error;
    if (!store.loadDevices(devices, error)) return fail(kExitHostError, error);
    if (args.has("--json")) return printListJson("list-devices", "devices", devices, deviceJson);
    std::vector<std::vector<std::string>> rows;
    for (const DeviceRecord& d : devices)
        rows.push_back({std::to_string(d.id), d.label.empty() ? "-" : d.label, d.sourceDevice});
    printf("%s", formatTable({"id", "label", "source device"}, rows).c_str());
    return kExitOk;
}
}  // namespace

std::vector<Command> deviceCommands() {
    return {
        {"add-device", "SOURCE-DEVICE", "add a snap descriptor for a source device",
         "Examples of SOURCE-DEVICE:\n"
         "  '{vortype:,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\hnas1\\\\data\\\\sub,targethostname:hnas1}'\n"
         "  '{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:hnas1}'\n"
         "  '{type:native_hnas,path:/__VOLUME__/fs1/dir,targethostname:hnas1}'\n",
         {{"--label", "LABEL", false, "a short name for tables and commands, e.g. cifs-data"}}, true, cmdAddDevice},
        {"list-devices", "", "list the devices and their source device strings", "", {kJsonOption}, true,
         cmdListDevices},
    };
}
