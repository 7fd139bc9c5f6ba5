// With requests in flight the host sees what it sees with one: the same
// calls on each descriptor, statuses, errors, metadata and snap devices, the
// same log lines and return codes, and (nothing failing) the same array
// calls in the same order; only the fake client's batch record shows what
// was made ahead. With a failure in the middle of a batch, the array ends as
// it would with one in flight: what was made ahead for devices never reached
// is undone.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/EngineFixture.h"
#include "tests/support/TempSettings.h"

namespace {

using namespace QZSO;
using testsupport::EngineFixture;

struct Transcript {
    std::vector<std::string> host;    // return codes and every descriptor after each operation
    std::vector<std::string> log;     // every log line
    std::vector<std::string> array;   // every call of the fake client
    std::vector<std::string> arrayState;   // snapshots and shares at the end
    size_t batches = 0;
};

std::string describe(const fakehost::FakeSnapInfo& s) {
    std::ostringstream out;
    out << s.status << "|" << s.errorCode << "|" << s.errorMessage << "|" << s.snapUUID << "|" << s.snapDevice;
    for (const auto& m : s.metadata) out << "|" << m.first << "=" << m.second;
    for (const std::string& call : s.calls) out << "|" << call;
    return out.str();
}

struct Failure {
    const char* name;
    const char* operation;   // of the fake client; null: nothing fails
    int callNumber;
};

Transcript runLifecycle(int inFlight, const Failure& failure) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    EngineFixture f;
    f.array.requestsInFlight = inFlight;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNfs, "u2");
    f.addDevice(testsupport::kNative, "u3");
    f.addDevice(testsupport::kNativeOnFs1, "u4");
    f.addDevice("{type:native_hnas,path:/__VOLUME__/fs3/b,targethostname:filer1}", "u5");
    if (failure.operation != nullptr) f.array.failCall(failure.operation, failure.callNumber);

    Transcript t;
    const testsupport::EntryPoint lifecycle[] = {qzso_prepareDevices, qzso_snapDevices, qzso_isMapped,
                                                 qzso_mapSnaps,       qzso_isMapped,    qzso_unmapSnaps,
                                                 qzso_revertSnaps,    qzso_reconcileSnaps, qzso_deleteSnaps};
    for (testsupport::EntryPoint entry : lifecycle) {
        t.host.push_back("rc=" + std::to_string(f.run(entry)));
        for (const auto& snap : f.snaps) t.host.push_back(describe(*snap));
    }
    for (const EvLogLine& line : f.log.lines())
        t.log.push_back(std::to_string(line.level) + " " + line.context + " " + line.message);
    for (const fakearray::CallRecord& call : f.array.calls()) {
        std::string text = call.operation + (call.succeeded ? " ok" : " failed");
        for (const std::string& argument : call.arguments) text += " " + argument;
        t.array.push_back(text);
    }
    for (const arraymodel::Snapshot& s : f.hnas1().snapshots) t.arrayState.push_back("snapshot " + s.displayName);
    for (const arraymodel::Share& s : f.hnas1().shares) t.arrayState.push_back("share " + s.name);
    t.batches = f.array.batches().size();
    return t;
}

TEST(InFlight, TheHostSeesWhatItSeesWithOneRequestInFlight) {
    const Failure failures[] = {
        {"nothing fails", nullptr, 0},
        {"the second file system's snapshot", "createFileSystemSnapshot", 2},
        {"the second share's create", "createFileSystemShare", 2},
        {"the second share's delete", "deleteFileSystemShare", 2},
        {"the second roll-back", "recoverFileSystemSnapshot", 2},
        {"the second snapshot's delete", "deleteFileSystemSnapshot", 2},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.name);
        const Transcript one = runLifecycle(1, failure);
        const Transcript eight = runLifecycle(8, failure);
        EXPECT_EQ(0u, one.batches);
        EXPECT_GT(eight.batches, 5u) << "the calls were not made ahead";
        EXPECT_EQ(one.host, eight.host);
        EXPECT_EQ(one.log, eight.log);
        if (failure.operation == nullptr) {
            EXPECT_EQ(one.array, eight.array);
        }
        // What was made ahead for devices never reached is gone again, and
        // nothing starts after a failure (the fake makes a batch one call at
        // a time, so none is in flight with it): the array holds what it
        // holds with one in flight.
        EXPECT_EQ(one.arrayState, eight.arrayState);
    }
}

}  // namespace
