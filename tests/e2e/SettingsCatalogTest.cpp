// The settings catalog against the client's own reader: every key of the
// client is known, and set-setting refuses exactly the values the client
// would ignore, at each bound of each key (the catalog takes a plain decimal
// number only, without the blanks or "+" the platform's reader also skips).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "client/ClientSettings.h"
#include "harness/framework/SettingsCatalog.h"
#include "tests/support/TempSettings.h"

namespace {

using managehnas::kClientSection;

// What the client's reader says of one value: true when it uses it.
bool clientUses(const std::string& key, const std::string& value) {
    testsupport::TempSettings settings(std::string("[") + kClientSection + "]\n" + key + "=" + value + "\n");
    std::vector<std::string> notes;
    managehnas::readClientSettings(notes);
    return notes.empty();
}

TEST(SettingsCatalog, KnowsEveryClientKey) {
    std::set<std::string> known;
    for (const KnownSetting& s : knownSettings())
        if (s.section == kClientSection) known.insert(s.key);
    EXPECT_EQ(known, std::set<std::string>(std::begin(managehnas::kClientSettingKeys),
                                           std::end(managehnas::kClientSettingKeys)));
}

TEST(SettingsCatalog, RefusesTheValuesTheClientWouldIgnoreAtEachBound) {
    for (const KnownSetting& s : knownSettings()) {
        if (s.section != kClientSection) continue;
        std::vector<std::string> values = {"", "abc", "v7", "v", "7", "v1234", "12abc"};
        if (s.kind == SettingKind::Integer)
            for (const long long v : {static_cast<long long>(s.low) - 1, static_cast<long long>(s.low),
                                      static_cast<long long>(s.high), static_cast<long long>(s.high) + 1})
                values.push_back(std::to_string(v));
        for (const std::string& value : values) {
            SCOPED_TRACE(s.key + "=" + value);
            std::string reason;
            const bool accepted = checkSetting({s.section, s.key, value}, reason);
            // An empty value reads as no value: the client keeps its default
            // without a note, while the catalog wants a value of the key's kind.
            if (value.empty() && s.kind != SettingKind::Text) {
                EXPECT_FALSE(accepted);
                continue;
            }
            EXPECT_EQ(clientUses(s.key, value), accepted) << reason;
        }
    }
}

TEST(SettingsCatalog, IgnoredSettingsLeaveTheClientsBadValuesToItsOwnNotes) {
    const std::vector<std::string> lines = settingsIgnored({
        {kClientSection, managehnas::kRetryCountKey, "99"},   // the client notes it itself
        {kClientSection, "sCaFile", "/ca.pem"},
        {"~Vorlane", "nHideCIFSShareOnSnapMount", "2"},
        {kHostSettingsSection, kKeepJobLogsKey, "50"},
    });
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(0u, lines[0].find("[~Vorlane/HNASClient] sCaFile=/ca.pem: unknown key")) << lines[0];
    EXPECT_EQ(0u, lines[1].find("[~Vorlane] nHideCIFSShareOnSnapMount=2: bad value")) << lines[1];
}

}  // namespace
