// A whole lifecycle whose every name carries printf directives: the array's
// password and login, the filer, the device strings, share names and paths,
// a share comment, file-system labels and snap UUIDs all hold "%s%n%%".
// Every log line must carry those values literally, and the password must
// appear in no log line, log file, error message, snap device name,
// metadata text or array call record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "arraysim/model/ArrayOps.h"
#include "standins/qzlib/EvDebugSink.h"
#include "tests/hardening/StagedOperation.h"
#include "tests/support/TempSettings.h"

namespace {

using namespace QZSO;
using testsupport::EngineFixture;
using testsupport::Statuses;

// The directives every value carries; a line that went through a format
// loses the "%%" (or crashes on the "%n").
const std::string kD = "%s%n%%";
const std::string kPassword = "pw" + kD + "Secret";
const std::string kUser = "adm" + kD;
const std::string kFiler = "filer" + kD;
const std::string kEvs = "evs" + kD;
const std::string kInfo = "{arrayId:" + kEvs + ",hostName:smu" + kD + ",hostUserName:" + kUser +
                          ",hostPassword:" + kPassword + ",hostid:7}";

const std::string kUncSource = "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\" + kFiler + "\\\\da" + kD +
                               "ta\\\\sub" + kD + ",targethostname:" + kFiler + "}";
const std::string kNfsSource =
    "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/ex" + kD + "p,targethostname:" + kFiler + "}";
const std::string kNativeSource = "{type:native_hnas,path:/__VOLUME__/fs" + kD + "n/dir" + kD + ",targethostname:" +
                                  kFiler + "}";

void seedFormatArray(fakearray::FakeArrayScope& fake) {
    arraymodel::Array& a = fake.addArray("hnas" + kD, kUser, kPassword);
    arraymodel::VirtualServer evs;
    evs.id = 1;
    evs.name = kEvs;
    evs.ipAddresses = {"192.0.2.30"};
    ASSERT_TRUE(arraymodel::addVirtualServer(a, evs).ok());
    for (const std::string& label : {"fs" + kD + "c", "fs" + kD + "e", "fs" + kD + "n"}) {
        arraymodel::FileSystem fs;
        fs.label = label;
        fs.virtualServerId = 1;
        ASSERT_TRUE(arraymodel::addFileSystem(a, fs).ok()) << label;
    }
    arraymodel::Share cifs;
    cifs.protocol = arraymodel::Protocol::Cifs;
    cifs.name = "da" + kD + "ta";
    cifs.virtualServerId = 1;
    cifs.fileSystemId = "fs" + kD + "c";
    cifs.path = "\\da" + kD + "ta";
    cifs.settings.comment = "comment " + kD + " here";
    cifs.authentications.push_back({"Everyone", "", 8, "WELLKNOWN"});
    ASSERT_TRUE(arraymodel::addShare(a, cifs).ok());
    arraymodel::Share nfs;
    nfs.protocol = arraymodel::Protocol::Nfs;
    nfs.name = "/ex" + kD + "p";
    nfs.virtualServerId = 1;
    nfs.fileSystemId = "fs" + kD + "e";
    nfs.path = "/ex" + kD + "p";
    nfs.settings.accessConfig = "*(rw)";
    nfs.settings.comment = "export " + kD;
    ASSERT_TRUE(arraymodel::addShare(a, nfs).ok());
}

// Every '%' of a literal line belongs to one of the values, so to a whole
// "%s%n%%"; a line that went through a format has a '%' left over.
bool literal(const std::string& line) {
    std::string rest = line;
    for (size_t at = rest.find(kD); at != std::string::npos; at = rest.find(kD)) rest.erase(at, kD.size());
    return rest.find('%') == std::string::npos;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SecretsAndFormats, LifecycleLogsEveryValueLiterallyAndThePasswordNowhere) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    char logPath[] = "/tmp/hnas-format-log-XXXXXX";
    const int fd = mkstemp(logPath);
    ASSERT_GE(fd, 0);
    setenv(kQzLogFileVariable, logPath, 1);

    EngineFixture f;
    seedFormatArray(f.array);
    const std::vector<std::string> sources = {kUncSource, kNfsSource, kNativeSource};
    for (size_t i = 0; i < sources.size(); ++i) {
        fakehost::FakeSnapInfo& snap = f.addDevice(sources[i], "u" + std::to_string(i + 1) + kD);
        snap.knowArray(kFiler, kInfo);
        // A GUI mount: the share is named after the snap UUID.
        if (i == 2) snap.valueInts[GET_VALUE_VOLSNAP_OP_SOURCE] = MOUNT_REQUEST_SOURCE_GUI;
    }

