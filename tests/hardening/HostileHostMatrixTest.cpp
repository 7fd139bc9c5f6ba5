// Every host read the plug-in makes, answered in every bad way, for every
// operation that makes it: one row per read x answer x operation. A read the
// operation needs ends with the device dropped (its preset status, a clear
// host log line); a read tolerated by design ends with its fallback. No row
// may crash, loop past its budget, or put the password into a log line.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "device/HNASSnapDevice.h"
#include "host/ArrayConfigNames.h"
#include "hostkit/HostBuffers.h"
#include "tests/hardening/StagedOperation.h"
#include "tests/support/TempSettings.h"

namespace {

using testsupport::EngineFixture;
using fakehost::FakeHostText;
using fakehost::ScriptedAnswer;
using hardening::Op;
using hardening::OpTraits;

// The host reads, named after what they fetch.
enum class Read {
    SourceDevice,          // descriptor: getSourceDevice
    IdentityMetadata,      // descriptor: getMetadata(6)
    SnapUUID,              // descriptor: getSnapUUID
    ArrayInfo,             // descriptor: getArrayInfo
    ShareSettings,         // descriptor: getMetadata(16)
    EndpointAddress,       // descriptor: getArrayConfigString(metro IP)
    EndpointPort,          // descriptor: getArrayConfigInt(metro port)
    MountRequestSource,    // descriptor: getValueInt(7)
    ArrayList,             // utility: listArrays, in the filer alias search
    ArrayInfoByName,       // utility: getArrayInfoByName, in the alias search
    SearchEndpointAddress, // utility: getArrayConfigString, in the alias search
    SearchEndpointPort,    // utility: getArrayConfigInt, in the alias search
};

enum class Answer {
    // Buffer reads.
    SizeNegative,      // 2 with the size -5
    SizeZero,          // 2 with the size 0
    SizeSameAsBefore,  // 2 with the size just offered, every time
    Size32767,         // 2 with 32767 (size + 1 no longer fits a short), then honest
    TooSmallForever,   // 2 with a larger size, every time
    UnknownStatus,     // 7
    Unterminated,      // the whole buffer filled, no NUL
    EmptyText,         // 0 and ""
    MaximumText,       // 0 and a valid text of 32765 bytes (size + 1 = 32766)
    // Integer reads.
    IntFails,          // the host has no value (status 1)
    IntZero,
    IntNegative,
    IntHuge,           // INT_MAX
};

struct ReadTraits {
    Read read;
    const char* name;
    bool isText;
    int firstSize;               // the size the first call is offered
    bool shortSize;              // the size travels as a short
    bool viaAliasSearch;         // needs a filer the host knows only by address
    std::vector<Op> ops;         // operations that make the read
};

// Every operation of the staged table, but `left`.
std::vector<Op> opsBut(const std::vector<Op>& left) {
    std::vector<Op> ops;
    for (const OpTraits& op : hardening::allOps())
        if (std::find(left.begin(), left.end(), op.op) == left.end()) ops.push_back(op.op);
    return ops;
}

const std::vector<Op> kEveryOp = opsBut({});
const std::vector<Op> kAfterPrepare = opsBut({Op::Prepare});

const std::vector<ReadTraits>& allReads() {
    static const std::vector<ReadTraits> reads = {
        {Read::SourceDevice, "sourceDevice", true, 1024, true, false, kEveryOp},
        {Read::IdentityMetadata, "metadata6", true, 1024, true, false, kAfterPrepare},
        {Read::SnapUUID, "snapUUID", true, 1024, true, false, kAfterPrepare},
        {Read::ArrayInfo, "arrayInfo", true, 4096, true, false, kEveryOp},
        {Read::ShareSettings, "metadata16", true, 16384, true, false, {Op::Map, Op::Unmap}},
        {Read::EndpointAddress, "endpointAddress", true, 1024, false, false, kEveryOp},
        {Read::EndpointPort, "endpointPort", false, 0, false, false, kEveryOp},
        {Read::MountRequestSource, "mountRequestSource", false, 0, false, false, {Op::Map, Op::Unmap}},
        {Read::ArrayList, "listArrays", true, 4096, false, true, {Op::Prepare}},
        {Read::ArrayInfoByName, "arrayInfoByName", true, 4096, true, true, {Op::Prepare}},
        // The search's one size: where the array information read left it.
        {Read::SearchEndpointAddress, "searchEndpointAddress", true, 4096, true, true, {Op::Prepare}},
        {Read::SearchEndpointPort, "searchEndpointPort", false, 0, false, true, {Op::Prepare}},
    };
    return reads;
}

const char* answerName(Answer a) {
    switch (a) {
        case Answer::SizeNegative: return "sizeNegative";
        case Answer::SizeZero: return "sizeZero";
        case Answer::SizeSameAsBefore: return "sizeSameAsBefore";
        case Answer::Size32767: return "size32767";
        case Answer::TooSmallForever: return "tooSmallForever";
        case Answer::UnknownStatus: return "unknownStatus";
        case Answer::Unterminated: return "unterminated";
        case Answer::EmptyText: return "emptyText";
        case Answer::MaximumText: return "maximumText";
        case Answer::IntFails: return "intFails";
        case Answer::IntZero: return "intZero";
        case Answer::IntNegative: return "intNegative";
        case Answer::IntHuge: return "intHuge";
    }
    return "?";
}

const std::vector<Answer> kTextAnswers = {Answer::SizeNegative,    Answer::SizeZero,     Answer::SizeSameAsBefore,
                                          Answer::Size32767,       Answer::TooSmallForever, Answer::UnknownStatus,
                                          Answer::Unterminated,    Answer::EmptyText,    Answer::MaximumText};
const std::vector<Answer> kIntAnswers = {Answer::IntFails, Answer::IntZero, Answer::IntNegative, Answer::IntHuge};

// The longest text a short-sized read can take: size + 1 bytes must fit.
const size_t kMaximumText = 32765;
const char kPassword[] = "pw1-Secret";
const char kAliasFiler[] = "192.0.2.10";   // hnas1's virtual server, known to the host only by address
const char kConfiguredAddress[] = "198.51.100.7";
const int kConfiguredPort = 9443;

// "{a:1}" padded to `length` bytes with a key no reader asks for: "{a:1,Pad:xxx}".
std::string padded(const std::string& text, size_t length) {
    std::string out = text;
    if (!out.empty() && out.back() == '}') {
        out.pop_back();
        out += ",Pad:";
        if (out.size() + 1 < length) out.append(length - out.size() - 1, 'x');
        out += '}';
    } else if (out.size() < length) {
        out.append(length - out.size(), 'x');
    }
    return out;
}

struct Row {
    Read read;
    Answer answer;
    Op op;
    hostkit::SizeConvention convention;   // how the host counts the sizes it needs
};

std::string rowName(const Row& row) {
    std::string name;
    for (const ReadTraits& r : allReads())
        if (r.read == row.read) name = r.name;
    return name + "_" + answerName(row.answer) + "_" + hardening::traits(row.op).name + "_" +
           hostkit::conventionName(row.convention);
}

// Rows print by name (gtest would print their bytes, padding included).
void PrintTo(const Row& row, std::ostream* out) { *out << rowName(row); }

std::vector<Row> allRows() {
    std::vector<Row> rows;
    for (const ReadTraits& r : allReads())
        for (Answer a : r.isText ? kTextAnswers : kIntAnswers)
            for (Op op : r.ops)
                for (hostkit::SizeConvention c :
                     {hostkit::SizeConvention::WithTerminator, hostkit::SizeConvention::WithoutTerminator})
                    rows.push_back({r.read, a, op, c});
    return rows;
}

const ReadTraits& readTraits(Read read) {
    for (const ReadTraits& r : allReads())
        if (r.read == read) return r;
    return allReads().front();
}

// A snap UUID as long as a lifecycle allows: the identity metadata holds the
// snapshot name "QZHNAS-" + UUID + "-fs1" once as itself and once inside the
// array's object ID (hex of file system ID, ":::" and name: twice its
// length), next to about 250 bytes of other keys, and must fit one read.
const size_t kLongestUuid = (kMaximumText - 512) / 3;

// A UNC device on filer1 (the host knows the filer by name); for is-mapped a
// native path, whose mapped share is-mapped recognises; for the alias search
// a UNC device on hnas1's address, which only the search over the host's
// array list finds.
void addDevice(EngineFixture& f, const Row& row, bool viaAliasSearch) {
    const std::string uuid =
        row.read == Read::SnapUUID && row.answer == Answer::MaximumText ? std::string(kLongestUuid, 'u') : "u1";
    if (!viaAliasSearch) {
        fakehost::FakeSnapInfo& snap = f.addDevice(row.op == Op::IsMapped ? testsupport::kNativeOnFs1 : testsupport::kUnc, uuid);
        snap.arrayConfigStrings[QZSO::kMetroServerIpConfig].value = kConfiguredAddress;
        snap.arrayConfigInts[QZSO::kMetroServerPortConfig] = kConfiguredPort;
        return;
    }
    const std::string source = std::string("{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\") +
                               kAliasFiler + "\\\\data\\\\sub1,targethostname:" + kAliasFiler + "}";
    fakehost::FakeSnapInfo& snap = f.addDevice(source, uuid);
    snap.knowArray("evs1", testsupport::kInfo1);
    f.util.arrayList.value = "hnas1";
    f.util.arrayInfoByName["hnas1"].value = testsupport::kInfo1;
    f.util.configStrings[{3, QZSO::kMetroServerIpConfig}].value = kConfiguredAddress;
    f.util.configInts[{3, QZSO::kMetroServerPortConfig}] = kConfiguredPort;
}

// The script in front of a text read.
fakehost::ReadScript& scriptOf(EngineFixture& f, Read read) {
    fakehost::FakeSnapInfo& snap = f.snap(0);
    switch (read) {
        case Read::SourceDevice: return snap.sourceDeviceReads;
        case Read::IdentityMetadata: return snap.metadataReads[SM_MDT_SNAP_UUID];
        case Read::SnapUUID: return snap.snapUUIDReads;
        case Read::ArrayInfo: return snap.arrayInfoReads;
        case Read::ShareSettings: return snap.metadataReads[SM_MDT_FS_INFO];
        case Read::EndpointAddress: return snap.arrayConfigStrings[QZSO::kMetroServerIpConfig];
        case Read::ArrayList: return f.util.arrayList;
        case Read::ArrayInfoByName: return f.util.arrayInfoByName["hnas1"];
        case Read::SearchEndpointAddress: return f.util.configStrings[{3, QZSO::kMetroServerIpConfig}];
        default: break;
    }
    ADD_FAILURE() << "not a text read";
    return snap.sourceDeviceReads;
}

// Sets the text a read answers with. The array information is handed out
// by setArrayName from every array the host knows: each gets it.
void setText(EngineFixture& f, Read read, const std::string& text) {
    fakehost::FakeSnapInfo& snap = f.snap(0);
    switch (read) {
        case Read::SourceDevice: snap.sourceDevice = text; return;
        case Read::IdentityMetadata: snap.metadata[SM_MDT_SNAP_UUID] = text; return;
        case Read::SnapUUID: snap.snapUUID = text; return;
        case Read::ArrayInfo:
            for (hostkit::HostArray& known : snap.host.arrays) known.arrayInfo = text;
            return;
        case Read::ShareSettings: snap.metadata[SM_MDT_FS_INFO] = text; return;
        case Read::EndpointAddress: snap.arrayConfigStrings[QZSO::kMetroServerIpConfig].value = text; return;
        case Read::ArrayList: f.util.arrayList.value = text; return;
        case Read::ArrayInfoByName: f.util.arrayInfoByName["hnas1"].value = text; return;
        case Read::SearchEndpointAddress: f.util.configStrings[{3, QZSO::kMetroServerIpConfig}].value = text; return;
        default: break;
    }
    ADD_FAILURE() << "not a text read";
}

// The text a read answers with now (not the array information).
std::string textOf(EngineFixture& f, Read read) {
    fakehost::FakeSnapInfo& snap = f.snap(0);
    switch (read) {
        case Read::SourceDevice: return snap.sourceDevice;
        case Read::IdentityMetadata: return snap.metadata[SM_MDT_SNAP_UUID];
        case Read::ShareSettings: return snap.metadata[SM_MDT_FS_INFO];
        case Read::EndpointAddress: return snap.arrayConfigStrings[QZSO::kMetroServerIpConfig].value;
        case Read::ArrayInfoByName: return f.util.arrayInfoByName["hnas1"].value;
        case Read::SearchEndpointAddress: return f.util.configStrings[{3, QZSO::kMetroServerIpConfig}].value;
        default: break;
    }
    ADD_FAILURE() << "no text kept for this read";
    return std::string();
}

// Sets the bad answer on the read.
void applyAnswer(EngineFixture& f, const ReadTraits& read, Answer answer) {
    fakehost::FakeSnapInfo& snap = f.snap(0);
    if (!read.isText) {
        const int value = answer == Answer::IntZero ? 0 : answer == Answer::IntNegative ? -1 : INT_MAX;
        switch (read.read) {
            case Read::EndpointPort:
                if (answer == Answer::IntFails) snap.arrayConfigInts.clear();
                else snap.arrayConfigInts[QZSO::kMetroServerPortConfig] = value;
                break;
            case Read::MountRequestSource:
                if (answer == Answer::IntFails) snap.valueInts.clear();
                else snap.valueInts[QZSO::GET_VALUE_VOLSNAP_OP_SOURCE] = value;
                break;
            case Read::SearchEndpointPort:
                if (answer == Answer::IntFails) f.util.configInts.clear();
                else f.util.configInts[{3, QZSO::kMetroServerPortConfig}] = value;
                break;
            default: ADD_FAILURE() << "not an integer read";
        }
        return;
    }
    fakehost::ReadScript& reads = scriptOf(f, read.read);
    reads.present = true;
    switch (answer) {
        case Answer::SizeNegative: reads.script = {ScriptedAnswer::tooSmall(-5)}; break;
        case Answer::SizeZero: reads.script = {ScriptedAnswer::tooSmall(0)}; break;
        case Answer::SizeSameAsBefore: reads.always = ScriptedAnswer::tooSmall(read.firstSize); break;
        case Answer::Size32767: reads.script = {ScriptedAnswer::tooSmall(32767)}; break;
        case Answer::TooSmallForever: reads.always = ScriptedAnswer::tooSmall(read.firstSize + 1); break;
        case Answer::UnknownStatus: reads.script = {ScriptedAnswer::fail(7)}; break;
        case Answer::Unterminated: reads.script = {ScriptedAnswer::unterminated("ab")}; break;
        case Answer::EmptyText: setText(f, read.read, ""); break;
        case Answer::MaximumText:
            if (read.read == Read::ArrayInfo) setText(f, read.read, padded(testsupport::kInfo1, kMaximumText));
            else if (read.read == Read::ArrayList) setText(f, read.read, padded("hnas1|", kMaximumText));
            // The UUID was made as long as it may be when the device was added.
            else if (read.read != Read::SnapUUID) setText(f, read.read, padded(textOf(f, read.read), kMaximumText));
            break;
        default: ADD_FAILURE() << "not a text answer";
    }
}

// The read ends without a text: the host refused, never stopped asking for
// more, or asked for a size that cannot be.
bool readFails(const ReadTraits& read, Answer answer) {
    switch (answer) {
        case Answer::SizeNegative:
        case Answer::SizeZero:
        case Answer::SizeSameAsBefore:
        case Answer::TooSmallForever:
        case Answer::UnknownStatus:
        case Answer::Unterminated: return true;
        case Answer::Size32767: return read.shortSize;
        default: return false;
    }
}

// What the row must end with.
struct Expected {
    enum Kind { Success, Dropped, DeviceFailed } kind = Success;
    int status = 0;
    int errorCode = 0;
    std::string message;          // a host log line at level 2 starting with this (Dropped)
    std::string initAddress;      // when set: the address the group's client was pointed at
    int initPort = 0;             // when not 0: its port
    std::string searchAddress;    // when set: the address of the alias search's client
    int searchPort = 0;
    std::string hostLine;         // when set: a host log line (any level) equal to this
};

const char kNoSource[] = "Unable to get snap source device.";
const char kNoFilerInfo[] = "Unable to fetch filer info from snap source device:";
const char kNoMetadata[] = "Unable to get the snap metadata";
const char kNoSnapUuid[] = "Unable to get the snap UUID.";
const char kNoCredentials[] = "HNASSnapDevice::getArrayNameAndCredentialsError:Unable to get the login credentials.";
const char kUnparsable[] = "HNASSnapDevice::getArrayNameAndCredentialsError:Unable to parse array info.";
const char kNoArrayInfo[] = "Unable to set the array info.";
const char kNoInitiator[] = "Unable to get the mount request initiator.";
const char kSettingsNotSaved[] = "Permissions are not saved. Will be using the permissions of the parent share/export.";

Expected dropped(const std::string& message) {
    Expected e;
    e.kind = Expected::Dropped;
    e.message = message;
    return e;
}

// A type-6 text without its first key names nothing: the metadata step fails.
Expected withoutIdentity() { return dropped(kNoMetadata); }

// Without a snap UUID no snapshot, share or export can be named: the
// device fails in its pre-operation.
Expected withoutSnapName() { return dropped(kNoSnapUuid); }

Expected expectedFor(const Row& row) {
    const ReadTraits& read = readTraits(row.read);
    const bool fails = readFails(read, row.answer);
    const bool noText = fails || row.answer == Answer::EmptyText;
    Expected e;
    switch (row.read) {
        case Read::SourceDevice:
            if (fails) return dropped(kNoSource);
            if (row.answer == Answer::EmptyText) return dropped(kNoFilerInfo);
            return e;
        case Read::ArrayInfo:
            if (fails) return dropped(kNoCredentials);
            if (row.answer == Answer::EmptyText) return dropped(kUnparsable);
            return e;
        case Read::IdentityMetadata:
            if (fails) return dropped(kNoMetadata);
            if (row.answer == Answer::EmptyText) return withoutIdentity();
            return e;
        case Read::SnapUUID:
            if (row.answer == Answer::MaximumText && row.op == Op::IsMapped) e.kind = Expected::DeviceFailed;
            if (noText) return withoutSnapName();
            return e;
        case Read::ShareSettings:
            if (noText) e.hostLine = kSettingsNotSaved;
            return e;
        case Read::EndpointAddress:
            // One read into 1024 bytes: a longer address is no address.
            e.initAddress = noText || row.answer == Answer::MaximumText ? "smu1" : "";
            return e;
        case Read::EndpointPort:
            e.initPort = row.answer == Answer::IntNegative ? -1 : row.answer == Answer::IntHuge ? INT_MAX : 8444;
            return e;
        case Read::MountRequestSource:
            if (row.answer == Answer::IntFails || row.answer == Answer::IntZero) return dropped(kNoInitiator);
            return e;
        case Read::ArrayList:
        case Read::ArrayInfoByName: {
            const bool intSized = !read.shortSize;
            // The utility's reads take any result that is not positive as
            // "the text is in the buffer": an unfilled buffer reads as "".
            if (row.answer == Answer::MaximumText) return e;
            // A list longer than a short can hold still lets each array's
            // information be read.
            if (intSized && row.answer == Answer::Size32767) return e;
            return dropped(kNoArrayInfo);
        }
        case Read::SearchEndpointAddress:
            // Read with the search's size and budget: a long address still reads whole.
            e.searchAddress = noText ? "smu1"
                              : row.answer == Answer::MaximumText ? padded(kConfiguredAddress, kMaximumText)
                                                                  : "";
            return e;
        case Read::SearchEndpointPort:
            e.searchPort = row.answer == Answer::IntNegative ? -1 : row.answer == Answer::IntHuge ? INT_MAX : 8444;
            return e;
    }
    return e;
}

bool hostLogHas(const fakehost::FakeSnapInfo& snap, int level, const std::string& prefix) {
    for (const auto& line : snap.log)
        if (line.level == level && line.text.rfind(prefix, 0) == 0) return true;
    return false;
}

bool hostLogEquals(const fakehost::FakeSnapInfo& snap, const std::string& text) {
    for (const auto& line : snap.log)
        if (line.text == text) return true;
    return false;
}

class HostileHost : public ::testing::TestWithParam<Row> {
protected:
    // Revert waits for the configured time: none here.
    testsupport::TempSettings settings_{"[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n"};
};

TEST_P(HostileHost, EndsWithTheDeviceFailedOrTheFallback) {
    const Row row = GetParam();
    SCOPED_TRACE(rowName(row));
    const ReadTraits& read = readTraits(row.read);
    const OpTraits& op = hardening::traits(row.op);
    const Expected expected = expectedFor(row);
    const hostkit::ScopedSizeConvention convention(row.convention);

    EngineFixture f;
    addDevice(f, row, read.viaAliasSearch);
    std::string why;
    // A native device's share is named after its snap UUID: the array
    // refuses a name that long, so is-mapped finds nothing mapped.
    const bool longUuid = row.read == Read::SnapUUID && row.answer == Answer::MaximumText;
    ASSERT_TRUE(hardening::stageFor(f, row.op, why, !(longUuid && row.op == Op::IsMapped))) << why;
    fakehost::FakeSnapInfo& snap = f.snap(0);
    const int statusBefore = snap.status;
    snap.log.clear();
    snap.errorCode = 0;
    snap.errorMessage.clear();
    f.array.clearCalls();
    const size_t firstLine = f.log.lines().size();
    applyAnswer(f, read, row.answer);
    if (read.isText) {
        scriptOf(f, row.read).calls = 0;
        scriptOf(f, row.read).sizesOffered.clear();
    }

    const int code = f.run(op.entry);

    switch (expected.kind) {
        case Expected::Success:
            EXPECT_EQ(0, code);
            EXPECT_EQ(hardening::successStatusAfter(op, statusBefore), snap.status)
                << snap.errorMessage.substr(0, 200) << "\n" << snap.logText().substr(0, 1000);
            EXPECT_EQ(0, snap.errorCode) << snap.errorMessage;
            break;
        case Expected::Dropped:
            EXPECT_EQ(hardening::codeWhenNoneSucceeded(op), code);
            EXPECT_EQ(hardening::presetStatusAfter(op, statusBefore), snap.status);
            EXPECT_EQ(0, snap.errorCode) << snap.errorMessage;
            EXPECT_TRUE(hostLogHas(snap, 2, expected.message)) << snap.logText();
            break;
        case Expected::DeviceFailed:
            EXPECT_EQ(hardening::codeWhenNoneSucceeded(op), code);
            EXPECT_EQ(hardening::presetStatusAfter(op, statusBefore), snap.status);
            EXPECT_EQ(expected.errorCode, snap.errorCode);
            if (expected.errorCode != 0) { EXPECT_EQ(0u, snap.errorMessage.rfind(expected.message, 0)) << snap.errorMessage; }
            break;
    }
    if (!expected.hostLine.empty()) { EXPECT_TRUE(hostLogEquals(snap, expected.hostLine)) << snap.logText(); }

    // The group's client is initialised last; the alias search's first.
    const auto inits = f.array.callsOf("init");
    if (!expected.initAddress.empty() || expected.initPort != 0) {
        ASSERT_FALSE(inits.empty());
        if (!expected.initAddress.empty()) { EXPECT_EQ(expected.initAddress, inits.back().arguments[3]); }
        if (expected.initPort != 0) { EXPECT_EQ(std::to_string(expected.initPort), inits.back().arguments[4]); }
    }
    if (!expected.searchAddress.empty() || expected.searchPort != 0) {
        ASSERT_FALSE(inits.empty());
        if (!expected.searchAddress.empty()) { EXPECT_EQ(expected.searchAddress, inits.front().arguments[3]); }
        if (expected.searchPort != 0) { EXPECT_EQ(std::to_string(expected.searchPort), inits.front().arguments[4]); }
    }

    // Bounded: no read is repeated more than five times, and a host that
    // keeps answering "too small" with the same size is asked at that size only.
    if (read.isText) {
        const fakehost::ReadScript& reads = scriptOf(f, row.read);
        EXPECT_LE(reads.calls, 5);
        if (row.answer == Answer::SizeSameAsBefore) {
            for (int offered : reads.sizesOffered) EXPECT_EQ(read.firstSize, offered);
        }
    }
    // The password stays out of both logs.
    EXPECT_EQ(std::string::npos, snap.logText().find(kPassword));
    const auto lines = f.log.lines();
    for (size_t i = firstLine; i < lines.size(); ++i)
        EXPECT_EQ(std::string::npos, lines[i].message.find(kPassword)) << lines[i].message;
}

INSTANTIATE_TEST_SUITE_P(Matrix, HostileHost, ::testing::ValuesIn(allRows()),
                         [](const ::testing::TestParamInfo<Row>& test) { return rowName(test.param); });

// A host that keeps answering "too small" shows each read's first size and
// its budget of calls: the source device, the identity metadata and the snap
// UUID 1024 bytes and five calls, the attached array's information 4096 and
// three, the share settings 16384 and five, and the alias search 4096 with
// one budget of three repeats for all its reads.
TEST(HostileHostBudgets, FirstSizesAndCallsOfEachRead) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    const struct {
        Read read;
        Op op;
        int firstSize;
        int calls;
    } cases[] = {
        {Read::SourceDevice, Op::Prepare, 1024, 5},   {Read::SourceDevice, Op::Snap, 1024, 5},
        {Read::IdentityMetadata, Op::Snap, 1024, 5},  {Read::SnapUUID, Op::Snap, 1024, 5},
        {Read::ArrayInfo, Op::Prepare, 4096, 3},      {Read::ArrayInfo, Op::Snap, 4096, 3},
        {Read::ShareSettings, Op::Map, 16384, 5},     {Read::ArrayList, Op::Prepare, 4096, 4},
        {Read::ArrayInfoByName, Op::Prepare, 4096, 4},
    };
    for (const auto& c : cases) {
        const Row row{c.read, Answer::TooSmallForever, c.op, hostkit::SizeConvention::WithTerminator};
        SCOPED_TRACE(rowName(row));
        EngineFixture f;
        addDevice(f, row, readTraits(c.read).viaAliasSearch);
        std::string why;
        ASSERT_TRUE(hardening::stageFor(f, c.op, why)) << why;
        fakehost::ReadScript& reads = scriptOf(f, c.read);
        reads.present = true;
        reads.always = ScriptedAnswer::tooSmall(c.firstSize + 100);
        reads.calls = 0;
        reads.sizesOffered.clear();
        f.run(hardening::traits(c.op).entry);
        ASSERT_FALSE(reads.sizesOffered.empty());
        EXPECT_EQ(c.firstSize, reads.sizesOffered.front());
        EXPECT_EQ(c.calls, reads.calls);
    }
}

// getValueString is no operation's read; the device still answers every bad
// answer with a text or "" and stays within five calls.
TEST(HostileHostValueString, EveryBadAnswerGivesATextOrNothing) {
    for (Answer answer : kTextAnswers) {
        SCOPED_TRACE(answerName(answer));
        fakehost::FakeSnapInfo snap;
        fakehost::FakeOSUtil util;
        FakeHostText& text = snap.valueStrings[7];
        text.value = "value-7";
        ReadTraits read{Read::SourceDevice, "valueString", true, 1024, true, false, {}};
        switch (answer) {
            case Answer::SizeNegative: text.script = {ScriptedAnswer::tooSmall(-5)}; break;
            case Answer::SizeZero: text.script = {ScriptedAnswer::tooSmall(0)}; break;
            case Answer::SizeSameAsBefore: text.always = ScriptedAnswer::tooSmall(1024); break;
            case Answer::Size32767: text.script = {ScriptedAnswer::tooSmall(32767)}; break;
            case Answer::TooSmallForever: text.always = ScriptedAnswer::tooSmall(1025); break;
            case Answer::UnknownStatus: text.script = {ScriptedAnswer::fail(7)}; break;
            case Answer::Unterminated: text.script = {ScriptedAnswer::unterminated("ab")}; break;
            case Answer::EmptyText: text.value.clear(); break;
            default: text.value = padded(text.value, kMaximumText); break;
        }
        HNASSnapDevice device(&snap, &util, HNAS_SNAP_OP_MAP);
        const std::string value = device.getValueString(7);
        if (readFails(read, answer) || answer == Answer::EmptyText) { EXPECT_EQ("", value); }
        else { EXPECT_EQ(kMaximumText, value.size()); }
        EXPECT_LE(text.calls, 5);
    }
}

}  // namespace
