// How the recording host answers one buffer read when a test scripts it.
//
// A ReadScript sits in front of a read: by default the host answers
// honestly (the in-memory host's answer); a script of answers, used one per
// call, overrides that; `always`, once the script is spent, answers every
// further call (e.g. keep answering 2). It counts the calls and keeps the
// size each was told. A FakeHostText is a script with its own text, for the
// reads whose answers a test sets outright (array lists, settings, values).
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace fakehost {

struct ScriptedAnswer {
    enum Kind { TooSmall, Fail, Unterminated, Honest };
    Kind kind = Honest;
    int status = 0;       // Fail: the status returned
    int size = 0;         // TooSmall: the size written back
    std::string text;     // Unterminated: bytes written without a NUL, over the whole buffer

    static ScriptedAnswer tooSmall(int size);
    static ScriptedAnswer fail(int status);
    static ScriptedAnswer unterminated(std::string text);
    static ScriptedAnswer honest();
};

struct ReadScript {
    bool present = true;                  // absent texts fail with status 1
    std::deque<ScriptedAnswer> script;
    std::optional<ScriptedAnswer> always;
    int calls = 0;
    std::vector<int> sizesOffered;        // the size told on each call

    // Counts one call whose caller announced `capacity`, and answers it when
    // the script has an answer or the text is absent: the status, with
    // `sizeOut` set on 2. Empty when the host is to answer honestly.
    std::optional<int> scripted(char* buffer, int capacity, int& sizeOut);
};

struct FakeHostText : ReadScript {
    std::string value;

    // One call under the buffer protocol: `capacity` is the size the caller
    // announced. Returns the status; on 2 sets `sizeOut`.
    int answer(char* buffer, int capacity, int& sizeOut);
};

}  // namespace fakehost
