#include "harness/framework/RandomText.h"

#include <unistd.h>

#include <ctime>

#include "harness/framework/PrivateFiles.h"

RandomBlock randomBlock() {
    RandomBlock bytes = {};
    if (readRandomBytes(bytes.data(), bytes.size())) return bytes;
    unsigned long long seed = static_cast<unsigned long long>(time(nullptr)) * 1000003ULL + getpid();
    for (unsigned char& b : bytes) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        b = static_cast<unsigned char>(seed >> 56);
    }
    return bytes;
}

std::string hexText(const unsigned char* bytes, size_t count) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * count);
    for (size_t i = 0; i < count; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0f];
    }
    return text;
}
