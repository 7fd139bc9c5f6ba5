// With requests in flight the host sees what it sees with one: the same
// calls on each descriptor, statuses, errors, metadata and snap devices, the
// same log lines and return codes; the array receives the same changes in
// the same order, and ends holding the same objects. Only reads are made
// ahead (the fake client's batch record shows them); a change is never made
// for a device the frame does not reach.
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
    std::vector<std::string> log;     // every log line above the most verbose levels
    std::vector<std::string> changes;   // every call of the fake client that changes the array
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
    // Levels 3 and 5 also note the reads made ahead that no device took.
    for (const EvLogLine& line : f.log.lines())
        if (line.level < 3) t.log.push_back(std::to_string(line.level) + " " + line.context + " " + line.message);
    for (const fakearray::CallRecord& call : f.array.calls()) {
        if (call.operation.compare(0, 6, "create") != 0 && call.operation.compare(0, 6, "delete") != 0 &&
            call.operation.compare(0, 7, "recover") != 0)
            continue;
        std::string text = call.operation + (call.succeeded ? " ok" : " failed");
        for (const std::string& argument : call.arguments) text += " " + argument;
        t.changes.push_back(text);
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
        EXPECT_GE(eight.batches, 3u) << "the reads were not made ahead";
        EXPECT_EQ(one.host, eight.host);
        EXPECT_EQ(one.log, eight.log);
        EXPECT_EQ(one.changes, eight.changes);
        EXPECT_EQ(one.arrayState, eight.arrayState);
    }
}

// One host-visible result of a job: the return code and every descriptor.
std::vector<std::string> hostView(testsupport::EngineFixture& f, int rc) {
    std::vector<std::string> view{"rc=" + std::to_string(rc)};
    for (const auto& snap : f.snaps) view.push_back(describe(*snap));
    return view;
}

// Three native paths snapped on three file systems; device 1's identity
// then names a file system the array does not know, so its delete fails and
// the operation stops there. At any number in flight the two other
// snapshots stay: their deletes never run ahead of device 1.
TEST(InFlight, NoDeleteRunsForADeviceTheStopRuleDoesNotReach) {
    std::vector<std::vector<std::string>> views;
    for (int inFlight : {1, 8}) {
        SCOPED_TRACE(inFlight);
        EngineFixture f;
        f.array.requestsInFlight = inFlight;
        f.addDevice(testsupport::kNative, "u1");
        f.addDevice(testsupport::kNativeOnFs1, "u1");
        f.addDevice("{type:native_hnas,path:/__VOLUME__/fs2/c,targethostname:filer1}", "u1");
        ASSERT_EQ(0, f.run(qzso_prepareDevices));
        ASSERT_EQ(0, f.run(qzso_snapDevices));
        std::string& identity = f.snap(0).metadata[SM_MDT_SNAP_UUID];
        const std::string id = f.fileSystemId("fs3");
        identity.replace(identity.find(id), id.size(), "0FF0");
        const int rc = f.run(qzso_deleteSnaps);
        EXPECT_EQ(1, rc);
        EXPECT_EQ((testsupport::Statuses{SNAP_STATUS_DELETE_FAILED, SNAP_STATUS_DELETE_FAILED,
                                         SNAP_STATUS_DELETE_FAILED}),
                  f.statuses());
        EXPECT_EQ(3u, f.snapshotNames().size());
        views.push_back(hostView(f, rc));
    }
    EXPECT_EQ(views[0], views[1]);
}

// Two CIFS devices name one share in different case: the array counts
// "...-sub1-QZShare" and "...-SUB1-QZShare" as one name. The first map
// creates it; the second finds it present, at any number in flight (a
// look-up made ahead, before the create, is not its answer).
TEST(InFlight, AShareCreatedByAnEarlierDeviceIsFoundWhateverItsCase) {
    std::vector<std::vector<std::string>> views;
    for (int inFlight : {1, 8}) {
        SCOPED_TRACE(inFlight);
        EngineFixture f;
        f.array.requestsInFlight = inFlight;
        f.addDevice(testsupport::kUnc, "u1");
        f.addDevice("{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\filer1\\\\data\\\\SUB1,"
                    "targethostname:filer1}",
                    "u1");
        ASSERT_EQ(0, f.run(qzso_prepareDevices));
        ASSERT_EQ(0, f.run(qzso_snapDevices));
        const int rc = f.run(qzso_mapSnaps);
        EXPECT_EQ(0, rc);
        EXPECT_EQ((testsupport::Statuses{SNAP_STATUS_MAPPED, SNAP_STATUS_MAPPED}), f.statuses());
        EXPECT_EQ(1, f.array.count("createFileSystemShare"));
        views.push_back(hostView(f, rc));
    }
    EXPECT_EQ(views[0], views[1]);
}

}  // namespace
