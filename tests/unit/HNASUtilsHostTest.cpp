// Host-name resolution and settings lookup of HNASUtils.
#include <gtest/gtest.h>

#include "tests/fakes/LogCapture.h"
#include "tests/support/TempSettings.h"
#include "utils/HNASUtils.h"

namespace {

using fakehost::LogCapture;
using testsupport::TempSettings;

TEST(HNASUtilsResolve, EmptyNameFailsBeforeAnyLookup) {
    LogCapture log;
    HNASUtils utils(5);
    std::string address = "unchanged";
    EXPECT_FALSE(utils.getIPAddressForHost("", address));
    EXPECT_EQ("unchanged", address);
    EXPECT_TRUE(log.has(-1, "Invalid argument. Empty hostname!."));
    EXPECT_EQ(5u, log.lines().at(0).jobId);
}

TEST(HNASUtilsResolve, ResolvesToTheDottedFirstAddress) {
    LogCapture log;
    HNASUtils utils(5);
    std::string address;
    ASSERT_TRUE(utils.getIPAddressForHost("127.0.0.1", address));
    EXPECT_EQ("127.0.0.1", address);
    EXPECT_TRUE(log.has(1, "Using the first Address [127.0.0.1]:for host [127.0.0.1]."));
}

TEST(HNASUtilsResolve, UnresolvableNameLeavesTheOutputAlone) {
    LogCapture log;
    HNASUtils utils(5);
    std::string address = "unchanged";
    EXPECT_FALSE(utils.getIPAddressForHost("no-such-host.invalid", address));
    EXPECT_EQ("unchanged", address);
    EXPECT_TRUE(log.has(
        "Unable to get IP address list for host:[no-such-host.invalid] the host is not resolvable "
        "from this machine, please check DNS settings and make sure that host "
        "[no-such-host.invalid] is resolvable from this machine"));
}

TEST(HNASUtilsSettings, ReadsTheAgentSectionOrASubsection) {
    TempSettings settings(
        "[~Vorlane]\n"
        "nHideCIFSShareOnSnapMount=1\n"
        "nRevertMountPathRefreshWaitInSecs = 3\n"
        "[~Vorlane/abc]\n"
        "nHideCIFSShareOnSnapMount=7\n"
        "[Other]\n"
        "onlyElsewhere=9\n");
    int value = 0;
    EXPECT_TRUE(HNASUtils::GetRegInt(nullptr, "nHideCIFSShareOnSnapMount", &value));
    EXPECT_EQ(1, value);
    EXPECT_TRUE(HNASUtils::GetRegInt("abc", "nHideCIFSShareOnSnapMount", &value));
    EXPECT_EQ(7, value);
    EXPECT_TRUE(HNASUtils::GetRegInt(nullptr, "nRevertMountPathRefreshWaitInSecs", &value));
    EXPECT_EQ(3, value);

    value = 10;
    EXPECT_FALSE(HNASUtils::GetRegInt(nullptr, "onlyElsewhere", &value));
    EXPECT_EQ(10, value);
}

TEST(HNASUtilsSettings, AbsentOrUnusableSettingsKeepTheDefault) {
    TempSettings settings(
        "[~Vorlane]\n"
        "notANumber=abc\n"
        "tooLarge=99999999999\n"
        "trailing=12x\n");
    for (const char* key : {"missing", "notANumber", "tooLarge", "trailing"}) {
        int value = 10;
        EXPECT_FALSE(HNASUtils::GetRegInt(nullptr, key, &value)) << key;
        EXPECT_EQ(10, value) << key;
    }
}

TEST(HNASUtilsSettings, NoSettingsFileMeansNoSettings) {
    unsetenv("QZ_SETTINGS_FILE");
    int value = 0;
    EXPECT_FALSE(HNASUtils::GetRegInt(nullptr, "nHideCIFSShareOnSnapMount", &value));
    EXPECT_EQ(0, value);
}

}  // namespace
