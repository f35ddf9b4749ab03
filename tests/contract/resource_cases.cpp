// The module's string tables, as the catalogue reads them: a block in the
// thread's language, or else the one the language-neutral lookup picks.
#include <cstring>
#include <string>

#include "contract.h"
#include "platform/sim/win32_constants.h"

namespace contract {
namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): the cases speak Win32
using contract::operator<<;

constexpr LANGID kEnglish = 0x0409;
constexpr LANGID kGerman = 0x0C07;

LPCWSTR Block(WORD number) { return MakeIntResource(number); }
LPCWSTR StringType() { return MakeIntResource(RT_STRING_ID); }

// Message 2 of block 1, read as the catalogue reads it: its first letter
// tells the language ("I"nvalid, "U"ngültig).
char16_t FirstLetterOfMessage2(HRSRC resource)
{
    const void* data = LockResource(LoadResource(nullptr, resource));
    const DWORD size = SizeofResource(nullptr, resource);
    if (data == nullptr || size < 8) return u'?';
    char16_t units[4];
    std::memcpy(units, data, sizeof units);  // counts of entries 0 and 1 (none), then message 2's count and text
    return units[0] == 0 && units[1] == 0 && units[2] != 0 ? units[3] : u'?';
}

// The letter of the language the neutral lookup picks for this user
// interface: its own when the module has it, otherwise English.
char16_t NeutralLetter(LANGID uiLanguage) { return uiLanguage == kGerman ? u'U' : u'I'; }

struct LookupCase {
    const char* name;
    LPCWSTR type;
    LPCWSTR block;
    WORD language;
    DWORD error;           // 0: found
    char16_t firstLetter;  // of message 2, when block 1 is found
};

const LookupCase kLookupCases[] = {
    {"english", StringType(), Block(1), kEnglish, 0, u'I'},
    {"german_austria", StringType(), Block(1), kGerman, 0, u'U'},
    {"by_number_texts", u"#6", u"#1", kGerman, 0, u'U'},
    {"another_block_in_english", StringType(), Block(3), kEnglish, 0, 0},
    {"french_is_missing", StringType(), Block(1), 0x040C, ERROR_RESOURCE_LANG_NOT_FOUND, 0},
    {"german_germany_is_missing", StringType(), Block(1), 0x0407, ERROR_RESOURCE_LANG_NOT_FOUND, 0},
    {"a_block_the_module_lacks", StringType(), Block(5), kEnglish, ERROR_RESOURCE_NAME_NOT_FOUND, 0},
    {"a_named_block", StringType(), u"MESSAGES", kEnglish, ERROR_RESOURCE_NAME_NOT_FOUND, 0},
    {"a_type_the_module_lacks", MakeIntResource(5), Block(1), kEnglish, ERROR_RESOURCE_TYPE_NOT_FOUND, 0},
};

class StringBlockInOneLanguage : public Case, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(StringBlockInOneLanguage, IsFoundInThatLanguageOrSaysWhatIsMissing)
{
    const LookupCase& c = GetParam();

    const HRSRC found = FindResourceExW(nullptr, c.type, c.block, c.language);

    if (c.error != 0) {
        EXPECT_EQ(found, nullptr);
        EXPECT_EQ(TakeLastError(), c.error);
        return;
    }
    ASSERT_NE(found, nullptr) << "error " << TakeLastError();
    if (c.firstLetter != 0) {
        EXPECT_EQ(FirstLetterOfMessage2(found), c.firstLetter);
    }
}

INSTANTIATE_TEST_SUITE_P(Lookups, StringBlockInOneLanguage, ::testing::ValuesIn(kLookupCases), CaseName());

// The data of a block holds its sixteen counted strings, and no more.
TEST_F(Case, ABlockIsSixteenCountedStrings)
{
    const HRSRC found = FindResourceExW(nullptr, StringType(), Block(2), kGerman);
    ASSERT_NE(found, nullptr);
    const HGLOBAL loaded = LoadResource(nullptr, found);
    ASSERT_NE(loaded, nullptr);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    ASSERT_NE(bytes, nullptr);
    const DWORD size = SizeofResource(nullptr, found);
    std::size_t offset = 0;
    for (int entry = 0; entry < 16; ++entry) {
        ASSERT_LE(offset + 2, size) << "entry " << entry;
        char16_t count = 0;
        std::memcpy(&count, bytes + offset, sizeof count);
        offset += 2 + 2u * count;
    }
    EXPECT_EQ(offset, size);
    EXPECT_EQ(TakeLastError(), kSeed);
}

// Windows Vista and later pick the neutral block by the language of the user
// interface, whatever the thread's locale: so "/de" alone would not reach
// the German texts, and the catalogue asks in the thread's language first.
TEST_F(Case, TheNeutralLookupFollowsTheUserInterfaceNotTheThread)
{
    const LCID original = GetThreadLocale();
    const char16_t expected = NeutralLetter(world.UiLanguage());
    for (const LCID locale : {LCID{0x0409}, LCID{0x0C07}, LCID{0x040C}}) {
        SCOPED_TRACE(locale);
        SetThreadLocale(locale);
        const HRSRC neutral = FindResourceW(nullptr, Block(1), StringType());
        ASSERT_NE(neutral, nullptr);
        const HRSRC byNumber = FindResourceExW(nullptr, StringType(), Block(1), 0);
        ASSERT_NE(byNumber, nullptr);
        if (NeutralLetter(LANGIDFROMLCID(locale)) == expected) {
            EXPECT_EQ(FirstLetterOfMessage2(neutral), expected);
            EXPECT_EQ(FirstLetterOfMessage2(byNumber), expected);
            continue;
        }
        KnownDifference(Fault::wine, "FindResourceW follows the thread locale, as Windows XP did", [&] {
            EXPECT_EQ(FirstLetterOfMessage2(neutral), expected);
            EXPECT_EQ(FirstLetterOfMessage2(byNumber), expected);
        });
    }
    SetThreadLocale(original);
}

}  // namespace
}  // namespace contract
