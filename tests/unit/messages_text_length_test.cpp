// The length of a terminated text, with and without a bound.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "base/text.h"
#include "sim_fixture.h"

namespace {

constexpr std::size_t kNoBound = static_cast<std::size_t>(-1);
constexpr char16_t kUnterminated[] = {u'a', u'b', u'c'};

struct LengthCase {
    const char* name;
    const char16_t* text;
    std::size_t most;
    std::size_t length;
};

class TextLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(TextLength, CountsUpToTheTerminatorAndNoFurtherThanTheBound)
{
    EXPECT_EQ(ostrel::TextLength(GetParam().text, GetParam().most), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(Cases, TextLength,
                         ::testing::Values(LengthCase{"empty", u"", kNoBound, 0},
                                           LengthCase{"unbounded", u"abc", kNoBound, 3},
                                           LengthCase{"inner_terminator", u"ab\0c", kNoBound, 2},
                                           LengthCase{"bound_at_the_terminator", u"abc", 3, 3},
                                           LengthCase{"bound_before_the_terminator", u"abcd", 3, 3},
                                           LengthCase{"no_terminator_within_the_bound", kUnterminated, 3, 3},
                                           LengthCase{"bound_zero", u"abc", 0, 0}),
                         ostrel_test::CaseName());

}  // namespace
