// The leading-integer reader behind "hostid", "MaxConcurrentUsers" and
// "Permission": no undefined behaviour on any length or byte.
#include <gtest/gtest.h>

#include "utils/LeadingInteger.h"

namespace {

TEST(LeadingInteger, ReadsSignAndDigitsUpToTheFirstOtherByte) {
    const struct {
        std::string text;
        LeadingInteger result;
        int32_t value;
    } cases[] = {
        {"56", LeadingInteger::Read, 56},
        {"-3x", LeadingInteger::Read, -3},
        {"+7", LeadingInteger::Read, 7},
        {"007", LeadingInteger::Read, 7},
        {"2147483647", LeadingInteger::Read, 2147483647},
        {"-2147483648", LeadingInteger::Read, INT32_MIN},
        {"2147483648", LeadingInteger::OutOfRange, 0},
        {"-2147483649", LeadingInteger::OutOfRange, 0},
        {"99999999999999999999999999999", LeadingInteger::OutOfRange, 0},
        {"", LeadingInteger::None, 0},
        {"-", LeadingInteger::None, 0},
        {"x1", LeadingInteger::None, 0},
        {" 1", LeadingInteger::None, 0},
        {"--1", LeadingInteger::None, 0},
        {std::string("\xff" "1", 2), LeadingInteger::None, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t value = 99;
        EXPECT_EQ(c.result, readLeadingInteger(c.text, value));
        EXPECT_EQ(c.result == LeadingInteger::Read ? c.value : 99, value);
        EXPECT_EQ(c.result == LeadingInteger::Read ? c.value : 0, leadingIntegerOrZero(c.text));
    }
}

}  // namespace
