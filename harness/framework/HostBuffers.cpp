#include "harness/framework/HostBuffers.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

const int kTooSmall = 2;
const int kFailed = 1;

// The size a text needs as this host counts it: with its NUL, or (with
// HNAS_HOST_SIZE_WITHOUT_NUL=1) without it, the NUL then going into the
// byte the plug-in adds to every buffer.
bool countsWithoutNul() {
    const char* value = std::getenv(kHostSizeWithoutNulVariable);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

// The size the text needs, or -1 when that exceeds `limit`.
long long neededSize(const std::string& text, long long limit) {
    const long long needed = static_cast<long long>(text.size()) + (countsWithoutNul() ? 0 : 1);
    return needed > limit ? -1 : needed;
}

// Writes the text and its NUL: at most `told` + 1 bytes, the room the
// plug-in gives for a size of `told`.
void writeText(const std::string& text, char* buffer) { std::memcpy(buffer, text.c_str(), text.size() + 1); }

}  // namespace

int answerShortRead(const std::string& text, char* buffer, short* size) {
    if (size == nullptr) return kFailed;
    const long long needed = neededSize(text, SHRT_MAX);
    if (needed < 0) return kFailed;
    if (buffer == nullptr || *size < needed) {
        *size = static_cast<short>(needed);
        return kTooSmall;
    }
    writeText(text, buffer);
    return 0;
}

int answerIntRead(const std::string& text, char* buffer, int* size) {
    if (size == nullptr) return kFailed;
    const long long needed = neededSize(text, INT_MAX);
    if (needed < 0) return kFailed;
    if (buffer == nullptr || *size < needed) {
        *size = static_cast<int>(needed);
        return kTooSmall;
    }
    writeText(text, buffer);
    return 0;
}

int answerSizedRead(const std::string& text, char* buffer, int capacity) {
    const long long needed = neededSize(text, INT_MAX);
    if (needed < 0) return -1;
    if (buffer == nullptr || capacity < needed) return static_cast<int>(needed);
    writeText(text, buffer);
    return 0;
}
