// The buffer-protocol reader against every way a host can answer.
#include <gtest/gtest.h>

#include <string>

#include "device/HostBufferRead.h"
#include "hostkit/HostBuffers.h"
#include "tests/fakes/FakeHostText.h"

namespace {

using fakehost::FakeHostText;
using fakehost::ScriptedAnswer;

HostTextRead readFrom(FakeHostText& host, int& size, int& retries, int maxSize = kShortReadMaxSize) {
    return readHostText(size, retries, maxSize, [&](char* buffer, int& bufferSize) {
        return host.answer(buffer, bufferSize, bufferSize);
    });
}

std::string repeatTo(const std::string& pattern, size_t length) {
    std::string text;
    while (text.size() < length) text += pattern;
    return text.substr(0, length);
}

struct Case {
    const char* name;
    std::string value;
    std::vector<ScriptedAnswer> script;
    bool keepAnsweringTooSmall;
    int expectedStatus;
    std::string expectedText;
    std::vector<int> expectedSizesOffered;
};

TEST(HostBufferRead, AnswersOfTheHost) {
    const std::string big(5000, 'b');
    const Case cases[] = {
        {"fits at once", "abc", {}, false, 0, "abc", {1024}},
        {"regrows to the size written back", big, {}, false, 0, big, {1024, 5001}},
        {"scripted larger size", "abc", {ScriptedAnswer::tooSmall(3000)}, false, 0, "abc", {1024, 3000}},
        {"keeps answering 2", "abc", {}, true, 2, "", {1024, 1024, 1024, 1024, 1024}},
        {"fails with another code", "abc", {ScriptedAnswer::fail(7)}, false, 7, "", {1024}},
        {"unterminated text is no text", "", {ScriptedAnswer::unterminated("xyz")}, false, kHostReadRefused, "",
         {1024}},
        {"text that just fits with its terminator", repeatTo("xyz", 1023), {}, false, 0, repeatTo("xyz", 1023),
         {1024}},
        {"negative size", "abc", {ScriptedAnswer::tooSmall(-5)}, false, kHostReadRefused, "", {1024}},
        {"zero size", "abc", {ScriptedAnswer::tooSmall(0)}, false, kHostReadRefused, "", {1024}},
        {"size whose + 1 does not fit a short", "abc", {ScriptedAnswer::tooSmall(32767)}, false,
         kHostReadRefused, "", {1024}},
        {"largest size that fits", "abc", {ScriptedAnswer::tooSmall(32766)}, false, 0, "abc", {1024, 32766}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHostText host;
        host.value = c.value;
        for (const ScriptedAnswer& a : c.script) host.script.push_back(a);
        if (c.keepAnsweringTooSmall) host.always = ScriptedAnswer::tooSmall(1024);
        int size = 1024;
        int retries = 4;
        const HostTextRead read = readFrom(host, size, retries);
        EXPECT_EQ(c.expectedStatus, read.status);
        EXPECT_EQ(c.expectedText, read.text);
        EXPECT_EQ(c.expectedSizesOffered, host.sizesOffered);
    }
}

// Hosts count the size they need with or without the terminator; the text
// is whole either way, including one that fills exactly the size told.
TEST(HostBufferRead, BothSizeConventionsReadTheWholeText) {
    using hostkit::SizeConvention;
    const struct {
        const char* name;
        SizeConvention convention;
        size_t length;
        std::vector<int> expectedSizesOffered;
    } cases[] = {
        {"with terminator, exactly the size told", SizeConvention::WithTerminator, 1024, {1024, 1025}},
        {"without terminator, exactly the size told", SizeConvention::WithoutTerminator, 1024, {1024}},
        {"without terminator, one byte more", SizeConvention::WithoutTerminator, 1025, {1024, 1025}},
        {"without terminator, after a regrowth", SizeConvention::WithoutTerminator, 1500, {1024, 1500}},
        {"without terminator, the largest short size", SizeConvention::WithoutTerminator, 32766, {1024, 32766}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hostkit::ScopedSizeConvention convention(c.convention);
        FakeHostText host;
        host.value = repeatTo("xyz", c.length);
        int size = 1024;
        int retries = 4;
        const HostTextRead read = readFrom(host, size, retries);
        EXPECT_EQ(0, read.status);
        EXPECT_EQ(host.value, read.text);
        EXPECT_EQ(c.expectedSizesOffered, host.sizesOffered);
    }
}

TEST(HostBufferRead, BufferTheHostDidNotFillReadsEmpty) {
    int size = 16;
    int retries = 0;
    const HostTextRead read = readHostText(size, retries, kShortReadMaxSize, [](char*, int&) { return 0; });
    EXPECT_TRUE(read.ok());
    EXPECT_EQ("", read.text);
}

TEST(HostBufferRead, EveryBufferHasRoomForATerminator) {
    int size = 8;
    int retries = 0;
    size_t seenCapacity = 0;
    readHostText(size, retries, kShortReadMaxSize, [&](char* buffer, int& told) {
        // Writing exactly `told` bytes plus a NUL must stay inside the buffer
        // (AddressSanitizer checks this).
        for (int i = 0; i < told; ++i) buffer[i] = 'a';
        buffer[told] = '\0';
        seenCapacity = static_cast<size_t>(told) + 1;
        return 0;
    });
    EXPECT_EQ(9u, seenCapacity);
}

TEST(HostBufferRead, ReadsSharingABudgetSpendItTogether) {
    FakeHostText metadata;
    metadata.value = std::string(2000, 'm');
    FakeHostText uuid;
    uuid.value = "u1";
    uuid.always = ScriptedAnswer::tooSmall(64);

    int size = 1024;
    int retries = 4;
    const HostTextRead first = readFrom(metadata, size, retries);
    EXPECT_TRUE(first.ok());
    EXPECT_EQ(3, retries);
    EXPECT_EQ(2001, size);

    const HostTextRead second = readFrom(uuid, size, retries);
    EXPECT_EQ(2, second.status);
    EXPECT_EQ(4, uuid.calls);   // the three retries left, plus its first call
    EXPECT_EQ(2001, uuid.sizesOffered.front());
    EXPECT_EQ(0, retries);

    // Once the budget is spent a read is made exactly once.
    FakeHostText third;
    third.always = ScriptedAnswer::tooSmall(64);
    readFrom(third, size, retries);
    EXPECT_EQ(1, third.calls);
}

TEST(HostBufferRead, IntSizedReadsAcceptLargeSizesUpToTheirLimit) {
    FakeHostText list;
    list.value = std::string(40000, 'n');
    int size = 4096;
    int retries = 3;
    const HostTextRead read = readFrom(list, size, retries, kIntReadMaxSize);
    EXPECT_TRUE(read.ok());
    EXPECT_EQ(40000u, read.text.size());

    FakeHostText huge;
    huge.script.push_back(ScriptedAnswer::tooSmall(kIntReadMaxSize + 1));
    size = 4096;
    EXPECT_EQ(kHostReadRefused, readFrom(huge, size, retries, kIntReadMaxSize).status);
}

}  // namespace
