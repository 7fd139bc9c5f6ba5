#include "tests/fakes/FakeHostText.h"

#include <algorithm>

#include "hostkit/HostBuffers.h"

namespace fakehost {

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

std::optional<int> ReadScript::scripted(char* buffer, int capacity, int& sizeOut) {
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
    return std::nullopt;
}

int FakeHostText::answer(char* buffer, int capacity, int& sizeOut) {
    if (const std::optional<int> status = scripted(buffer, capacity, sizeOut)) return *status;
    int size = capacity;
    const int status = hostkit::answerIntRead(value, buffer, &size);
    if (status == 2) sizeOut = size;
    return status;
}

}  // namespace fakehost
