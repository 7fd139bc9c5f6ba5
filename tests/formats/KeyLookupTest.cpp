// getJsonVal, the one key lookup of brace-and-comma texts.
#include <gtest/gtest.h>

#include "utils/HNASUtils.h"

namespace {

TEST(KeyLookup, FindsWholeKeysAfterBraceOrComma) {
    const struct {
        std::string text;
        std::string key;
        bool found;
        std::string value;
    } cases[] = {
        {"{a:1,b:x}", "b", true, "x"},
        {"{a:1,b:x}", "a", true, "1"},
        {"{a:,b:x}", "a", true, ""},
        // A key never matches inside a longer key.
        {"{vortype:v,x:y}", "type", false, ""},
        {"{EncodedName:e,Name:n}", "Name", true, "n"},
        // The pair that opens the text wins over an earlier ",key:".
        {"{x:,k:second}{k:first}", "k", true, "first"},
        // Otherwise the first ",key:" wins.
        {"{x:1,k:one,k:two}", "k", true, "one"},
        // The value runs to the first ",", even past a "}".
        {"{a:x},b:y}", "a", true, "x}"},
        {"{a:x}", "a", true, "x"},
        // Neither "," nor "}" after the value: absent.
        {"{a:x", "a", false, ""},
        {"{A:1}", "a", false, ""},
        {"", "a", false, ""},
        {"a:1}", "a", false, ""},
    };
    HNASUtils utils(3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " / " + c.key);
        std::string value = "untouched";
        EXPECT_EQ(c.found, utils.getJsonVal(c.text, c.key, value));
        EXPECT_EQ(c.found ? c.value : "untouched", value);
    }
}

}  // namespace
