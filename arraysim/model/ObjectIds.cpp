#include "arraysim/model/ObjectIds.h"

namespace arraymodel {
namespace {

const char kLowerHex[] = "0123456789abcdef";
const char kUpperHex[] = "0123456789ABCDEF";
const char kSeparator[] = ":::";
const char kServerTail[] = ":::0:::OID_$#!@%_V";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// FNV-1a over the bytes, then mixed with the serial (splitmix64), so IDs of
// different arrays differ and IDs of one array never repeat.
uint64_t mix(uint64_t z) {
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

uint64_t nameHash(const std::string& name) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : name) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

void appendHex(std::string& out, uint64_t value, int digits, const char* alphabet) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out += alphabet[(value >> shift) & 0xF];
    }
}

}  // namespace

std::string hexEncode(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (unsigned char c : text) {
        out += kLowerHex[c >> 4];
        out += kLowerHex[c & 0xF];
    }
    return out;
}

bool hexDecode(const std::string& hex, std::string& text) {
    if (hex.size() % 2 != 0) return false;
    std::string out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
    }
    text = out;
    return true;
}

std::string virtualServerObjectId(uint64_t virtualServerId) {
    return hexEncode(std::to_string(virtualServerId) + kSeparator + kServerTail);
}

std::string fileSystemObjectId(const std::string& fileSystemId) {
    return hexEncode(fileSystemId + kServerTail);
}

std::string shareObjectId(uint64_t virtualServerId, const std::string& shareId) {
    return hexEncode(std::to_string(virtualServerId) + kSeparator + shareId + kServerTail);
}

std::string snapshotObjectId(const std::string& fileSystemId, const std::string& storedName) {
    return hexEncode(fileSystemId + kSeparator + storedName + kSeparator + kServerTail);
}

std::string mintFileSystemId(const std::string& arrayName, uint64_t serial) {
    const uint64_t high = mix(nameHash(arrayName) ^ serial);
    const uint64_t low = mix(high ^ serial);
    std::string out;
    appendHex(out, high, 16, kUpperHex);
    appendHex(out, low, 16, kUpperHex);
    return out;
}

std::string mintUuid(const std::string& arrayName, uint64_t serial) {
    const uint64_t high = mix(nameHash(arrayName) + serial);
    const uint64_t low = mix(high + serial);
    std::string out;
    appendHex(out, high >> 32, 8, kLowerHex);
    out += '-';
    appendHex(out, (high >> 16) & 0xFFFF, 4, kLowerHex);
    out += '-';
    appendHex(out, 0x4000 | (high & 0x0FFF), 4, kLowerHex);
    out += '-';
    appendHex(out, 0x8000 | ((low >> 48) & 0x3FFF), 4, kLowerHex);
    out += '-';
    appendHex(out, low & 0xFFFFFFFFFFFFULL, 12, kLowerHex);
    return out;
}

bool isFileSystemIdForm(const std::string& id) {
    if (id.size() != 32) return false;
    for (char c : id) {
        if (hexValue(c) < 0) return false;
    }
    return true;
}

}  // namespace arraymodel
