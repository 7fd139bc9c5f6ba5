// The client's pure pieces: endpoint and parameter texts, log text, the
// settings key mapping, numeric fields in both forms, the bounded parser,
// the API key file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "client/ApiKeyFile.h"
#include "client/BoundedJson.h"
#include "client/EndpointText.h"
#include "client/WireRecords.h"
#include "tests/support/RecordBuilders.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TempFile.h"

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

// The wire names of the settings keys and the fields they land in.
TEST(WireRecords, SettingsKeysMapToTheirFields) {
    const __HNASFileSystemShareSettings s = testsupport::settingsOffTheirDefaults();
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

// v8 and v9 send numbers as quoted texts: both forms are read, and a quoted
// text that is not a plain decimal of the range is refused.
TEST(JsonFields, NumbersAreReadAsNumbersOrQuotedDecimals) {
    struct Case {
        const char* json;
        bool unsignedOk;
        uint64_t unsignedValue;
        bool int32Ok;
        int32_t int32Value;
    };
    const Case cases[] = {
        {"1", true, 1, true, 1},
        {"\"1\"", true, 1, true, 1},
        {"\"123456789012\"", true, 123456789012u, false, 0},
        {"123456789012", true, 123456789012u, false, 0},
        {"\"18446744073709551615\"", true, UINT64_MAX, false, 0},
        {"\"18446744073709551616\"", false, 0, false, 0},
        {"-1", false, 0, true, -1},
        {"\"-1\"", false, 0, true, -1},
        {"\"2147483647\"", true, 2147483647u, true, INT32_MAX},
        {"\"-2147483648\"", false, 0, true, INT32_MIN},
        {"\"2147483648\"", true, 2147483648u, false, 0},
        {"\"-2147483649\"", false, 0, false, 0},
        {"\"0\"", true, 0, true, 0},
        {"\"\"", false, 0, false, 0},
        {"\"-\"", false, 0, false, 0},
        {"\"1.5\"", false, 0, false, 0},
        {"\" 1\"", false, 0, false, 0},
        {"\"+1\"", false, 0, false, 0},
        {"\"0x10\"", false, 0, false, 0},
        {"\"1e3\"", false, 0, false, 0},
        {"1.5", false, 0, false, 0},
        {"true", false, 0, false, 0},
        {"[1]", false, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        const Json object = Json::parse(std::string("{\"n\":") + c.json + "}");
        uint64_t u = 77;
        int32_t i = 77;
        std::string cause;
        EXPECT_EQ(readUnsigned(object, "n", true, u, "record", cause), c.unsignedOk);
        EXPECT_EQ(u, c.unsignedOk ? c.unsignedValue : 77u);
        if (!c.unsignedOk) {
            EXPECT_EQ(cause, "field [n] of [record] is not a number of 0 or more");
        }
        cause.clear();
        EXPECT_EQ(readInt32(object, "n", true, i, "record", cause), c.int32Ok);
        EXPECT_EQ(i, c.int32Ok ? c.int32Value : 77);
        if (!c.int32Ok) {
            EXPECT_EQ(cause, "field [n] of [record] is not a 32-bit integer");
        }
    }
}

TEST(WireRecords, EveryDeleteStateCountsAsGone) {
    for (const char* state : {"SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING", "SNAPSHOT_MANAGEMENT_STATE_DELETE_ONGOING",
                              "SNAPSHOT_MANAGEMENT_STATE_DELETE_ROOT_ONODE_PASS", "SNAPSHOT_MANAGEMENT_STATE_DEAD"})
        EXPECT_TRUE(isGoingState(state)) << state;
    for (const char* state : {"SNAPSHOT_MANAGEMENT_STATE_USABLE", "", "SNAPSHOT_MANAGEMENT_STATE_DEADLINE", "DELETE"})
        EXPECT_FALSE(isGoingState(state)) << state;
}

// What the bounded parser takes and what it refuses, with the cause.
TEST(BoundedJson, ShapesTheClientNeverReadsAreRefusedBeforeATreeIsBuilt) {
    struct Case {
        std::string text;
        const char* cause;   // nullptr: accepted
    };
    const Case cases[] = {
        {R"J({"snapshots":[{"objectId":"x","n":"1"}],"uri":"/v7/x"})J", nullptr},
        {R"J({"virtualServers":[{"ipAddresses":["192.0.2.10","::1"],"isEnabled":true,"x":null}]})J", nullptr},
        {R"J({"a":{"b":{"c":{"d":{"e":{"f":{"g":{}}}}}}}})J", nullptr},   // 8 levels
        {R"J({"a":{"b":{"c":{"d":{"e":{"f":{"g":{"h":{}}}}}}}}})J", "the answer nests deeper than 8 levels"},
        {"{\"a\":" + std::string(1000, '['), "the answer holds a list whose entries are not all objects or all texts"},
        {R"J({"a":[[1]]})J", "the answer holds a list whose entries are not all objects or all texts"},
        {R"J({"a":[0,0,0]})J", "the answer holds a list whose entries are not all objects or all texts"},
        {R"J({"a":[{},"x"]})J", "the answer holds a list whose entries are not all objects or all texts"},
        {R"J({"a":[null]})J", "the answer holds a list whose entries are not all objects or all texts"},
        {"[1,2]", "the answer is JSON but not an object"},
        {"\"text\"", "the answer is JSON but not an object"},
        {"", "empty answer where JSON was expected"},
        {" \r\n", "empty answer where JSON was expected"},
        {"{\"a\":1", "malformed JSON in the answer (at byte 7)"},
        {"{\"a\":1}x", "malformed JSON in the answer (at byte 8)"},
        {"<html>oops</html>", "malformed JSON in the answer (at byte 1)"},
        // Runs the lexer would keep whole, refused before parsing.
        {"{\"a\":" + std::string(kMaxPlainRun - 1, ' ') + "1}", nullptr},   // with the ":", just the limit
        {"{\"a\":" + std::string(kMaxPlainRun, ' ') + "1}",
         "the answer holds more than 65536 brackets, commas, blanks or literals in a row"},
        {"{\"a\":[" + std::string(kMaxPlainRun, '[') + "]}",
         "the answer holds more than 65536 brackets, commas, blanks or literals in a row"},
        {"{\"a\":\"" + std::string(kMaxPlainRun + 1, '[') + "\"}", nullptr},   // inside a text
        {"{\"a\":\"x\\\"" + std::string(kMaxPlainRun + 1, ',') + "\"}", nullptr},   // after an escaped quote
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        Json object = {{"kept", true}};
        std::string cause;
        const bool accepted = parseBounded(c.text, nullptr, object, cause);
        EXPECT_EQ(accepted, c.cause == nullptr) << cause;
        if (c.cause == nullptr) {
            EXPECT_EQ(object, Json::parse(c.text));
        } else {
            EXPECT_EQ(cause, c.cause);
            EXPECT_EQ(object, Json({{"kept", true}}));   // untouched
        }
    }
}

// A snapshot list as a real array sends it (hex object IDs of the real
// form), 20000 entries: within the budget. The same bytes spent on tiny
// objects would need a tree of 30 times their size: refused.
TEST(BoundedJson, RealListsFitTheBudgetTinyEntriesDoNot) {
    std::string real = "{\"snapshots\":[";
    for (int i = 0; i < 20000; ++i) {
        const std::string name = "QZHNAS-" + std::to_string(100000 + i) + "-fs1";
        std::string id;
        for (unsigned char c : "0A1B2C3D4E5F60718293A4B5C6D7E8F9:::" + name + "::::::0:::OID_$#!@%_V") {
            static const char hex[] = "0123456789abcdef";
            id += hex[c >> 4];
            id += hex[c & 15];
        }
        if (i > 0) real += ",";
        real += R"J({"objectId":")J" + id + R"J(","displayName":")J" + name +
                R"J(","filesystemId":"0A1B2C3D4E5F60718293A4B5C6D7E8F9","state":"SNAPSHOT_MANAGEMENT_STATE_USABLE",)J"
                R"J("creationReason":"SNAPSHOT_CREATED_BY_APPLICATION","creationTime":"1765370000"})J";
    }
    real += "]}";
    Json object;
    std::string cause;
    ASSERT_TRUE(parseBounded(real, nullptr, object, cause)) << cause;
    EXPECT_EQ(object["snapshots"].size(), 20000u);

    std::string tiny = "{\"snapshots\":[{\"a\":0}";
    while (tiny.size() < 2 * kAnswerBudgetFloor) tiny += ",{\"a\":0}";
    tiny += "]}";
    EXPECT_FALSE(parseBounded(tiny, nullptr, object, cause));
    EXPECT_EQ(cause.rfind("the answer would take more than ", 0), 0u) << cause;
    EXPECT_EQ(object["snapshots"].size(), 20000u);
}