    struct Step {
        hardening::Op op;
        Statuses statuses;
    };
    const Step steps[] = {
        {hardening::Op::Prepare, Statuses(3, SNAP_STATUS_PREPARED)},
        {hardening::Op::Snap, Statuses(3, SNAP_STATUS_SNAPPED)},
        {hardening::Op::Map, Statuses(3, SNAP_STATUS_MAPPED)},
        {hardening::Op::IsMapped, Statuses{SNAP_STATUS_NOT_MAPPED, SNAP_STATUS_NOT_MAPPED, SNAP_STATUS_MAPPED}},
        {hardening::Op::Unmap, Statuses(3, SNAP_STATUS_UNMAPPED)},
        {hardening::Op::Reconcile, Statuses(3, SNAP_STATUS_UNMAPPED)},
        {hardening::Op::Revert, Statuses(3, SNAP_STATUS_UNMAPPED)},
        {hardening::Op::Delete, Statuses(3, SNAP_STATUS_DELETED)},
    };
    for (const Step& step : steps) {
        const hardening::OpTraits& op = hardening::traits(step.op);
        SCOPED_TRACE(op.name);
        const int code = f.run(op.entry);
        EXPECT_EQ(0, code) << f.snap(0).errorMessage << f.snap(1).errorMessage << f.snap(2).errorMessage;
        EXPECT_EQ(step.statuses, f.statuses());
    }
    // The snapshots carried the directives in their names and are gone again.
    EXPECT_TRUE(f.array.array("hnas" + kD)->snapshots.empty());
    EXPECT_EQ("QZHNAS-u1" + kD + "-fs" + kD + "c", f.snap(0).snapUUID);

    unsetenv(kQzLogFileVariable);
    const std::string logFile = readFile(logPath);
    std::remove(logPath);

    // The values reached the logs, literally.
    EXPECT_TRUE(f.log.has(1, "Successfully created Snapshot [QZHNAS-u1" + kD + "-fs" + kD + "c] for Source Device [" +
                                 kUncSource + "] under Filesystem [fs" + kD + "c], State [SNAPSHOT_MANAGEMENT_STATE_USABLE]"))
        << f.log.text();
    bool sourceLogged = false;
    for (const auto& line : f.snap(0).log) sourceLogged |= line.text == "Snap source device: [" + kUncSource + "]";
    EXPECT_TRUE(sourceLogged);
    EXPECT_NE(std::string::npos, logFile.find("Share [QZHNAS-u3" + kD + "-fs" + kD + "n] is present."));

    const auto lines = f.log.lines();
    EXPECT_GT(lines.size(), 100u);
    for (const EvLogLine& line : lines) {
        EXPECT_TRUE(literal(line.message)) << line.context << ": " << line.message;
        EXPECT_EQ(std::string::npos, line.message.find(kPassword)) << line.message;
        EXPECT_EQ(std::string::npos, line.context.find(kPassword)) << line.context;
    }
    EXPECT_TRUE(literal(logFile));
    EXPECT_EQ(std::string::npos, logFile.find(kPassword));
    EXPECT_EQ(std::string::npos, logFile.find("Secret"));
    for (auto& snap : f.snaps) {
        for (const auto& line : snap->log) {
            EXPECT_TRUE(literal(line.context + line.text)) << line.context << ": " << line.text;
            EXPECT_EQ(std::string::npos, line.text.find("Secret")) << line.text;
        }
        EXPECT_EQ(std::string::npos, snap->errorMessage.find("Secret"));
        EXPECT_EQ(std::string::npos, snap->snapDevice.find("Secret"));
        for (const auto& write : snap->metadataWrites) EXPECT_EQ(std::string::npos, write.second.find("Secret"));
    }
    for (const fakearray::CallRecord& call : f.array.calls())
        for (const std::string& argument : call.arguments) EXPECT_EQ(std::string::npos, argument.find("Secret"));
}

// The failures carry the values literally too: each operation's failure
// message, set on the device and logged, holds the directives unchanged.
TEST(SecretsAndFormats, FailureMessagesCarryTheValuesLiterally) {
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n");
    EngineFixture f;
    seedFormatArray(f.array);
    fakehost::FakeSnapInfo& snap = f.addDevice(kUncSource, "u1" + kD);
    snap.knowArray(kFiler, kInfo);
    ASSERT_EQ(0, f.run(qzso_prepareDevices));
    ASSERT_EQ(0, f.run(qzso_snapDevices));
    f.array.failNext("recoverFileSystemSnapshot");
    EXPECT_EQ(1, f.run(qzso_revertSnaps));
    const std::string message = "Failed to Revert Snap[QZHNAS-u1" + kD + "-fs" + kD + "c]";
    EXPECT_EQ(message, snap.errorMessage);
    EXPECT_TRUE(f.log.has(-1, message));
    f.array.failNext("createFileSystemShare");
    EXPECT_EQ(1, f.run(qzso_mapSnaps));
    EXPECT_EQ("Failed to create a share for snapshot:[QZHNAS-u1" + kD + "-fs" + kD + "c]", snap.errorMessage);
    for (const EvLogLine& line : f.log.lines()) EXPECT_TRUE(literal(line.message)) << line.message;
}

}  // namespace
