// The growable text the messages are composed in: growth, appends of every
// kind, and what it does when no memory can be had.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "messages/message_sink.h"
#include "messages/messages.h"
#include "base/text.h"
#include "platform/sim/machine.h"
#include "sim_fixture.h"

namespace {

using ostrel::Text;
using sim::U8;

constexpr platform::DWORD kNoMemory = platform::ERROR_NOT_ENOUGH_MEMORY;

// The whole text, embedded terminators too.
std::u16string Whole(const Text& text) { return std::u16string(text.c_str(), text.size()); }

class TextTest : public ::testing::Test {
protected:
    // The n-th allocation from now on fails (0: every one).
    void FailAllocation(unsigned n)
    {
        machine.FailCall(sim::Fault::Nth("LocalAlloc", n == 0 ? 0 : machine.CallCount("LocalAlloc") + n, kNoMemory));
    }
    sim::Machine machine;
};

TEST_F(TextTest, AnEmptyTextHoldsNoMemoryAndReadsAsTheEmptyText)
{
    const Text text;
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(text.size(), 0U);
    EXPECT_FALSE(text.failed());
    EXPECT_EQ(U8(text.c_str()), "");
    EXPECT_EQ(machine.CallCount("LocalAlloc"), 0U);
}

struct GrowthCase {
    const char* name;
    std::vector<std::u16string> pieces;
};

void PrintTo(const GrowthCase& c, std::ostream* out) { *out << c.name; }

const std::u16string kLongPiece(1000, u'L');

const GrowthCase kGrowthCases[] = {
    {"OneShortPiece", {u"abc"}},
    {"EmptyPiecesAddNothing", {u"", u"a", u"", u"b", u""}},
    {"APiecePastTheFirstRoom", {u"start ", kLongPiece}},
    {"PiecesThatFillTheRoomExactly", {std::u16string(128, u'x'), u"y", std::u16string(127, u'z')}},
    {"OneLongPieceFirst", {kLongPiece, u"!"}},
    {"EmbeddedTerminators", {std::u16string(u"a\0b", 3), std::u16string(1, u'\0'), u"c"}},
};

class TextGrowthTest : public TextTest, public ::testing::WithParamInterface<GrowthCase> {};

TEST_P(TextGrowthTest, GrowsToHoldEveryAppendInOrderAndIsAlwaysTerminated)
{
    std::u16string expected;
    {
        Text text;
        for (const std::u16string& piece : GetParam().pieces) {
            EXPECT_TRUE(text.append(piece.data(), piece.size()));
            expected += piece;
            ASSERT_EQ(Whole(text), expected);
            EXPECT_EQ(text.c_str()[text.size()], u'\0');
        }
        EXPECT_EQ(text.empty(), expected.empty());
        EXPECT_FALSE(text.failed());
    }
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

INSTANTIATE_TEST_SUITE_P(Text, TextGrowthTest, ::testing::ValuesIn(kGrowthCases), ostrel_test::CaseName());

TEST_F(TextTest, UnitsTerminatedTextsAndNullAppendAlike)
{
    Text text;
    EXPECT_TRUE(text.append(u'['));
    EXPECT_TRUE(text.append(u"middle"));
    EXPECT_TRUE(text.append(static_cast<const char16_t*>(nullptr)));
    EXPECT_TRUE(text.append(u"]tail", 1));
    EXPECT_TRUE(text.append(" narrow"));
    EXPECT_TRUE(text.append(static_cast<const char*>(nullptr)));
    EXPECT_TRUE(text.append(""));
    EXPECT_EQ(U8(text.c_str()), "[middle] narrow");
    EXPECT_EQ(text.c_str()[text.size()], u'\0');
}

// Narrow words widen unit for unit, every ASCII code keeping its value, and
// grow the text as wide ones do.
TEST_F(TextTest, NarrowAppendsWidenEachByteAndGrowTheText)
{
    std::string ascii;
    for (int round = 0; round < 3; ++round)
        for (char c = 1; c > 0; ++c) ascii.push_back(c);
    Text text;
    ASSERT_TRUE(text.append(u"w"));
    ASSERT_TRUE(text.append(ascii.c_str()));
    ASSERT_EQ(text.size(), 1 + ascii.size());
    for (std::size_t i = 0; i < ascii.size(); ++i)
        ASSERT_EQ(text.c_str()[1 + i], static_cast<char16_t>(ascii[i])) << "unit " << i;
    EXPECT_EQ(text.c_str()[text.size()], u'\0');
    EXPECT_EQ(machine.LiveAllocations(), 1U) << "the old room is released on growth";
}

TEST_F(TextTest, ManySmallAppendsNeedFewAllocations)
{
    Text text;
    for (int i = 0; i < 5000; ++i) ASSERT_TRUE(text.append(static_cast<char16_t>(u'a' + i % 26)));
    EXPECT_EQ(text.size(), 5000U);
    EXPECT_EQ(text.c_str()[4999], u'a' + 4999 % 26);
    EXPECT_LE(machine.CallCount("LocalAlloc"), 8U) << "the room grows by doubling";
    EXPECT_EQ(machine.LiveAllocations(), 1U) << "the old room is released on each growth";
}

TEST_F(TextTest, AppendingItsOwnTextWhileGrowingReadsTheUnitsBeforeTheyAreReleased)
{
    Text text;
    ASSERT_TRUE(text.append(std::u16string(100, u'q').c_str()));
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(text.append(text.c_str(), text.size()));
    EXPECT_EQ(Whole(text), std::u16string(1600, u'q'));
}

TEST_F(TextTest, ReservedRoomTakesAppendsWithoutAllocating)
{
    Text text;
    ASSERT_TRUE(text.reserve(300));
    const unsigned allocations = machine.CallCount("LocalAlloc");
    FailAllocation(0);
    EXPECT_TRUE(text.append(std::u16string(299, u'r').c_str()));
    EXPECT_TRUE(text.append(u'!'));
    EXPECT_EQ(text.size(), 300U);
    EXPECT_EQ(machine.CallCount("LocalAlloc"), allocations);
    EXPECT_TRUE(text.reserve(10)) << "less than it has";
}

struct FailureCase {
    const char* name;
    unsigned failingAllocation;  // counted from the first append below; 0: every one
    const char* kept;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

const FailureCase kFailureCases[] = {
    {"FirstRoom", 1, ""},
    {"Growth", 2, "one two "},
    {"EveryAllocation", 0, ""},
};

class TextFailureTest : public TextTest, public ::testing::WithParamInterface<FailureCase> {};

// Three appends: the first makes room, the second (narrow) fits it, the
// third grows.
TEST_P(TextFailureTest, WithoutMemoryItKeepsWhatItHadAndRefusesEveryLaterAppend)
{
    const FailureCase& c = GetParam();
    FailAllocation(c.failingAllocation);
    Text text;
    text.append(u"one ");
    text.append("two ");
    EXPECT_FALSE(text.append(std::u16string(200, u'3').c_str()));
    EXPECT_TRUE(text.failed());
    EXPECT_EQ(U8(Whole(text)), c.kept);

    // Memory is back, but the text would have a hole: it stays as it was.
    const unsigned allocations = machine.CallCount("LocalAlloc");
    EXPECT_FALSE(text.append(u'x'));
    EXPECT_FALSE(text.append(u"more"));
    EXPECT_FALSE(text.append("narrow"));
    EXPECT_FALSE(text.reserve(1000));
    EXPECT_EQ(U8(Whole(text)), c.kept);
    EXPECT_EQ(machine.CallCount("LocalAlloc"), allocations) << "a failed text asks for no memory";
    EXPECT_EQ(text.c_str()[text.size()], u'\0');
}

INSTANTIATE_TEST_SUITE_P(Text, TextFailureTest, ::testing::ValuesIn(kFailureCases), ostrel_test::CaseName());

TEST_F(TextTest, ClearForgetsTheFailureAndKeepsTheRoom)
{
    Text text;
    ASSERT_TRUE(text.append(u"kept room"));
    FailAllocation(0);
    EXPECT_FALSE(text.append(std::u16string(500, u'x').c_str()));
    ASSERT_TRUE(text.failed());
    text.clear();
    EXPECT_FALSE(text.failed());
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(U8(text.c_str()), "");
    EXPECT_TRUE(text.append(u"again"));
    EXPECT_EQ(U8(text.c_str()), "again");
}

TEST_F(TextTest, AnAppendTooLargeForAnyMemoryFailsWithoutAskingForIt)
{
    Text text;
    ASSERT_TRUE(text.append(u"ab"));
    const unsigned allocations = machine.CallCount("LocalAlloc");
    const char16_t unit = u'x';
    EXPECT_FALSE(text.append(&unit, static_cast<std::size_t>(-1)));
    EXPECT_TRUE(text.failed());
    EXPECT_EQ(U8(text.c_str()), "ab");
    Text other;
    EXPECT_FALSE(other.reserve(static_cast<std::size_t>(-1) / 2));
    EXPECT_EQ(machine.CallCount("LocalAlloc"), allocations);
}

TEST_F(TextTest, AMovedTextTakesItsMemoryAlong)
{
    Text first;
    ASSERT_TRUE(first.append(u"moved"));
    Text second(std::move(first));
    EXPECT_EQ(U8(second.c_str()), "moved");
    Text third;
    ASSERT_TRUE(third.append(u"replaced"));
    third = std::move(second);
    EXPECT_EQ(U8(third.c_str()), "moved");
    EXPECT_EQ(machine.LiveAllocations(), 1U) << "the replaced text's memory is released";
}

// --- Composed messages without memory --------------------------------------

struct ReportCase {
    const char* name;
    unsigned failingAllocation;  // 1: the catalogue text, 2: the report's room, 3: its growth; 0: all
    const char* shown;
};

void PrintTo(const ReportCase& c, std::ostream* out) { *out << c.name; }

const ReportCase kReportCases[] = {
    {"NoAllocationFails", 99, "Open of service Spooler2 failed.\n"},
    {"TheCatalogueText", 1, "\n"},
    {"TheReportsRoom", 2, ""},
    {"TheLineFeedsGrowth", 3, ""},
    {"EveryAllocation", 0, ""},
};

class ReportWithoutMemoryTest : public TextTest, public ::testing::WithParamInterface<ReportCase> {};

// The system's text alone, or the report with no catalogue text: never a
// report that is cut short.
TEST_P(ReportWithoutMemoryTest, AReportShowsTheSystemTextWhenItCannotBeComposed)
{
    const ReportCase& c = GetParam();
    FailAllocation(c.failingAllocation);
    ostrel::BoxSink boxes(u"Ostrel Setup Utility");
    ostrel::RunContext run(boxes, u"");
    EXPECT_TRUE(ostrel::Report(run, ostrel::Result::Failure(platform::ERROR_SERVICE_DOES_NOT_EXIST),
                               ostrel::kMsgOpenServiceFailed, u"Spooler2")
                    .Reported());
    ASSERT_EQ(machine.boxes.size(), 1U);
    EXPECT_EQ(U8(machine.boxes[0].text), c.shown + std::string(ostrel_test::kNoSuchServiceText));
    EXPECT_EQ(machine.boxes[0].type, platform::MB_ICONERROR);
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

INSTANTIATE_TEST_SUITE_P(Composing, ReportWithoutMemoryTest, ::testing::ValuesIn(kReportCases),
                         ostrel_test::CaseName());

TEST(ComposingWithoutMemory, AFormattedMessageIsWholeOrLeftAsItWas)
{
    for (unsigned failing : {1U, 2U}) {
        SCOPED_TRACE(failing);
        sim::Machine fresh;
        fresh.FailCall(sim::Fault::Nth("LocalAlloc", failing, kNoMemory));
        Text result;
        ostrel::FormatCatalogueMessage(result, ostrel::kMsgNewerDriverExists, u"PCI\\VEN");
        EXPECT_TRUE(result.empty());
        EXPECT_EQ(result.failed(), failing == 2) << "only the result's own allocation marks it";
    }
}

class CatalogueWithoutMemory : public ostrel_test::SimFixture {};

TEST_F(CatalogueWithoutMemory, IsNoTextAndAnEmptyBox)
{
    machine.FailCall(sim::Fault::Every("LocalAlloc", kNoMemory));
    Text text;
    EXPECT_FALSE(ostrel::LoadCatalogueText(ostrel::kMsgRebootRequired, text));
    EXPECT_FALSE(text.failed());
    ostrel::ShowCatalogueMessage(run, ostrel::kMsgRebootRequired, platform::MB_ICONINFORMATION);
    EXPECT_EQ(Boxes(), std::vector<ostrel_test::Box>{ostrel_test::InformationBox("")});
}

}  // namespace
