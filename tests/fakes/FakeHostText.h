// A text the fake host holds for one buffer read, and how it answers.
//
// By default it answers honestly: 0 and the NUL-terminated text when it fits
// the size it is told, else 2 and the size needed. Hosts count that size in
// one of two ways (SizeConvention): with the terminator (a text of n bytes
// needs n + 1) or without it (it needs n, and its NUL goes into the extra
// byte the plug-in's buffer has). A script of answers, used one per call,
// overrides that; `always`, once the script is spent, answers every further
// call (e.g. keep answering 2).
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace fakehost {

enum class SizeConvention { WithTerminator, WithoutTerminator };

// The convention every fake host text answers with; WithTerminator unless a
// ScopedSizeConvention is alive.
SizeConvention sizeConvention();

// Sets the convention for its lifetime, e.g. to run a lifecycle against a
// host that counts sizes without the terminator.
class ScopedSizeConvention {
public:
    explicit ScopedSizeConvention(SizeConvention convention);
    ~ScopedSizeConvention();
    ScopedSizeConvention(const ScopedSizeConvention&) = delete;
    ScopedSizeConvention& operator=(const ScopedSizeConvention&) = delete;

private:
    SizeConvention previous_;
};

const char* conventionName(SizeConvention convention);   // e.g. "withTerminator"

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

struct FakeHostText {
    std::string value;
    bool present = true;                  // absent texts fail with status 1
    std::deque<ScriptedAnswer> script;
    std::optional<ScriptedAnswer> always;
    int calls = 0;
    std::vector<int> sizesOffered;        // the size told on each call

    // One call under the buffer protocol: `capacity` is the size the caller
    // announced. Returns the status; on 2 sets `sizeOut`.
    int answer(char* buffer, int capacity, int& sizeOut);
};

}  // namespace fakehost
