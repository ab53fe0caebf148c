#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "app/convert.h"

namespace {

struct NumberCase {
    const char* text;
    std::int32_t value;
};

class NumberRule : public testing::TestWithParam<NumberCase> {};

TEST_P(NumberRule, ReadsTheTextLeniently) {
    EXPECT_EQ(parseDimension(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

constexpr std::int32_t int32Min = std::numeric_limits<std::int32_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Texts, NumberRule,
    testing::Values(NumberCase{"40", 40}, NumberCase{"  +40", 40}, NumberCase{"40px", 40},
                    NumberCase{"-5", -5}, NumberCase{"abc", 0}, NumberCase{"", 0},
                    NumberCase{"- 5", 0}, NumberCase{"0x20", 0}, NumberCase{"4294967336", 40},
                    NumberCase{" \t\n\v\f\r7", 7}, NumberCase{"+-5", 0}, NumberCase{"--5", 0},
                    NumberCase{"\xA0"
                               "5",
                               0},
                    NumberCase{"2147483647", 2147483647}, NumberCase{"2147483648", int32Min},
                    NumberCase{"-2147483648", int32Min}, NumberCase{"4294967295", -1},
                    NumberCase{"-4294967295", 1}, NumberCase{"0000000000000000000000012", 12},
                    // 10^20 mod 2^32 = 1661992960: long texts wrap, they never overflow
                    NumberCase{"100000000000000000000", 1661992960}, NumberCase{"12 34", 12},
                    NumberCase{" + 3", 0}));

}  // namespace
