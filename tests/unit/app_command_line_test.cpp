// The pure pieces of the command-line reader: program name, words, tokens.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "platform/sim/text.h"

namespace {

using ostrel::CopyToken;
using ostrel::NextToken;

struct ProgramNameCase {
    std::u16string whole;
    std::u16string arguments;
};

TEST(SkipProgramName, LeavesTheTextAfterTheNameAndTheControlCharactersAfterIt)
{
    const std::vector<ProgramNameCase> cases = {
        {u"\"C:\\My Tools\\OstrelSetup.exe\" help", u"help"},
        {u"\"C:\\My Tools\\OstrelSetup.exe\"", u""},
        {u"\"C:\\Tools\\OstrelSetup.exe\"help", u"help"},
        {u"\"C:\\My Tools\\OstrelSetup.exe", u""},  // no closing quotation mark
        {u"OstrelSetup.exe /de ", u"/de "},         // blanks at the end stay
        {u"OstrelSetup.exe", u""},
        {u"OstrelSetup.exe\thelp", u"help"},
        {u"OstrelSetup.exe \t\x01\x1F  help", u"help"},
        {u"OstrelSetup.exe \x7F", u"\x7F"},
        {u"", u""},
    };
    for (const ProgramNameCase& c : cases) {
        EXPECT_EQ(std::u16string(ostrel::SkipProgramName(c.whole.c_str())), c.arguments) << sim::U8(c.whole);
    }
}

TEST(Words, FoldOnlyTheLettersAToZ)
{
    EXPECT_TRUE(ostrel::EqualsWord(u"HeLP", "help"));
    EXPECT_TRUE(ostrel::StartsWithWord(u"INSTALL DEVICE x", "install device "));
    EXPECT_FALSE(ostrel::EqualsWord(u"help ", "help"));
    EXPECT_FALSE(ostrel::EqualsWord(u"hel", "help"));
    EXPECT_FALSE(ostrel::StartsWithWord(u"install device", "install device "));  // text ends first
    // Letters outside A to Z keep their code: a dotted capital I is no i,
    // and the sharp s, the umlauts and the fullwidth letters do not fold.
    EXPECT_FALSE(ostrel::EqualsWord(u"\u0130nstall", "install"));
    EXPECT_FALSE(ostrel::EqualsWord(u"\uFF28ELP", "help"));
    EXPECT_EQ(ostrel::FoldLetter(u'\u00C4'), u'\u00C4');
    EXPECT_EQ(ostrel::FoldLetter(u'@'), u'@');
    EXPECT_EQ(ostrel::FoldLetter(u'['), u'[');
    EXPECT_EQ(ostrel::FoldLetter(u'Z'), u'z');
}

struct TokenWalkCase {
    std::u16string argumentList;
    std::vector<std::u16string> arguments;
};

std::vector<std::u16string> AllTokens(const std::u16string& list)
{
    std::vector<std::u16string> tokens;
    for (const char16_t* position = list.c_str(); position != nullptr; position = NextToken(position))
        tokens.emplace_back(CopyToken(position));
    return tokens;
}

TEST(Tokens, BlankRunsSeparateArgumentsAndALeadingBlankGivesAnEmptyOne)
{
    const std::vector<TokenWalkCase> cases = {
        {u"A", {u"A"}},
        {u"A B", {u"A", u"B"}},
        {u"A   B", {u"A", u"B"}},
        {u"A B   ", {u"A", u"B"}},
        {u" A", {u"", u"A"}},
        {u"   A", {u"", u"A"}},
        {u" ", {u""}},
        {u"A\tB", {u"A\tB"}},
        {u"PCI\\VEN_8086&DEV_1234 ROOT\\X", {u"PCI\\VEN_8086&DEV_1234", u"ROOT\\X"}},
    };
    for (const TokenWalkCase& c : cases) EXPECT_EQ(AllTokens(c.argumentList), c.arguments) << sim::U8(c.argumentList);
}

TEST(Tokens, CopyTokenReusesOneBufferAndStopsAtTheFirstBlank)
{
    const char16_t* first = CopyToken(u"Alpha Beta");
    EXPECT_EQ(std::u16string(first), u"Alpha");
    const char16_t* second = CopyToken(u"Gamma");
    EXPECT_EQ(second, first);
    EXPECT_EQ(std::u16string(second), u"Gamma");
    EXPECT_EQ(NextToken(u"Alpha"), nullptr);
}

TEST(Tokens, AnArgumentLongerThanTheBufferIsRefusedAndTheBufferKept)
{
    const std::u16string fits(255, u'x');
    const std::u16string tooLong(256, u'y');

    ASSERT_NE(CopyToken(fits.c_str()), nullptr);
    EXPECT_EQ(std::u16string(CopyToken(fits.c_str())), fits);

    const char16_t* buffer = CopyToken(u"Kept");
    EXPECT_EQ(CopyToken((tooLong + u" B").c_str()), nullptr);
    EXPECT_EQ(std::u16string(buffer), u"Kept");
}

struct WaitCase {
    std::u16string commandLine;
    bool read;  // false: refused
    unsigned long seconds;
    std::u16string rest;  // where the reader stopped
};

TEST(WaitOption, TakesAWholeNumberOfSecondsUpToADayFollowedByABlankOrTheEnd)
{
    const std::vector<WaitCase> cases = {
        {u"/wait 30 stop service S", true, 30, u"stop service S"},
        {u"/WAIT 0", true, 0, u""},
        {u"/wait 86400 /quiet", true, 86400, u""},
        {u"/wait 007 x", true, 7, u"x"},
        {u"/wait 86401 x", false, 0, u""},
        {u"/wait 99999999999999999999 x", false, 0, u""},
        {u"/wait x", false, 0, u""},
        {u"/wait  30", false, 0, u""},
        {u"/wait -1 x", false, 0, u""},
        {u"/wait 30s x", false, 0, u""},
        {u"/wait", true, 0, u"/wait"},  // no option without its blank: an unknown word
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(sim::U8(c.commandLine));
        ostrel::InfPathBuffer inf{};
        ostrel::Options options(inf);
        ostrel::CommandLineFault fault;
        const char16_t* cursor = ostrel::ReadOptions(c.commandLine.c_str(), options, fault);
        ASSERT_EQ(cursor != nullptr, c.read);
        if (!c.read) continue;
        EXPECT_EQ(std::u16string(cursor), c.rest);
        EXPECT_EQ(options.hasWait, c.rest != u"/wait");
        EXPECT_EQ(options.waitSeconds, c.seconds);
    }
}

}  // namespace
