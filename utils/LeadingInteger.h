// Reading the leading decimal integer of a text without undefined behaviour.
#pragma once

#include <cstdint>
#include <string>

enum class LeadingInteger {
    Read,        // `value` holds the number
    None,        // the text does not begin with digits (after one optional sign)
    OutOfRange   // the digits do not fit a 32-bit signed integer
};

// Reads an optional "+" or "-" and the digits that follow, stopping at the
// first other byte: "56" -> 56, "-3x" -> -3, "x1" -> None,
// "99999999999" -> OutOfRange. `value` is written only for Read.
LeadingInteger readLeadingInteger(const std::string& text, int32_t& value);

// The leading integer, or 0 when there is none or it does not fit.
int32_t leadingIntegerOrZero(const std::string& text);
