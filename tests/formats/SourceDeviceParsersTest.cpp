// Source-device strings: getDeviceInfo with its three parsers, parseUNCPath,
// removeEscapeChar and getNetworkShareType.
#include <gtest/gtest.h>

#include "tests/fakes/LogCapture.h"
#include "utils/HNASUtils.h"

namespace {

using fakehost::LogCapture;

// Literal backslashes made readable: B2 is the two-character UNC separator.
const std::string B2 = "\\\\";

struct Expected {
    bool ok;
    std::string vorType, deviceType, filer, share, subDirectory, fileSystem, path;
    std::string failure;   // the level -1 message, when !ok
};

void expectIdentifier(const Expected& e, const _HNASDeviceIdentifier& id) {
    EXPECT_EQ(e.vorType, id.vorType);
    EXPECT_EQ(e.deviceType, id.deviceType);
    EXPECT_EQ(e.filer, id.filer);
    EXPECT_EQ(e.share, id.share);
    EXPECT_EQ(e.subDirectory, id.subDirectory);
    EXPECT_EQ(e.fileSystem, id.fileSystem);
    EXPECT_EQ(e.path, id.path);
}

TEST(SourceDeviceParsers, DeviceStringsOfEveryKind) {
    const struct {
        std::string device;
        Expected expected;
    } cases[] = {
        {"{vortype:,vendor:Hitachi HNAS,type:unc,lunuuid:" + B2 + "srv1" + B2 +
             "share1,targethostname:srv1}",
         {true, "", "unc", "srv1", "share1", "", "", "", ""}},
        {"{vortype:v1,type:unc,lunuuid:" + B2 + "UNC-NT_srv1" + B2 + "share1" + B2 + "dir1" + B2 +
             "dir2}",
         {true, "v1", "unc", "srv1", "share1", "dir1" + B2 + "dir2", "", "", ""}},
        {"{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:host1}",
         {true, "", "nfs", "host1", "exp1", "", "", "", ""}},
        {"{type:nfs,lunuuid:/exp1/dir1,targethostname:host1}",
         {true, "", "nfs", "host1", "exp1", "", "", "", ""}},
        // The NFS parser needs neither "vortype" nor "type"; the marker may
        // stand inside another value.
        {"{x:type:nfs,lunuuid:/e,targethostname:h}", {true, "", "", "h", "e", "", "", "", ""}},
        // "type:nfs" wins over "type:unc": the UNC path is read as an export
        // path, whose first character is skipped.
        {"{vortype:,type:unc,lunuuid:" + B2 + "s" + B2 + "x,c:type:nfs,targethostname:h}",
         {true, "", "unc", "h", "\\s" + B2 + "x", "", "", "", ""}},
        {"{type:native_hnas,path:/__VOLUME__/fs1,targethostname:host1}",
         {true, "", "native_hnas", "host1", "", "", "fs1", "/__VOLUME__/fs1", ""}},
        {"{type:native_hnas,path:/__VOLUME__/fs1/~snapshot/snap1/dir1,targethostname:host1}",
         {true, "", "native_hnas", "host1", "", "/~snapshot/snap1/dir1", "fs1",
          "/__VOLUME__/fs1/~snapshot/snap1/dir1", ""}},
        {"{type:native_hnas,path:\\__VOLUME__\\\\fs1//a\\b/,targethostname:host1}",
         {true, "", "native_hnas", "host1", "", "/a/b", "fs1", "\\__VOLUME__\\\\fs1//a\\b/", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        LogCapture log;
        HNASUtils utils(2);
        std::string device = c.device;
        _HNASDeviceIdentifier id;
        EXPECT_EQ(c.expected.ok, utils.getDeviceInfo(device, id));
        EXPECT_EQ(c.device, device);
        expectIdentifier(c.expected, id);
        for (const EvLogLine& line : log.lines()) {
            EXPECT_NE(-1, line.level) << line.message;
            EXPECT_EQ(2u, line.jobId);
        }
    }
}

TEST(SourceDeviceParsers, EachFailureHasItsMessage) {
    const std::string unc = "{vortype:,type:unc,lunuuid:" + B2 + "srv1" + B2 + "share1}";
    const struct {
        std::string device;
        std::string context;
        std::string message;
    } cases[] = {
        {"{type:cifs,lunuuid:x}", "HNASUtils::getFilerInfo", "Error: Unknown Device type."},
        {"{type:unc,lunuuid:" + B2 + "s" + B2 + "x}", "HNASUtils::getFilerInfoUNC",
         "VOR Type is not present."},
        // The marker is found inside "vortype:unc", but no "type" key is.
        {"{vortype:unc,lunuuid:" + B2 + "s" + B2 + "x}", "HNASUtils::getFilerInfoUNC",
         "Type is not present."},
        {"{vortype:,type:unc}", "HNASUtils::getFilerInfoUNC", "lunuuid is not present."},
        {"{vortype:,type:unc,lunuuid:" + B2 + B2 + "srv1" + B2 + "share1}",
         "HNASUtils::getFilerInfoUNC",
         "Failed to get filer and share name for UNC path[" + B2 + B2 + "srv1" + B2 + "share1]"},
        {"{vortype:,type:unc,lunuuid:" + B2 + "srv1}", "HNASUtils::getFilerInfoUNC",
         "Failed to get filer and share name for UNC path[" + B2 + "srv1]"},
        {"{vortype:,type:unc,lunuuid:" + B2 + "srv1\\share1}", "HNASUtils::getFilerInfoUNC",
         "Failed to get filer and share name for UNC path[" + B2 + "srv1\\share1]"},
        {"{type:nfs,lunuuid:/e}", "HNASUtils::getFilerInfoNFS", "Filer hostname not present."},
        // The last entry without its closing brace is absent.
        {"{type:nfs,lunuuid:/e,targethostname:h", "HNASUtils::getFilerInfoNFS",
         "Filer hostname not present."},
        {"{type:nfs,targethostname:h}", "HNASUtils::getFilerInfoNFS", "lunuuid is not present."},
        {"{type:native_hnas}", "HNASUtils::getFilerInfoNAS", "filer is not present."},
        {"{x:type:native_hnas,targethostname:h}", "HNASUtils::getFilerInfoNAS",
         "Type is not present."},
        {"{type:native_hnas,targethostname:h}", "HNASUtils::getFilerInfoNAS",
         "filesystem is not present."},
        {"{type:native_hnas,path:/__VOLUME__/fs1,targethostname:h",
         "HNASUtils::getFilerInfoNAS", "filer is not present."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        LogCapture log;
        HNASUtils utils(2);
        std::string device = c.device;
        _HNASDeviceIdentifier id;
        EXPECT_FALSE(utils.getDeviceInfo(device, id));
        ASSERT_FALSE(log.lines().empty());
        const EvLogLine last = log.lines().back();
        EXPECT_EQ(-1, last.level);
        EXPECT_EQ(c.context, last.context);
        EXPECT_EQ(c.message, last.message);
    }
}

// The parts the parsers leave undefined fail cleanly instead of reading out
// of range: no export name in an NFS path, no file system in a native path.
TEST(SourceDeviceParsers, PathsWithoutTheNeededPiecesFail) {
    const struct {
        std::string device;
        std::string context;
        std::string message;
    } cases[] = {
        {"{type:nfs,lunuuid:,targethostname:h}", "HNASUtils::getFilerInfoNFS",
         "No export name in NFS path []."},
        {"{type:nfs,lunuuid:/,targethostname:h}", "HNASUtils::getFilerInfoNFS",
         "No export name in NFS path [/]."},
        {"{type:nfs,lunuuid:\\/,targethostname:h}", "HNASUtils::getFilerInfoNFS",
         "No export name in NFS path [/]."},
        {"{type:native_hnas,path:,targethostname:h}", "HNASUtils::getFilerInfoNAS",
         "No file system name in native path []."},
        {"{type:native_hnas,path:/__VOLUME__,targethostname:h}", "HNASUtils::getFilerInfoNAS",
         "No file system name in native path [/__VOLUME__]."},
        {"{type:native_hnas,path://\\\\/,targethostname:h}", "HNASUtils::getFilerInfoNAS",
         "No file system name in native path [//\\\\/]."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        LogCapture log;
        HNASUtils utils(2);
        std::string device = c.device;
        _HNASDeviceIdentifier id;
        EXPECT_FALSE(utils.getDeviceInfo(device, id));
        EXPECT_EQ("", id.share);
        EXPECT_EQ("", id.fileSystem);
        ASSERT_FALSE(log.lines().empty());
        EXPECT_EQ(-1, log.lines().back().level);
        EXPECT_EQ(c.context, log.lines().back().context);
        EXPECT_EQ(c.message, log.lines().back().message);
    }
}

TEST(SourceDeviceParsers, SummaryLinesShowWhatWasParsed) {
    LogCapture log;
    HNASUtils utils(2);
    std::string unc = "{vortype:,type:unc,lunuuid:" + B2 + "srv1" + B2 + "share1}";
    std::string native = "{type:native_hnas,path:/__VOLUME__/fs1/d,targethostname:h}";
    _HNASDeviceIdentifier a, b;
    ASSERT_TRUE(utils.getDeviceInfo(unc, a));
    ASSERT_TRUE(utils.getDeviceInfo(native, b));
    EXPECT_TRUE(log.has(0, "GetFilerInfo: This is UNC."));
    EXPECT_TRUE(log.has(0, "File server[srv1], Share[share1], Type[unc], SubDir[EMPTY]"));
    EXPECT_TRUE(log.has(0, "GetFilerInfo: This is NAS."));
    EXPECT_TRUE(log.has(
        0, "File server[h], File System[fs1], Device Type[native_hnas] Path[/__VOLUME__/fs1/d] "
           "Sub-Directory[/d]"));
}

TEST(UNCPath, SplitsAtDoubledBackslashes) {
    const struct {
        std::string path;
        bool ok;
        std::string server, share, subDirectory;
    } cases[] = {
        {B2 + "srv1" + B2 + "share1", true, "srv1", "share1", ""},
        {B2 + "UNC-NT_srv1" + B2 + "share1" + B2 + "dir1" + B2 + "dir2", true, "srv1", "share1",
         "dir1" + B2 + "dir2"},
        {B2 + "srv1" + B2 + "share1" + B2, true, "srv1", "share1", ""},
        {B2 + "UNC-NT_" + B2 + "share1", false, "", "share1", ""},
        {B2 + B2 + "srv1" + B2 + "share1", false, "", "srv1", "share1"},
        {B2 + "srv1", false, "", "", ""},
        {B2 + "srv1" + B2, false, "srv1", "", ""},
        {B2 + "srv1\\share1", false, "", "", ""},
        {"\\", false, "", "", ""},
        {"", false, "", "", ""},
        {"//srv1//share1", false, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        HNASUtils utils(2);
        std::string server = "x", share = "x", sub = "x";
        EXPECT_EQ(c.ok, utils.parseUNCPath(c.path, server, share, sub));
        EXPECT_EQ(c.server, server);
        EXPECT_EQ(c.share, share);
        EXPECT_EQ(c.subDirectory, sub);
    }
}

TEST(UNCPath, OnlyABadStartIsReportedByTheSplitter) {
    const struct {
        std::string path;
        std::string message;   // "" when no level -1 line is expected
    } cases[] = {
        {"", "Invalid input parameter: [EMPTY]"},
        {"srv1" + B2 + "share1", "Invalid input parameter: [srv1" + B2 + "share1]"},
        {B2 + B2 + "srv1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        LogCapture log;
        HNASUtils utils(2);
        std::string server, share, sub;
        EXPECT_FALSE(utils.parseUNCPath(c.path, server, share, sub));
        std::vector<std::string> failures;
        for (const EvLogLine& l : log.lines())
            if (l.level == -1) failures.push_back(l.message);
        EXPECT_EQ(c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message},
                  failures);
    }
}

TEST(EscapeRemoval, TurnsEscapedSlashesIntoSlashes) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"\\/a\\/b", "/a/b"},
        {"a\\", "a\\"},
        {"\\\\/", "\\/"},
        {"a\\b", "a\\b"},
        {"", ""},
        {"/plain/", "/plain/"},
    };
    HNASUtils utils(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        std::string out = "x";
        utils.removeEscapeChar(c.in, out);
        EXPECT_EQ(c.out, out);
        std::string same = c.in;   // input and output may be one string
        utils.removeEscapeChar(same, same);
        EXPECT_EQ(c.out, same);
    }
}

TEST(NetworkShareType, MapsDeviceTypesToProtocols) {
    const struct {
        std::string type;
        bool ok;
        std::string protocol;
        std::string message;
    } cases[] = {
        {"unc", true, "CIFS", ""},
        {"nfs", true, "NFS", ""},
        {"native_hnas", true, "NFS", ""},
        {"", false, "unchanged", "Invalid arguements. Empty device."},
        {"UNC", false, "unchanged", "Unknown device type."},
    };
    for (const auto& c : cases) {
        for (const std::string mountPath : {"", "/mnt/x"}) {
            SCOPED_TRACE(c.type + " / " + mountPath);
            LogCapture log;
            HNASUtils utils(2);
            std::string protocol = "unchanged";
            EXPECT_EQ(c.ok, utils.getNetworkShareType(c.type, mountPath, protocol));
            EXPECT_EQ(c.protocol, protocol);
            if (!c.ok) {
                EXPECT_TRUE(log.has(-1, c.message));
                EXPECT_EQ("HNASUtils::getNetworkShareType", log.lines().at(0).context);
            }
        }
    }
}

}  // namespace
