// Every array call of every operation, failing in turn through the fake
// client: one row per operation x call. Three devices on two arrays (a CIFS
// share and a native path on hnas1, an NFS export on hnas2) show the stop
// rule across devices and groups; each row checks every device's status,
// error code and message, the return code, that no array call follows the
// failed one where the operation stops, and the metadata each device keeps.
//
// init is not a row: its result is not examined, and a failed login shows
// as the group's next call failing, which the rows cover.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/hardening/StagedOperation.h"
#include "tests/support/TempSettings.h"

namespace {

using namespace QZSO;
using testsupport::EngineFixture;
using testsupport::Statuses;
using hardening::Op;
using hardening::OpTraits;

const std::string kNfsOnFiler2 = "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:filer2}";
const int kDevices = 3;
// The group of each device: hnas1, hnas1, hnas2.
const int kGroupOf[kDevices] = {0, 0, 1};

// One array call of an operation, in the order the operation makes them.
struct Step {
    const char* operation;
    int device;            // the device the call serves (a group call: the group's first device)
    bool groupCall;        // made once for the group, before its devices
    const char* message;   // the failing device's error message starts with this; null: no status set
};

// The calls each operation makes for the three devices, besides init.
std::vector<Step> stepsOf(Op op) {
    switch (op) {
        case Op::Prepare:
            return {{"getVirtualServerInfo", 0, true, nullptr},
                    {"getFileSystemID", 0, false, "Failed to get File System ID for Share [data]."},
                    {"getFileSystemsInfo", 0, false, "Failed to get File System Info for File System ID ["},
                    {"getFilesystemShares", 0, false, "Failed to get Share Info for Share [data]."},
                    {"getFileSystemID", 1, false, "Failed to get File System ID for FS [fs3]."},
                    {"getVirtualServerInfo", 2, true, nullptr},
                    {"getFileSystemID", 2, false, "Failed to get File System ID for Share [/exp1]."},
                    {"getFileSystemsInfo", 2, false, "Failed to get File System Info for File System ID ["},
                    {"getFilesystemShares", 2, false, "Failed to get Share Info for Share [/exp1]."}};
        case Op::Snap:
            return {{"createFileSystemSnapshot", 0, false, "Failed to create snapshot."},
                    {"createFileSystemSnapshot", 1, false, "Failed to create snapshot."},
                    {"createFileSystemSnapshot", 2, false, "Failed to create snapshot."}};
        case Op::IsMapped:
            // A failed check answers "not present": 13, no error code.
            return {{"isSharePresent", 0, false, ""}, {"isSharePresent", 1, false, ""}, {"isSharePresent", 2, false, ""}};
        case Op::Map:
            return {{"isSharePresent", 0, false, nullptr},
                    {"getFilesystemShares", 0, false, "Unable to get the share Path on the File System for Snap: QZHNAS-u1-fs1"},
                    {"createFileSystemShare", 0, false, "Failed to create a share for snapshot:[QZHNAS-u1-fs1]"},
                    {"isSharePresent", 1, false, nullptr},
                    {"createFileSystemShare", 1, false, "Failed to create a share for snapshot:[QZHNAS-u2-fs3]"},
                    {"isSharePresent", 2, false, nullptr},
                    {"getFilesystemShares", 2, false, "Unable to get the share Path on the File System for Snap: QZHNAS-u3-fs2"},
                    {"createFileSystemShare", 2, false, "Failed to create a share for snapshot:[QZHNAS-u3-fs2]"}};
        case Op::Unmap:
            return {{"deleteFileSystemShare", 0, false, "Failed to delete Share[QZHNAS-u1-data-sub1-QZShare]"},
                    {"deleteFileSystemShare", 1, false, "Failed to delete Share["},
                    {"deleteFileSystemShare", 2, false, "Failed to delete Share["}};
        case Op::Delete:
            return {{"deleteFileSystemSnapshot", 0, false, "Failed to delete Snap["},
                    {"deleteFileSystemSnapshot", 1, false, "Failed to delete Snap["},
                    {"deleteFileSystemSnapshot", 2, false, "Failed to delete Snap["}};
        case Op::Revert:
            return {{"recoverFileSystemSnapshot", 0, false, "Failed to Revert Snap[QZHNAS-u1-fs1]"},
                    {"recoverFileSystemSnapshot", 1, false, "Failed to Revert Snap[QZHNAS-u2-fs3]"},
                    {"recoverFileSystemSnapshot", 2, false, "Failed to Revert Snap[QZHNAS-u3-fs2]"}};
        case Op::Reconcile:
            return {{"getAllSnapshots", 0, true, nullptr}, {"getAllSnapshots", 2, true, nullptr}};
    }
    return {};
}

struct Row {
    Op op;
    size_t step;
};

// e.g. "prepare_3_getFilesystemShares"
std::string rowName(const Row& row) {
    return std::string(hardening::traits(row.op).name) + "_" + std::to_string(row.step + 1) + "_" +
           stepsOf(row.op)[row.step].operation;
}

// Rows print by name (gtest would print their bytes, padding included).
void PrintTo(const Row& row, std::ostream* out) { *out << rowName(row); }

std::vector<Row> allRows() {
    std::vector<Row> rows;
    for (const OpTraits& op : hardening::allOps())
        for (size_t i = 0; i < stepsOf(op.op).size(); ++i) rows.push_back({op.op, i});
    return rows;
}

// Which call of its operation step `index` is (1 = the first).
int ordinalOf(const std::vector<Step>& steps, size_t index) {
    int n = 0;
    for (size_t i = 0; i <= index; ++i) n += std::string(steps[i].operation) == steps[index].operation;
    return n;
}

std::vector<std::string> operationsWithoutInit(const fakearray::FakeArrayScope& array) {
    std::vector<std::string> ops;
    for (const std::string& op : array.operations())
        if (op != "init") ops.push_back(op);
    return ops;
}

void addDevices(EngineFixture& f) {
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNative, "u2");
    f.addDevice(kNfsOnFiler2, "u3");
}

