#include "harness/framework/SnapshotOwnership.h"

#include "harness/framework/ArrayAccess.h"
#include "harness/framework/RandomText.h"

namespace {

const size_t kUuidLength = 36;   // 8-4-4-4-12
const size_t kIdentityOffset = 24;

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// "8-4-4-4-12" hex digits with dashes, lower case as newSnapUuid writes them.
bool hasUuidShape(const std::string& text, size_t at) {
    if (text.size() < at + kUuidLength) return false;
    for (size_t i = 0; i < kUuidLength; ++i) {
        const char c = text[at + i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !isHex(c)) return false;
    }
    return true;
}

}  // namespace

bool isStoreIdentity(const std::string& text) {
    if (text.size() != kStoreIdentityBytes * 2) return false;
    for (const char c : text)
        if (!isHex(c)) return false;
    return true;
}

std::string newSnapUuid(const std::string& storeIdentity) {
    RandomBlock bytes = randomBlock();
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);   // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);   // RFC 4122 variant
    const unsigned char* b = bytes.data();
    return hexText(b, 4) + "-" + hexText(b + 4, 2) + "-" + hexText(b + 6, 2) + "-" + hexText(b + 8, 2) + "-" +
           storeIdentity;
}

bool madeByStore(const std::string& snapshotName, const std::string& storeIdentity) {
    return snapshotName.compare(0, kOwnSnapshotPrefix.size(), kOwnSnapshotPrefix) == 0 &&
           uuidOfStore(snapUuidIn(snapshotName), storeIdentity);
}

std::string snapUuidIn(const std::string& text) {
    const size_t prefix = kOwnSnapshotPrefix.size();
    if (text.size() == kUuidLength && hasUuidShape(text, 0)) return text;
    if (text.compare(0, prefix, kOwnSnapshotPrefix) == 0 && hasUuidShape(text, prefix) &&
        text.size() > prefix + kUuidLength + 1 && text[prefix + kUuidLength] == '-')
        return text.substr(prefix, kUuidLength);
    return std::string();
}

bool uuidOfStore(const std::string& snapUuid, const std::string& storeIdentity) {
    return isStoreIdentity(storeIdentity) && snapUuid.size() == kUuidLength &&
           snapUuid.compare(kIdentityOffset, storeIdentity.size(), storeIdentity) == 0;
}
