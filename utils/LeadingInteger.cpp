#include "utils/LeadingInteger.h"

#include <limits>

LeadingInteger readLeadingInteger(const std::string& text, int32_t& value) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return LeadingInteger::None;

    // Accumulate the magnitude in 64 bits and stop as soon as it leaves the
    // 32-bit range, so that any number of digits is safe.
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : static_cast<int64_t>(std::numeric_limits<int32_t>::max());
    int64_t magnitude = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > limit) return LeadingInteger::OutOfRange;
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return LeadingInteger::Read;
}

int32_t leadingIntegerOrZero(const std::string& text) {
    int32_t value = 0;
    return readLeadingInteger(text, value) == LeadingInteger::Read ? value : 0;
}
