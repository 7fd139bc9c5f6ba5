#include "hostkit/HostBuffers.h"

#include <climits>
#include <cstring>

namespace hostkit {

namespace {

const int kTooSmall = 2;
const int kFailed = 1;

SizeConvention currentConvention = SizeConvention::WithTerminator;

// The size the text needs as the convention counts it, or -1 when that
// exceeds `limit`.
long long neededSize(const std::string& text, long long limit) {
    const long long needed =
        static_cast<long long>(text.size()) + (currentConvention == SizeConvention::WithTerminator ? 1 : 0);
    return needed > limit ? -1 : needed;
}

// Writes the text and its NUL: at most `told` + 1 bytes, the room the
// plug-in gives for a size of `told`.
void writeText(const std::string& text, char* buffer) { std::memcpy(buffer, text.c_str(), text.size() + 1); }

// A read whose size travels in and out through `size`, of a type that
// holds at most `limit`.
template <class Size>
int answerRead(const std::string& text, char* buffer, Size* size, long long limit) {
    if (size == nullptr) return kFailed;
    const long long needed = neededSize(text, limit);
    if (needed < 0) return kFailed;
    if (buffer == nullptr || *size < needed) {
        *size = static_cast<Size>(needed);
        return kTooSmall;
    }
    writeText(text, buffer);
    return 0;
}

}  // namespace

SizeConvention sizeConvention() { return currentConvention; }

ScopedSizeConvention::ScopedSizeConvention(SizeConvention convention) : previous_(currentConvention) {
    currentConvention = convention;
}

ScopedSizeConvention::~ScopedSizeConvention() { currentConvention = previous_; }

const char* conventionName(SizeConvention convention) {
    return convention == SizeConvention::WithTerminator ? "withTerminator" : "withoutTerminator";
}

int answerShortRead(const std::string& text, char* buffer, short* size) {
    return answerRead(text, buffer, size, SHRT_MAX);
}

int answerIntRead(const std::string& text, char* buffer, int* size) { return answerRead(text, buffer, size, INT_MAX); }

int answerSizedRead(const std::string& text, char* buffer, int capacity) {
    const long long needed = neededSize(text, INT_MAX);
    if (needed < 0) return -1;
    if (buffer == nullptr || capacity < needed) return static_cast<int>(needed);
    writeText(text, buffer);
    return 0;
}

}  // namespace hostkit
