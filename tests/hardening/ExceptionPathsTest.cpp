// Exceptions raised by the plug-in's callees: a host whose descriptor or
// utility throws from a call, and an array client whose own code throws,
// at every call of every operation, in the grouping, the per-device work
// and across two groups. The plug-in catches none of them: each one reaches
// the host's call. Everything the call made must be released on the way
// out; the sanitizer build (LeakSanitizer) checks that nothing leaks.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "tests/hardening/StagedOperation.h"
#include "tests/support/TempSettings.h"

namespace {

using testsupport::EngineFixture;
using hardening::OpTraits;

enum class Thrower { FirstDescriptor, SecondDescriptor, Utility, Client };

const char* throwerName(Thrower t) {
    switch (t) {
        case Thrower::FirstDescriptor: return "first descriptor";
        case Thrower::SecondDescriptor: return "second descriptor";
        case Thrower::Utility: return "utility";
        case Thrower::Client: return "array client";
    }
    return "?";
}

// Three devices in two groups: a share on filer1 (control host 3), an
// export on filer2 (host 4), and a share on hnas1's address, which prepare
// attaches through the alias search over the utility's array list.
void addDevices(EngineFixture& f) {
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice("{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:filer2}", "u2");
    fakehost::FakeSnapInfo& alias = f.addDevice(
        "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\192.0.2.10\\\\data,targethostname:192.0.2.10}",
        "u3");
    alias.knowArray("evs1", testsupport::kInfo1);
    f.util.arrayList.value = "hnas1";
    f.util.arrayInfoByName["hnas1"].value = testsupport::kInfo1;
}

struct Armed {
    int clientCalls = 0;   // client calls seen since arming
    int clientThrowAt = 0;
};

// Calls the thrower makes so far (the client counts from arming).
int callsSoFar(EngineFixture& f, Thrower t) {
    switch (t) {
        case Thrower::FirstDescriptor: return static_cast<int>(f.snap(0).calls.size());
        case Thrower::SecondDescriptor: return static_cast<int>(f.snap(1).calls.size());
        case Thrower::Utility: return static_cast<int>(f.util.calls.size());
        case Thrower::Client: return 0;
    }
    return 0;
}

// Makes call number `n` (from now on, 1 = the next) of the thrower throw;
// n == 0 only counts.
void arm(EngineFixture& f, Thrower t, int n, Armed& armed) {
    const int base = callsSoFar(f, t);
    switch (t) {
        case Thrower::FirstDescriptor: f.snap(0).throwAtCall = n == 0 ? 0 : base + n; break;
        case Thrower::SecondDescriptor: f.snap(1).throwAtCall = n == 0 ? 0 : base + n; break;
        case Thrower::Utility: f.util.throwAtCall = n == 0 ? 0 : base + n; break;
        case Thrower::Client:
            armed.clientThrowAt = n;
            f.array.beforeCall = [&armed](const std::string&) {
                ++armed.clientCalls;
                if (armed.clientCalls == armed.clientThrowAt) throw std::runtime_error("the client's own code failed");
            };
            break;
    }
}

TEST(ExceptionPaths, EveryCallOfEveryOperationMayThrowThrough) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    for (const OpTraits& op : hardening::allOps()) {
        for (Thrower t : {Thrower::FirstDescriptor, Thrower::SecondDescriptor, Thrower::Utility, Thrower::Client}) {
            SCOPED_TRACE(std::string(op.name) + ", " + throwerName(t));
            // How many calls the thrower gets in a run without exceptions.
            int callsInRun = 0;
            {
                EngineFixture f;
                addDevices(f);
                std::string why;
                ASSERT_TRUE(hardening::stageFor(f, op.op, why)) << why;
                Armed armed;
                arm(f, t, 0, armed);
                const int before = callsSoFar(f, t);
                f.run(op.entry);
                callsInRun = t == Thrower::Client ? armed.clientCalls : callsSoFar(f, t) - before;
            }
            ASSERT_GT(callsInRun, 0);
            for (int n = 1; n <= callsInRun; ++n) {
                SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(callsInRun));
                EngineFixture f;
                addDevices(f);
                std::string why;
                ASSERT_TRUE(hardening::stageFor(f, op.op, why)) << why;
                Armed armed;
                arm(f, t, n, armed);
                if (t == Thrower::Client) {
                    EXPECT_THROW(f.run(op.entry), std::runtime_error);
                } else {
                    EXPECT_THROW(f.run(op.entry), std::bad_alloc);
                }
            }
        }
    }
}

}  // namespace
