// The commands around the jobs: init (the store), orphans, check-plugin, demo.
#include <cstdio>
#include <string>
#include <vector>

#include "harness/cli/CliCommand.h"
#include "harness/cli/Orphans.h"
#include "harness/demo/Demo.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/PluginLoader.h"

namespace {

int cmdInit(const std::string& dir, const ParsedArguments&) {
    HostStore store;
    std::string error;
    // Running init again is no mistake: a store that opens is left as it is.
    if (HostStore::existsIn(dir)) {
        if (!store.open(dir, error)) return fail(exitCodeForStoreFailure(store.busy()), error);
        printf("the host store %s is there already; nothing changed\n", dir.c_str());
        return kExitOk;
    }
    if (!store.create(dir, error)) return fail(kExitHostError, error);
    printf("created the host store %s\n", dir.c_str());
    return kExitOk;
}

int cmdOrphans(const std::string& dir, const ParsedArguments& args) {
    if (!args.positional.empty()) return fail(kExitUsage, "orphans takes no arguments (see orphans --help)");
    if (args.has("--yes") && !args.has("--delete")) return fail(kExitUsage, "--yes goes with --delete");
    HostStore store;
    if (const int code = openStore(dir, store)) return code;
    OrphanOptions options;
    options.remove = args.has("--delete");
    options.confirmed = args.has("--yes");
    options.json = args.has("--json");
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
}  // namespace

std::vector<Command> storeCommands() {
    return {
        {"init", "", "create an empty host store",
         "On a store that exists already it changes nothing and exits 0.\n", {}, true, cmdInit},
    };
}

std::vector<Command> toolCommands() {
    return {
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
          {"--array", "NAME", true, "only this array (default: every array)"},
          {"--older-than", "AGE", false, "only snapshots made at least AGE ago, e.g. 90s, 30m, 12h, 7d"},
          kJsonOption},
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
}
