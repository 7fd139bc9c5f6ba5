// The client's settings are defined once (ClientSettings.h); the operator's
// table in docs/array-api.md and the shipped settings.ini.sample must name
// every key with the default that definition gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "client/ClientSettings.h"
#include "tests/support/TempSettings.h"

namespace {

using namespace managehnas;

std::string sourceFile(const std::string& relative) {
    std::ifstream in(std::string(HNAS_SOURCE_DIR) + "/" + relative);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::vector<std::string> kKeys = {kConnectTimeoutKey, kRequestTimeoutKey, kRetryCountKey, kRetryBackoffKey,
                                        kCaFileKey,         kInsecureKey,       kApiVersionKey, kApiKeyFileKey,
                                        kRequestsInFlightKey};

// "| `nRetryCount` | 2 | extra tries ... |" rows of the section, key -> default cell.
std::map<std::string, std::string> tableOf(const std::string& markdown, const std::string& heading) {
    std::map<std::string, std::string> rows;
    const size_t start = markdown.find("\n## " + heading + "\n");
    if (start == std::string::npos) return rows;
    const size_t end = markdown.find("\n## ", start + 1);
    std::istringstream lines(markdown.substr(start, end == std::string::npos ? std::string::npos : end - start));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("| `", 0) != 0) continue;
        const size_t keyEnd = line.find('`', 3);
        const size_t cellEnd = line.find(" |", keyEnd + 4);
        if (keyEnd == std::string::npos || cellEnd == std::string::npos) continue;
        rows[line.substr(3, keyEnd - 3)] = line.substr(keyEnd + 4, cellEnd - keyEnd - 4);
    }
    return rows;
}

TEST(ClientSettingsDocs, TheTableNamesEveryKeyWithTheDefinedDefault) {
    const ClientSettings defaults;
    const std::map<std::string, std::string> expected = {
        {kConnectTimeoutKey, std::to_string(defaults.connectTimeoutSecs)},
        {kRequestTimeoutKey, std::to_string(defaults.requestTimeoutSecs)},
        {kRetryCountKey, std::to_string(defaults.retryCount)},
        {kRetryBackoffKey, std::to_string(defaults.retryBackoffMs)},
        {kCaFileKey, std::string("`$") + kCaFileVariable + "`, else the system's"},
        {kInsecureKey, defaults.insecure ? "1" : "0"},
        {kApiVersionKey, "`" + defaults.apiVersion + "`"},
        {kApiKeyFileKey, defaults.apiKeyFile.empty() ? "none" : defaults.apiKeyFile},
        {kRequestsInFlightKey, std::to_string(defaults.requestsInFlight)},
        // An array's own key, in the section endpointSection() names.
        {std::string("[") + kClientSection + kEndpointSectionSeparator + "<control host>:<port>] " + kApiKeyFileKey,
         std::string("the client section's `") + kApiKeyFileKey + "`"},
    };
    ASSERT_EQ(expected.size(), kKeys.size() + 1);
    EXPECT_EQ(tableOf(sourceFile("docs/array-api.md"), "The client's settings"), expected);
}

TEST(ClientSettingsDocs, TheSampleHoldsEveryKeyAtItsDefaultExceptTheCaFile) {
    const std::string sample = sourceFile("packaging/settings.ini.sample");
    // The keys of the client's section, in the sample's order.
    std::vector<std::string> keys;
    bool inSection = false;
    std::istringstream lines(sample);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] == '[') inSection = line == std::string("[") + kClientSection + "]";
        const size_t equals = line.find('=');
        if (inSection && !line.empty() && line[0] != ';' && equals != std::string::npos)
            keys.push_back(line.substr(0, equals));
    }
    std::vector<std::string> sortedKeys = keys;
    std::vector<std::string> sortedExpected = kKeys;
    std::sort(sortedKeys.begin(), sortedKeys.end());
    std::sort(sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ(sortedKeys, sortedExpected);

    // Read by the client's own reader, the sample changes nothing but the CA file.
    testsupport::TempSettings settings(sample);
    std::vector<std::string> notes;
    const ClientSettings read = readClientSettings(notes);
    const ClientSettings defaults;
    EXPECT_TRUE(notes.empty()) << notes.front();
    EXPECT_FALSE(read.caFile.empty());
    EXPECT_EQ(read.connectTimeoutSecs, defaults.connectTimeoutSecs);
    EXPECT_EQ(read.requestTimeoutSecs, defaults.requestTimeoutSecs);
    EXPECT_EQ(read.retryCount, defaults.retryCount);
    EXPECT_EQ(read.retryBackoffMs, defaults.retryBackoffMs);
    EXPECT_EQ(read.insecure, defaults.insecure);
    EXPECT_EQ(read.apiVersion, defaults.apiVersion);
    EXPECT_EQ(read.apiKeyFile, defaults.apiKeyFile);
}

}  // namespace
