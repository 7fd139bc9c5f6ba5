// hnas-host: plays the backup framework for the HNAS snapshot plug-in. It
// keeps descriptors, arrays and settings in a store, runs one plug-in
// operation per process (a job), and shows what the plug-in reported.
// main() reads the global options and hands the rest to one command of the
// tables the command files give (CliCommand.h).
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/cli/CliCommand.h"
#include "harness/cli/CommandLine.h"
#include "harness/framework/ExitCodes.h"
#include "hnas/BuildVersion.h"

namespace {

const char kStoreVariable[] = "HNAS_HOST_STORE";
const char kDefaultStore[] = "hnas-host-store";

const std::vector<Command>& commands() {
    static const std::vector<Command> list = [] {
        std::vector<Command> all;
        for (auto group : {storeCommands, arrayCommands, deviceCommands, settingCommands, jobCommands, toolCommands}) {
            std::vector<Command> some = group();
            all.insert(all.end(), some.begin(), some.end());
        }
        return all;
    }();
    return list;
}

bool isCommand(const std::string& name) {
    for (const Command& c : commands())
        if (name == c.name) return true;
    return name == "help";
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
    printf("\n'hnas-host COMMAND --help' (or -h) tells more. Start with: hnas-host demo\n\n"
           "Exit codes: 0 done, 1 host error (or a demo job not as expected), 2 a check-array step failed\n"
           "(orphans: an array could not be asked), 3 some devices failed, 4 no device succeeded, 5 the\n"
           "plug-in returned something else or threw, 6 is-mapped or reconcile answered without reaching an\n"
           "array, 64 bad command line, 65 unknown device/array or bad value, 66 no store, 69 plug-in or\n"
           "simulator unusable, 75 a device is held by another job or the store stayed busy (every command\n"
           "waits $HNAS_HOST_BUSY_WAIT seconds for it, default 60).\n");
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
    while (i < args.size() && (args[i].compare(0, 2, "--") == 0 || args[i] == kShortHelpOption)) {
        if (args[i] == kHelpOption || args[i] == kShortHelpOption) {
            printMainHelp();
            return kExitOk;
        }
        if (args[i] == "--version") {
            printf("hnas-host %s\n", HNAS_VERSION_TEXT);
            return kExitOk;
        }
        if (args[i] == kStoreOption || args[i].rfind(std::string(kStoreOption) + "=", 0) == 0) {
            const bool joined = args[i] != kStoreOption;
            storeDir = joined ? args[i].substr(std::string(kStoreOption).size() + 1)
                              : (i + 1 < args.size() ? args[i + 1] : std::string());
            // "hnas-host --store init" took the command for the directory.
            const bool commandTaken = !joined && i + 2 >= args.size() && isCommand(storeDir);
            if (storeDir.empty() || commandTaken)
                return fail(kExitUsage, std::string(kStoreOption) + " needs a directory, e.g. " + kStoreOption +
                                            " ~/hnas-store (see hnas-host --help)");
            i += joined ? 1 : 2;
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
