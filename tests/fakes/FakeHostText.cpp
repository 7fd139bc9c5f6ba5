#include "tests/fakes/FakeHostText.h"

#include <algorithm>
#include <cstring>

namespace fakehost {

namespace {
SizeConvention currentConvention = SizeConvention::WithTerminator;
}  // namespace

SizeConvention sizeConvention() { return currentConvention; }

ScopedSizeConvention::ScopedSizeConvention(SizeConvention convention) : previous_(currentConvention) {
    currentConvention = convention;
}

ScopedSizeConvention::~ScopedSizeConvention() { currentConvention = previous_; }

const char* conventionName(SizeConvention convention) {
    return convention == SizeConvention::WithTerminator ? "withTerminator" : "withoutTerminator";
}

ScriptedAnswer ScriptedAnswer::tooSmall(int size) {
    ScriptedAnswer a;
    a.kind = TooSmall;
    a.status = 2;
    a.size = size;
    return a;
}

ScriptedAnswer ScriptedAnswer::fail(int status) {
    ScriptedAnswer a;
    a.kind = Fail;
    a.status = status;
    return a;
}

ScriptedAnswer ScriptedAnswer::unterminated(std::string text) {
    ScriptedAnswer a;
    a.kind = Unterminated;
    a.text = std::move(text);
    return a;
}

ScriptedAnswer ScriptedAnswer::honest() { return ScriptedAnswer(); }

int FakeHostText::answer(char* buffer, int capacity, int& sizeOut) {
    ++calls;
    sizesOffered.push_back(capacity);
    ScriptedAnswer next;
    if (!script.empty()) {
        next = script.front();
        script.pop_front();
    } else if (always) {
        next = *always;
    }
    switch (next.kind) {
        case ScriptedAnswer::TooSmall:
            sizeOut = next.size;
            return 2;
        case ScriptedAnswer::Fail:
            return next.status;
        case ScriptedAnswer::Unterminated: {
            // Fill the whole buffer (the size told and the byte the plug-in
            // adds for a terminator), with no terminator.
            const size_t n = static_cast<size_t>(std::max(capacity, 0)) + 1;
            for (size_t i = 0; i < n; ++i) buffer[i] = next.text.empty() ? 'x' : next.text[i % next.text.size()];
            return 0;
        }
        case ScriptedAnswer::Honest:
            break;
    }
    if (!present) return 1;
    const int needed =
        static_cast<int>(value.size()) + (currentConvention == SizeConvention::WithTerminator ? 1 : 0);
    if (needed > capacity) {
        sizeOut = needed;
        return 2;
    }
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    return 0;
}

}  // namespace fakehost
