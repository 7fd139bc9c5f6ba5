#include "harness/HostBuffers.h"

#include <climits>
#include <cstring>

namespace {

const int kTooSmall = 2;
const int kFailed = 1;

// Bytes the text needs with its NUL, or -1 when that exceeds `limit`.
long long neededBytes(const std::string& text, long long limit) {
    const long long needed = static_cast<long long>(text.size()) + 1;
    return needed > limit ? -1 : needed;
}

}  // namespace

int answerShortRead(const std::string& text, char* buffer, short* size) {
    if (size == nullptr) return kFailed;
    const long long needed = neededBytes(text, SHRT_MAX);
    if (needed < 0) return kFailed;
    if (buffer == nullptr || *size < needed) {
        *size = static_cast<short>(needed);
        return kTooSmall;
    }
    std::memcpy(buffer, text.c_str(), static_cast<size_t>(needed));
    return 0;
}

int answerIntRead(const std::string& text, char* buffer, int* size) {
    if (size == nullptr) return kFailed;
    const long long needed = neededBytes(text, INT_MAX);
    if (needed < 0) return kFailed;
    if (buffer == nullptr || *size < needed) {
        *size = static_cast<int>(needed);
        return kTooSmall;
    }
    std::memcpy(buffer, text.c_str(), static_cast<size_t>(needed));
    return 0;
}

int answerSizedRead(const std::string& text, char* buffer, int capacity) {
    const long long needed = neededBytes(text, INT_MAX);
    if (needed < 0) return -1;
    if (buffer == nullptr || capacity < needed) return static_cast<int>(needed);
    std::memcpy(buffer, text.c_str(), static_cast<size_t>(needed));
    return 0;
}
