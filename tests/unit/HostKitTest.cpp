// The in-memory host's answers to the buffer protocol, under both size
// conventions, and its log lines: what the harness's, the tests' and the
// benchmark's hosts answer the plug-in with and write.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "hostkit/HostBuffers.h"
#include "hostkit/MemHost.h"

namespace {

using hostkit::answerIntRead;
using hostkit::answerShortRead;
using hostkit::answerSizedRead;

TEST(HostBuffers, AnswerHonestlyAndNeverPastTheSizeTold) {
    struct Case {
        const char* text;
        short size;
        bool nullBuffer;
        int status;
        short sizeAfter;
    } cases[] = {
        {"abc", 4, false, 0, 4},     // text and NUL fit exactly
        {"abc", 3, false, 2, 4},     // one byte short: the size needed comes back
        {"", 1, false, 0, 1},
        {"abc", 0, false, 2, 4},
        {"abc", 100, true, 2, 4},    // no buffer at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.size));
        char buffer[8];
        std::memset(buffer, 'x', sizeof(buffer));
        short size = c.size;
        EXPECT_EQ(c.status, answerShortRead(c.text, c.nullBuffer ? nullptr : buffer, &size));
        EXPECT_EQ(c.sizeAfter, size);
        if (c.status == 0) {
            EXPECT_STREQ(c.text, buffer);
        } else {
            EXPECT_EQ('x', buffer[0]);
        }
    }
    // A text no short size can announce fails instead of answering 2.
    short size = 10;
    EXPECT_EQ(1, answerShortRead(std::string(SHRT_MAX, 'a'), nullptr, &size));
    // The list convention: 0 with the text, or the needed size as the result.
    char small[4];
    EXPECT_EQ(6, answerSizedRead("a|bcd", small, 4));
    EXPECT_EQ(0, answerSizedRead("a|b", small, 4));
    EXPECT_STREQ("a|b", small);
}

// A host that counts sizes without the NUL: a text of exactly the size told
// is written, its NUL going into the byte after it (the plug-in's buffers
// are the size told + 1).
TEST(HostBuffers, WithoutTheNulATextFillsTheSizeTold) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    short size = 3;
    {
        const hostkit::ScopedSizeConvention convention(hostkit::SizeConvention::WithoutTerminator);
        EXPECT_EQ(0, answerShortRead("abc", buffer, &size));
        EXPECT_STREQ("abc", buffer);
        size = 2;
        EXPECT_EQ(2, answerShortRead("abc", buffer, &size));
        EXPECT_EQ(3, size);
        int intSize = 2;
        EXPECT_EQ(2, answerIntRead("abc", buffer, &intSize));
        EXPECT_EQ(3, intSize);
        EXPECT_EQ(5, answerSizedRead("a|bcd", buffer, 4));
        EXPECT_EQ(0, answerSizedRead("a|bc", buffer, 4));
        EXPECT_STREQ("a|bc", buffer);
    }
    // Back to counting the NUL.
    EXPECT_EQ(hostkit::SizeConvention::WithTerminator, hostkit::sizeConvention());
    size = 3;
    EXPECT_EQ(2, answerShortRead("abc", buffer, &size));
    EXPECT_EQ(4, size);
}

// A descriptor that keeps the lines handed to logLine.
class LineKeeper : private hostkit::SnapState, public hostkit::MemSnapInfo {
public:
    explicit LineKeeper(const hostkit::HostJob& job) : MemSnapInfo(*this, job) {}
    std::vector<std::string> lines;

protected:
    void logLine(int level, const char* context, std::string_view text) override {
        lines.push_back(std::to_string(level) + "|" + context + "|" + std::string(text));
    }
};

// Lines are formatted on the stack up to 511 bytes and at their own size
// beyond: either way whole, with the arguments read once.
TEST(MemSnapInfo, LogLinesArriveWholeHoweverLong) {
    for (size_t length : {size_t(0), size_t(5), size_t(507), size_t(508), size_t(509), size_t(4000)}) {
        SCOPED_TRACE(length);
        const hostkit::HostJob job;
        LineKeeper snap(job);
        const std::string value(length, 'v');
        snap.logFormatted(2, "Ctx::op", "[%s]%d", value.c_str(), 42);
        snap.logMessage(0, value.c_str());
        ASSERT_EQ(2u, snap.lines.size());
        EXPECT_EQ("2|Ctx::op|[" + value + "]42", snap.lines[0]);
        EXPECT_EQ("0||" + value, snap.lines[1]);
    }
}

}  // namespace
