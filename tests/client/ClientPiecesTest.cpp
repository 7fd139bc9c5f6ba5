// The client's pure pieces: endpoint and parameter texts, log text, the
// settings key mapping.
#include <gtest/gtest.h>

#include "platform/managehnas/EndpointText.h"
#include "platform/managehnas/WireRecords.h"

namespace {

using namespace managehnas;

TEST(EndpointText, EndpointForAddressAndPort) {
    struct Case {
        const char* address;
        int port;
        bool ok;
        const char* expected;
    };
    const Case cases[] = {
        {"192.0.2.10", 8444, true, "https://192.0.2.10:8444"},
        {"hnas.example.com", 1, true, "https://hnas.example.com:1"},
        {"2001:db8::5", 8444, true, "https://[2001:db8::5]:8444"},
        {"[2001:db8::5]", 65535, true, "https://[2001:db8::5]:65535"},
        {"fe80::1%eth0", 8444, true, "https://[fe80::1%25eth0]:8444"},
        {"host%x", 8444, false, ""},
        {"", 8444, false, ""},
        {"[]", 8444, false, ""},
        {"a b", 8444, false, ""},
        {"a\\b", 8444, false, ""},
        {"a?b", 8444, false, ""},
        {"h", 65536, false, ""},
        {"h", -1, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.address) + " " + std::to_string(c.port));
        std::string endpoint = "unchanged";
        std::string cause;
        EXPECT_EQ(endpointFor(c.address, c.port, endpoint, cause), c.ok);
        if (c.ok)
            EXPECT_EQ(endpoint, c.expected);
        else
            EXPECT_FALSE(cause.empty());
    }
}

TEST(EndpointText, PercentEncodeKeepsOnlyUnreserved) {
    EXPECT_EQ(percentEncode("fs1"), "fs1");
    EXPECT_EQ(percentEncode("/exp 1"), "%2Fexp%201");
    EXPECT_EQ(percentEncode("a&b=c#d?e"), "a%26b%3Dc%23d%3Fe");
    EXPECT_EQ(percentEncode("A-z_0.9~"), "A-z_0.9~");
    EXPECT_EQ(percentEncode("data$"), "data%24");
    EXPECT_EQ(percentEncode("\xc3\xa9"), "%C3%A9");
}

TEST(EndpointText, LoggableMasksSecretAndControlCharacters) {
    EXPECT_EQ(loggable("bad pw\nx", "pw"), "bad ********?x");
    EXPECT_EQ(loggable("pwpw and pw", "pw"), "**************** and ********");
    EXPECT_EQ(loggable("nothing\tsecret", ""), "nothing?secret");
    const std::string longText(2000, 'a');
    EXPECT_EQ(loggable(longText, "x"), std::string(1024, 'a') + "...");
}

__HNASFileSystemShareSettings unusualSettings() {
    __HNASFileSystemShareSettings s;
    s.accessConfig = "10.0.0.0/8(rw)";
    s.comment = "c";
    s.userHomeDirectoryPath = "\\home";
    s.cacheOption = "AUTO_CACHING_PROGS";
    s.snapshotOption = "HIDE_AND_DISABLE_ACCESS";
    s.transferToReplicationTarget = "TRANSFER";
    s.userHomeDirectoryMode = "DOMAIN_AND_USER";
    s.localReadCacheOption = "ENABLED_FOR_CVLS";
    s.followSymLinks = true;
    s.followGlobalSymLinks = true;
    s.abeEnabled = true;
    s.forceFileNameToLowercase = true;
    s.scanForVirusesEnabled = true;
    s.maxConcurrentUsers = -1;
    return s;
}

// The wire names of the settings keys and the fields they land in.
TEST(WireRecords, SettingsKeysMapToTheirFields) {
    const __HNASFileSystemShareSettings s = unusualSettings();
    const Json cifs = settingsToWire(s, ShareProtocol::Cifs);
    EXPECT_EQ(cifs.size(), 13u);
    EXPECT_EQ(cifs.at("transferToReplicationTargetSetting"), "TRANSFER");
    EXPECT_EQ(cifs.at("isFollowSymbolicLinks"), true);
    EXPECT_EQ(cifs.at("isFollowGlobalSymbolicLinks"), true);
    EXPECT_EQ(cifs.at("isABEEnabled"), true);
    EXPECT_EQ(cifs.at("isScanForVirusesEnabled"), true);
    EXPECT_EQ(cifs.at("isForceFileNameToLowercase"), true);
    EXPECT_EQ(cifs.at("maxConcurrentUsers"), -1);
    EXPECT_EQ(cifs.at("userHomeDirectoryPath"), "\\home");
    EXPECT_FALSE(cifs.contains("localReadCacheOption"));

    const Json nfs = settingsToWire(s, ShareProtocol::Nfs);
    EXPECT_EQ(nfs, Json({{"accessConfig", "10.0.0.0/8(rw)"},
                         {"snapshotOption", "HIDE_AND_DISABLE_ACCESS"},
                         {"transferToReplicationTargetSetting", "TRANSFER"},
                         {"localReadCacheOption", "ENABLED_FOR_CVLS"}}));

    Json all = cifs;
    all["localReadCacheOption"] = "ENABLED_FOR_CVLS";
    __HNASFileSystemShareSettings back;
    std::string cause;
    ASSERT_TRUE(settingsFromWire(all, back, cause)) << cause;
    EXPECT_EQ(settingsToWire(back, ShareProtocol::Cifs), cifs);
    EXPECT_EQ(back.localReadCacheOption, "ENABLED_FOR_CVLS");
}

TEST(WireRecords, SettingsAbsentOrNullKeepDefaultsWrongTypesFail) {
    __HNASFileSystemShareSettings s;
    std::string cause;
    ASSERT_TRUE(settingsFromWire(Json::parse(R"J({"comment":null,"accessConfig":"*(ro)"})J"), s, cause));
    EXPECT_EQ(s.accessConfig, "*(ro)");
    EXPECT_EQ(s.cacheOption, "CACHING_OFF");
    EXPECT_EQ(s.maxConcurrentUsers, 100);
    EXPECT_FALSE(settingsFromWire(Json::parse(R"J({"isABEEnabled":"yes"})J"), s, cause));
    EXPECT_EQ(cause, "field [isABEEnabled] of [share settings] is not true or false");
    EXPECT_FALSE(settingsFromWire(Json::parse(R"J({"maxConcurrentUsers":4294967296})J"), s, cause));
    EXPECT_EQ(cause, "field [maxConcurrentUsers] of [share settings] is not a 32-bit integer");
}

TEST(WireRecords, ProtocolOfShareType) {
    ShareProtocol p = ShareProtocol::Cifs;
    EXPECT_TRUE(protocolOf("nfs", p));
    EXPECT_EQ(p, ShareProtocol::Nfs);
    EXPECT_TRUE(protocolOf("CIFS", p));
    EXPECT_EQ(p, ShareProtocol::Cifs);
    EXPECT_FALSE(protocolOf("SMB", p));
    EXPECT_FALSE(protocolOf("", p));
}

}  // namespace
