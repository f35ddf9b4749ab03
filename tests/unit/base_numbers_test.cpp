// A number's digits in base 10 and 16, across the whole 64-bit range: the
// division works in 16-bit steps, so every step boundary is crossed here.
#include <gtest/gtest.h>

#include <string>

#include "base/numbers.h"
#include "sim_fixture.h"

namespace {

struct DigitsCase {
    const char* name;
    unsigned long long value;
    unsigned base;
    unsigned minDigits;
    std::u16string digits;
};

void PrintTo(const DigitsCase& c, std::ostream* out) { *out << c.name; }

const DigitsCase kDigitsCases[] = {
    {"Zero", 0, 10, 1, u"0"},
    {"ZeroPadded", 0, 16, 8, u"00000000"},
    {"PaddedYear", 7, 10, 4, u"0007"},
    {"LongerThanThePadding", 123456, 10, 2, u"123456"},
    {"LargestDword", 0xFFFFFFFFULL, 10, 1, u"4294967295"},
    {"FirstBeyondADword", 0x100000000ULL, 10, 1, u"4294967296"},
    {"SetupApiCodeInHex", 0xE000020BULL, 16, 8, u"E000020B"},
    {"EveryStepInHex", 0x0123456789ABCDEFULL, 16, 1, u"123456789ABCDEF"},
    {"RemaindersCarriedAcrossSteps", 0xFFFF0000FFFF0000ULL, 10, 1, u"18446462603027742720"},
    {"LargestValue", 0xFFFFFFFFFFFFFFFFULL, 10, 1, u"18446744073709551615"},
    {"LargestValueInHex", 0xFFFFFFFFFFFFFFFFULL, 16, 1, u"FFFFFFFFFFFFFFFF"},
    {"LargestValueInBinary", 0xFFFFFFFFFFFFFFFFULL, 2, 1, std::u16string(64, u'1')},
    {"UnknownBaseIsDecimal", 255, 40, 1, u"255"},
};

class DigitsTest : public ::testing::TestWithParam<DigitsCase> {};

TEST_P(DigitsTest, WritesEveryDigitOfTheValue)
{
    const DigitsCase& c = GetParam();
    const ostrel::Digits digits(c.value, c.base, c.minDigits);
    EXPECT_EQ(std::u16string(digits.c_str(), digits.size()), c.digits);
    EXPECT_EQ(digits.c_str()[digits.size()], u'\0');
}

INSTANTIATE_TEST_SUITE_P(Numbers, DigitsTest, ::testing::ValuesIn(kDigitsCases), ostrel_test::CaseName());

}  // namespace
