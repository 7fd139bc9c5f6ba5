// `hnas-host demo`: the plug-in's whole lifecycle, one job per process,
// against hnas-arraysim on a loopback port, with a table and a verdict per
// job. Exits 0 only when every job ended as expected.
#pragma once

#include <string>

struct DemoOptions {
    std::string workspace;      // "" = a fresh directory under /tmp
    std::string pluginPath;     // "" = the built one
    std::string arraysimPath;   // "" = hnas-arraysim next to hnas-host
    std::string certScript;     // "" = make-test-cert.sh in the helper directory
    int revertWaitSecs = 1;     // nRevertMountPathRefreshWaitInSecs
};

int runDemo(const DemoOptions& options);
