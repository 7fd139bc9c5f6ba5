// The simulator's reading of request targets: percent escapes in paths and
// queries, and the query's parameters.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "arraysim/server/UrlText.h"

using arraysim::parseQuery;
using arraysim::percentDecoded;

TEST(UrlText, PercentEscapesAreDecodedAndBadOnesKeptAsSent) {
    struct Case {
        const char* text;
        const char* asPath;    // plusIsSpace false
        const char* asQuery;   // plusIsSpace true
    } cases[] = {
        {"a%2Fb", "a/b", "a/b"},
        {"%41%62%7e%7E", "Ab~~", "Ab~~"},
        {"%e2%82%AC", "\xe2\x82\xac", "\xe2\x82\xac"},   // UTF-8 bytes, either case
        {"a+b%2Bc", "a+b+c", "a b+c"},
        {"%20", " ", " "},
        {"100%", "100%", "100%"},
        {"%4", "%4", "%4"},
        {"%zz%4g", "%zz%4g", "%zz%4g"},
        {"%%41", "%A", "%A"},
        {"%u0041", "%u0041", "%u0041"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(percentDecoded(c.text, false), c.asPath);
        EXPECT_EQ(percentDecoded(c.text, true), c.asQuery);
    }
    EXPECT_EQ(percentDecoded("a%00b", false), std::string("a\0b", 3));
}

TEST(UrlText, QueriesGiveEveryParameterDecodedInTheOrderSent) {
    using Params = std::vector<std::pair<std::string, std::string>>;
    struct Case {
        const char* query;
        Params params;   // sorted by name, equal names in the order sent
    } cases[] = {
        {"label=fs1", {{"label", "fs1"}}},
        {"name=data&virtualServerId=1", {{"name", "data"}, {"virtualServerId", "1"}}},
        {"name=my+share%21", {{"name", "my share!"}}},
        {"b=2&a=1&b=1", {{"a", "1"}, {"b", "2"}, {"b", "1"}}},
        {"name=&x", {{"name", ""}, {"x", ""}}},
        {"a=b=c", {{"a", "b=c"}}},
        {"v=a%26b%3Dc&w=1", {{"v", "a&b=c"}, {"w", "1"}}},
        {"&&a=1&", {{"a", "1"}}},
        {"=orphan&%3D=eq", {{"=", "eq"}}},
        {"n%61me=%zz", {{"name", "%zz"}}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const arraysim::QueryParams parsed = parseQuery(c.query);
        EXPECT_EQ(Params(parsed.begin(), parsed.end()), c.params);
    }
}
