// The sample world of `hnas-host demo` (and of the end-to-end tests): two
// simulated arrays, the way the host registers them, and four devices of all
// three kinds.
//
// Array "hnas1" (virtual server evs1) holds fs1 with the CIFS share "data"
// and fs2 with the NFS export "/exp1"; the host knows it by the filer's name
// "hnas1". Array "hnas2" (virtual server evs2, addresses 127.0.2.10 and
// 127.0.2.11) holds fs3 with the NFS export "/exp3"; the host knows it as
// "evs2" while its devices name the filer 127.0.2.11, so the plug-in finds
// it only through the alias search. Two devices live on fs3.
#pragma once

#include <string>
#include <vector>

#include "harness/framework/HostStore.h"

struct DemoPasswords {
    std::string hnas1;
    std::string hnas2;
};

struct DemoDevice {
    const char* label;
    const char* sourceDevice;
    const char* description;
};

// Simulator-side names of the arrays (its admin interface uses them).
extern const char kDemoArray1[];          // "hnas1"
extern const char kDemoArray2[];          // "hnas2"
// The host's names for them.
extern const char kDemoHostArray1[];      // "hnas1"
extern const char kDemoHostArray2[];      // "evs2"
// The arrays' management logins.
extern const char kDemoUser1[];           // "hnas1-supervisor"
extern const char kDemoUser2[];           // "hnas2-supervisor"

// The seed for hnas-arraysim, with the arrays' passwords.
std::string demoSeedJson(const DemoPasswords& passwords);

// cifs-data, nfs-exp1, native-home, nfs-exp3.
const std::vector<DemoDevice>& demoDevices();

// Registers both arrays for a simulator listening on 127.0.0.1:`port`.
// `passwords` may differ from the seed's (a wrong password, in tests).
bool registerDemoArrays(HostStore& store, int port, const DemoPasswords& passwords, std::string& error);

// Adds every demo device under its label.
bool addDemoDevices(HostStore& store, std::string& error);

// Settings of the demo's jobs: the CA file the client verifies the
// simulator with, short time-outs, and the wait after a revert in seconds.
bool storeDemoSettings(HostStore& store, const std::string& caFile, int revertWaitSecs, std::string& error);
