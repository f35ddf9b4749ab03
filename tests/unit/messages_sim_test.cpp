// What only the simulated machine can be set up to show of its resource,
// kernel and message-box calls: other user-interface languages, blocks
// missing from the module, pointers that are no resource or no local memory,
// a failing allocation, recorded boxes. The rest of their contracts are
// cases of tests/contract, run under Wine too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): these tests speak Win32
using sim::U8;

constexpr DWORD kSeed = 0xDEADBEEF;

class SimCalls : public ::testing::Test {
protected:
    SimCalls() { machine.lastError = kSeed; }
    sim::Machine machine;
};

LPCWSTR Block(WORD number) { return MakeIntResource(number); }
LPCWSTR StringType() { return MakeIntResource(RT_STRING_ID); }

// The language of the block a handle stands for, read from its first text
// (block 1's entry 2): "I" for English, "U" for German.
char16_t FirstLetterOfMessage2(HRSRC resource)
{
    const auto* units = static_cast<const char16_t*>(LockResource(LoadResource(nullptr, resource)));
    return units[3];  // counts 0, 0, then message 2's count and its first unit
}

// --- Resources -------------------------------------------------------------

struct NeutralCase {
    LANGID uiLanguage;
    char16_t firstLetter;
};

TEST_F(SimCalls, TheNeutralLookupFollowsTheUiLanguageThenEnglish)
{
    machine.threadLocale = LOCALE_GERMAN_AUSTRIA;  // ignored, as on Windows Vista and later
    const std::vector<NeutralCase> cases = {{0x0409, u'I'}, {0x0C07, u'U'}, {0x040C, u'I'}, {0x0407, u'I'}};
    for (const NeutralCase& c : cases) {
        machine.uiLanguage = c.uiLanguage;
        const HRSRC found = FindResourceW(nullptr, Block(1), StringType());
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(FirstLetterOfMessage2(found), c.firstLetter) << std::hex << c.uiLanguage;
    }
    EXPECT_EQ(machine.lastError, kSeed);
}

TEST_F(SimCalls, TheNeutralLookupTakesAnyLanguageTheBlockHasLast)
{
    machine.stringBlocks.erase({1, 0x0409});
    machine.uiLanguage = 0x040C;
    const HRSRC found = FindResourceW(nullptr, Block(1), StringType());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(FirstLetterOfMessage2(found), u'U');
}

TEST_F(SimCalls, OnlyTheProgramsOwnModuleHasResources)
{
    EXPECT_EQ(FindResourceExW(reinterpret_cast<HMODULE>(0x10000000), StringType(), Block(1), 0x0409), nullptr);
    EXPECT_EQ(machine.lastError, ERROR_RESOURCE_DATA_NOT_FOUND);
}

TEST_F(SimCalls, LanguageNeutralAskedByNumberIsTheNeutralLookup)
{
    machine.uiLanguage = 0x0C07;
    const HRSRC found = FindResourceExW(nullptr, StringType(), Block(1), 0);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(FirstLetterOfMessage2(found), u'U');
}

TEST_F(SimCalls, AResourceIsItsBlockWithItsSize)
{
    const HRSRC found = FindResourceExW(nullptr, StringType(), Block(3), 0x0409);
    const auto& block = machine.stringBlocks.at({3, 0x0409});
    const HGLOBAL loaded = LoadResource(nullptr, found);
    EXPECT_EQ(LockResource(loaded), block.data());
    EXPECT_EQ(SizeofResource(nullptr, found), block.size());
    EXPECT_EQ(machine.lastError, kSeed);
    EXPECT_EQ(machine.CallsTo({"LoadResource", "SizeofResource"}),
              (std::vector<std::string>{"LoadResource((null), string block 3 0x409)",
                                        "SizeofResource((null), string block 3 0x409)"}));
}

TEST_F(SimCalls, ResourceCallsRefuseWhatIsNotAResource)
{
    int notAResource = 0;
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0U);
    EXPECT_EQ(LockResource(nullptr), nullptr);
    EXPECT_EQ(machine.lastError, kSeed) << "a null resource sets no error";
    EXPECT_EQ(LoadResource(nullptr, &notAResource), nullptr);
    EXPECT_EQ(machine.lastError, ERROR_INVALID_HANDLE);
    machine.lastError = kSeed;
    EXPECT_EQ(SizeofResource(nullptr, &notAResource), 0U);
    EXPECT_EQ(machine.lastError, ERROR_INVALID_HANDLE);
}

// --- Kernel ----------------------------------------------------------------

TEST_F(SimCalls, LocalMemoryIsTrackedAndAForeignPointerIsRefused)
{
    HLOCAL memory = LocalAlloc(LMEM_FIXED, 64);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(machine.LiveAllocations(), 1U);
    EXPECT_EQ(LocalFree(memory), nullptr);
    EXPECT_EQ(machine.lastError, kSeed);
    EXPECT_EQ(LocalFree(memory), memory) << "freed twice";
    EXPECT_EQ(machine.lastError, ERROR_INVALID_HANDLE);
    machine.lastError = kSeed;
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    EXPECT_EQ(machine.lastError, kSeed);
    machine.FailCall(sim::Fault::Every("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(LocalAlloc(LMEM_FIXED, 64), nullptr);
    EXPECT_EQ(machine.lastError, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

// Wine takes a locale without a language; what Windows does with it was
// not found out, and the program never asks for one.
TEST_F(SimCalls, AThreadLocaleWithoutALanguageIsRefused)
{
    EXPECT_EQ(SetThreadLocale(LOCALE_GERMAN_AUSTRIA), TRUE);
    EXPECT_EQ(SetThreadLocale(0), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetThreadLocale(), LOCALE_GERMAN_AUSTRIA);
}

TEST_F(SimCalls, MessageBoxesAreRecordedAndAnswered)
{
    machine.boxAnswer = 2;
    EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", 0x30), 2);
    ASSERT_EQ(machine.boxes.size(), 1U);
    EXPECT_EQ(U8(machine.boxes[0].text), "text");
    EXPECT_EQ(U8(machine.boxes[0].caption), "caption");
    EXPECT_EQ(machine.boxes[0].type, 0x30U);
    EXPECT_EQ(machine.boxes[0].owner, nullptr);
    machine.FailCall(sim::Fault::Every("MessageBoxW", ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(MessageBoxW(nullptr, u"lost", u"caption", 0), 0);
    EXPECT_EQ(machine.boxes.size(), 1U) << "a box that failed was never shown";
}

}  // namespace