// The statuses the devices end with when nothing fails. (is-mapped answers
// not mapped for a share or export: it looks for a share named after the snap
// UUID, which map gives only a native path's share.)
Statuses honestStatuses(Op op) {
    EngineFixture f;
    addDevices(f);
    std::string why;
    if (!hardening::stageFor(f, op, why)) return Statuses();
    f.run(hardening::traits(op).entry);
    return f.statuses();
}

class FailingArray : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override { addDevices(f_); }
    testsupport::TempSettings settings_{"[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n"};
    EngineFixture f_;
};

TEST_P(FailingArray, StopsAndReportsAsSpecified) {
    const Row row = GetParam();
    SCOPED_TRACE(rowName(row));
    const OpTraits& op = hardening::traits(row.op);
    const std::vector<Step> steps = stepsOf(row.op);
    const Step& failing = steps[row.step];
    const Statuses honest = honestStatuses(row.op);
    ASSERT_EQ(static_cast<size_t>(kDevices), honest.size());

    std::string why;
    ASSERT_TRUE(hardening::stageFor(f_, row.op, why)) << why;
    std::vector<int> before;
    std::vector<std::string> identityBefore;
    for (int d = 0; d < kDevices; ++d) {
        fakehost::FakeSnapInfo& snap = f_.snap(d);
        before.push_back(snap.status);
        identityBefore.push_back(snap.metadata.count(SM_MDT_SNAP_UUID) ? snap.metadata[SM_MDT_SNAP_UUID] : "");
        snap.metadataWrites.clear();
        snap.setSnapUUIDArguments.clear();
        snap.errorCode = 0;
        snap.errorMessage.clear();
    }
    // Call numbers count from the start of the fake array, staging included.
    const int earlier = f_.array.count(failing.operation);
    f_.array.clearCalls();
    f_.array.failCall(failing.operation, earlier + ordinalOf(steps, row.step));

    const int code = f_.run(op.entry);

    // A failed existence check in map reads as "absent": map goes on and
    // creates the share, so nothing fails.
    const bool harmless = failing.message == nullptr && !failing.groupCall;
    const bool stops = !harmless && row.op != Op::IsMapped;
    int successes = 0;
    for (int d = 0; d < kDevices; ++d) {
        SCOPED_TRACE("device " + std::to_string(d + 1));
        fakehost::FakeSnapInfo& snap = f_.snap(d);
        // Reached and finished: before the failing device, or (no stop) any other.
        const bool finished = harmless || d < failing.device || (!stops && d != failing.device) ||
                              (failing.groupCall && kGroupOf[d] < kGroupOf[failing.device]);
        const bool failedHere = !harmless && !failing.groupCall && d == failing.device;
        if (finished) {
            ++successes;
            EXPECT_EQ(honest[d], snap.status) << snap.errorMessage;
            EXPECT_EQ(0, snap.errorCode);
        } else if (failedHere && row.op == Op::IsMapped) {
            EXPECT_EQ(SNAP_STATUS_NOT_MAPPED, snap.status);
            EXPECT_EQ(0, snap.errorCode);
        } else if (failedHere) {
            EXPECT_EQ(op.presetStatus, snap.status);
            EXPECT_EQ(op.errorCode, snap.errorCode);
            EXPECT_EQ(0u, snap.errorMessage.rfind(failing.message, 0)) << snap.errorMessage;
        } else {
            // Never reached (or its group's call failed): the preset stays, no error.
            EXPECT_EQ(hardening::presetStatusAfter(op, before[d]), snap.status);
            EXPECT_EQ(0, snap.errorCode) << snap.errorMessage;
        }
        // Prepare stores the identity (and a share's settings) of each device it
        // finished; snap rewrites the identity of each device it finished; a
        // failed or unreached device keeps what it had. Nothing else writes.
        size_t writes = 0;
        if (finished && row.op == Op::Prepare) writes = d == 1 ? 1 : 2;
        if (finished && row.op == Op::Snap) writes = 1;
        EXPECT_EQ(writes, snap.metadataWrites.size());
        if (!finished) {
            const std::string now = snap.metadata.count(SM_MDT_SNAP_UUID) ? snap.metadata[SM_MDT_SNAP_UUID] : "";
            EXPECT_EQ(identityBefore[d], now);
            EXPECT_TRUE(snap.setSnapUUIDArguments.empty());
        }
    }
    if (row.op == Op::IsMapped) {
        EXPECT_EQ(0, code);
    } else {
        EXPECT_EQ(successes == kDevices ? 0 : successes == 0 ? 1 : 2, code);
    }
    // Where the operation stops, the failed call is its last. With calls made
    // ahead, what follows it are the calls made ahead for devices it never
    // reached, entered when the client settles them, and the deletes of what
    // those created.
    if (stops) {
        const std::vector<fakearray::CallRecord>& calls = f_.array.calls();
        ASSERT_FALSE(calls.empty());
        size_t failed = calls.size();
        for (size_t i = 0; i < calls.size() && failed == calls.size(); ++i)
            if (!calls[i].succeeded && calls[i].operation == failing.operation) failed = i;
        ASSERT_LT(failed, calls.size());
        if (f_.array.requestsInFlight == 1) {
            EXPECT_EQ(calls.size() - 1, failed);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Matrix, FailingArray, ::testing::ValuesIn(allRows()),
                         [](const ::testing::TestParamInfo<Row>& test) { return rowName(test.param); });

// Without a failure each operation makes exactly the calls of its rows, in
// that order: the matrix fails every call there is.
TEST(FailingArrayCalls, EachOperationMakesExactlyTheCallsOfItsRows) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    for (const OpTraits& op : hardening::allOps()) {
        SCOPED_TRACE(op.name);
        EngineFixture f;
        addDevices(f);
        std::string why;
        ASSERT_TRUE(hardening::stageFor(f, op.op, why)) << why;
        f.array.clearCalls();
        f.array.requestsInFlight = 1;   // the order of the requests, each made by its device
        const Statuses before = f.statuses();
        const int code = f.run(op.entry);
        EXPECT_EQ(0, code);
        const Statuses after = f.statuses();
        for (int d = 0; d < kDevices; ++d) {
            if (op.op == Op::IsMapped) {
                EXPECT_EQ(d == 1 ? SNAP_STATUS_MAPPED : SNAP_STATUS_NOT_MAPPED, after[d]);
            } else {
                EXPECT_EQ(hardening::successStatusAfter(op, before[d]), after[d]);
            }
        }
        std::vector<std::string> expected;
        for (const Step& s : stepsOf(op.op)) expected.push_back(s.operation);
        EXPECT_EQ(expected, operationsWithoutInit(f.array));
        EXPECT_EQ(2, f.array.count("init"));   // once per array
    }
}

}  // namespace