// With the shape a call expects, the other members of the answer are
// skipped unkept, and a wanted member of the wrong kind is refused.
TEST(BoundedJson, MembersTheCallDoesNotReadAreSkippedAndTheWantedOneMustHaveItsKind) {
    const AnswerShape list{"snapshots", AnswerKind::List};
    const AnswerShape one{"snapshot", AnswerKind::Object};
    std::string bulky = R"J({"junk":[{"a":0})J";
    while (bulky.size() < 2 * kAnswerBudgetFloor) bulky += R"J(,{"a":0})J";
    bulky += R"J(],"snapshots":[]})J";
    struct Case {
        const AnswerShape* shape;
        std::string text;
        const char* kept;    // the tree kept, or nullptr: refused with `cause`
        const char* cause;
    };
    const Case cases[] = {
        {&list, R"J({"snapshots":[{"a":"1"}],"uri":"/v7/x","junk":[[[1]],0,{}],"more":{"deep":0}})J",
         R"J({"snapshots":[{"a":"1"}]})J", nullptr},
        {&one, R"J({"uri":"/v7/x","snapshot":{"objectId":"5e"}})J", R"J({"snapshot":{"objectId":"5e"}})J", nullptr},
        {&list, R"J({"uri":"/v7/x"})J", "{}", nullptr},
        {&list, R"J({"snapshots":null})J", R"J({"snapshots":null})J", nullptr},
        {&list, bulky, R"J({"snapshots":[]})J", nullptr},
        {&list, R"J({"snapshots":{}})J", nullptr, "field [snapshots] of [answer] is not a list"},
        {&list, R"J({"snapshots":5})J", nullptr, "field [snapshots] of [answer] is not a list"},
        {&list, R"J({"snapshots":"x"})J", nullptr, "field [snapshots] of [answer] is not a list"},
        {&one, R"J({"snapshot":[]})J", nullptr, "field [snapshot] of [answer] is not an object"},
        {&list, R"J({"snapshots":[0]})J", nullptr,
         "the answer holds a list whose entries are not all objects or all texts"},
        {&list, R"J({"junk":{"b":{"c":{"d":{"e":{"f":{"g":{"h":{}}}}}}}}})J", nullptr,
         "the answer nests deeper than 8 levels"},
        {&list, "[]", nullptr, "the answer is JSON but not an object"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        Json object = {{"kept", true}};
        std::string cause;
        EXPECT_EQ(parseBounded(c.text, c.shape, object, cause), c.kept != nullptr) << cause;
        if (c.kept != nullptr) {
            EXPECT_EQ(object, Json::parse(c.kept));
        } else {
            EXPECT_EQ(cause, c.cause);
        }
    }
    Json object;
    std::string cause;
    EXPECT_FALSE(parseBounded(bulky, nullptr, object, cause));   // kept whole, the same answer breaks the budget
}

TEST(ApiKeyFile, KeyIsTrimmedAndUnusableFilesAreRefusedWithoutTheirContents) {
    struct Case {
        std::string contents;
        const char* key;     // nullptr: refused
        const char* cause;   // after "the API key file [path] " or "cannot read ..."
    };
    const Case cases[] = {
        {"k3y-Secret.value\n", "k3y-Secret.value", nullptr},
        {"  \tk3y-Secret\r\n\n", "k3y-Secret", nullptr},
        {"", nullptr, "holds no key"},
        {" \n\r\n", nullptr, "holds no key"},
        {"k3y-Secret\nX-Evil: 1\n", nullptr, "holds a blank or control character inside the key"},
        {"two words", nullptr, "holds a blank or control character inside the key"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contents.substr(0, 40));
        testsupport::TempFile file(c.contents);
        std::string key = "unchanged";
        std::string cause;
        bool othersMayRead = true;
        EXPECT_EQ(readApiKeyFile(file.path(), key, othersMayRead, cause), c.key != nullptr);
        if (c.key != nullptr) {
            EXPECT_EQ(key, c.key);
            EXPECT_FALSE(othersMayRead);   // made with mode 0600
            chmod(file.path().c_str(), 0644);
            EXPECT_TRUE(readApiKeyFile(file.path(), key, othersMayRead, cause));
            EXPECT_TRUE(othersMayRead);
            continue;
        }
        EXPECT_EQ(key, "unchanged");
        EXPECT_EQ(cause, "the API key file [" + file.path() + "] " + c.cause);
        EXPECT_EQ(cause.find("k3y-Secret"), std::string::npos);
    }
    std::string key;
    std::string cause;
    bool othersMayRead = false;
    EXPECT_FALSE(readApiKeyFile("/nonexistent/api.key", key, othersMayRead, cause));
    EXPECT_EQ(cause, "cannot read the API key file [/nonexistent/api.key]: No such file or directory");
    EXPECT_FALSE(readApiKeyFile("/tmp", key, othersMayRead, cause));
    EXPECT_EQ(cause, "cannot read the API key file [/tmp]: it is a directory, not a regular file");
    // One byte over the bound: refused before a byte of it is kept.
    testsupport::TempFile large(std::string(kMaxApiKeyBytes + 1, 'k'));
    key = "unchanged";
    EXPECT_FALSE(readApiKeyFile(large.path(), key, othersMayRead, cause));
    EXPECT_EQ(cause, "cannot read the API key file [" + large.path() + "]: it is larger than 4096 bytes");
    EXPECT_EQ(key, "unchanged");
}

// A link planted under the name would hand over another file; a FIFO would
// block every job that reads it. Both are refused at once, saying why.
TEST(ApiKeyFile, ALinkOrAFifoIsRefusedWithoutWaiting) {
    testsupport::TempDirectory dir;
    testsupport::TempFile target("k3y-Secret\n");
    const std::string link = dir.file("link.key");
    const std::string fifo = dir.file("fifo.key");
    ASSERT_EQ(0, symlink(target.path().c_str(), link.c_str()));
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    const struct {
        std::string path;
        std::string cause;
    } cases[] = {
        {link, "cannot read the API key file [" + link + "]: it is a symbolic link (name the file itself)"},
        {fifo, "cannot read the API key file [" + fifo + "]: it is a FIFO, not a regular file"},
    };
    for (const auto& c : cases) {
        std::string key = "unchanged";
        std::string cause;
        bool othersMayRead = false;
        EXPECT_FALSE(readApiKeyFile(c.path, key, othersMayRead, cause));
        EXPECT_EQ(c.cause, cause);
        EXPECT_EQ("unchanged", key);
    }
}

}  // namespace
