// The simulated machine's resource, kernel and message-box calls keep the
// Win32 contracts that the messages layer and the start-up rely on.
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

struct LookupCase {
    const char* what;
    HMODULE module;
    LPCWSTR type;
    LPCWSTR name;
    WORD language;
    DWORD error;  // 0: found
};

TEST_F(SimCalls, TheLookupInOneLanguageFindsThatLanguageOrSaysWhatIsMissing)
{
    const std::vector<LookupCase> cases = {
        {"English", nullptr, StringType(), Block(3), 0x0409, 0},
        {"German", nullptr, StringType(), Block(1), 0x0C07, 0},
        {"by name text", nullptr, u"#6", u"#2", 0x0C07, 0},
        {"French", nullptr, StringType(), Block(1), 0x040C, ERROR_RESOURCE_LANG_NOT_FOUND},
        {"German (Germany)", nullptr, StringType(), Block(1), 0x0407, ERROR_RESOURCE_LANG_NOT_FOUND},
        {"no block 5", nullptr, StringType(), Block(5), 0x0409, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"block 0", nullptr, StringType(), Block(0), 0x0409, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"named block", nullptr, StringType(), u"MESSAGES", 0x0409, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"dialog type", nullptr, MakeIntResource(5), Block(1), 0x0409, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"other module", reinterpret_cast<HMODULE>(0x10000000), StringType(), Block(1), 0x0409,
         ERROR_RESOURCE_DATA_NOT_FOUND},
    };
    for (const LookupCase& c : cases) {
        machine.lastError = kSeed;
        const HRSRC found = FindResourceExW(c.module, c.type, c.name, c.language);
        EXPECT_EQ(found == nullptr, c.error != 0) << c.what;
        EXPECT_EQ(machine.lastError, c.error == 0 ? kSeed : c.error) << c.what;
    }
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

struct ModuleNameCase {
    DWORD size;
    DWORD result;
    const char* written;
    DWORD error;
};

TEST_F(SimCalls, TheModuleFileNameIsCutAndTerminatedWhenItDoesNotFit)
{
    machine.modulePath = u"C:\\T\\a.exe";  // 10 characters
    const std::vector<ModuleNameCase> cases = {
        {260, 10, "C:\\T\\a.exe", kSeed},
        {11, 10, "C:\\T\\a.exe", kSeed},
        {10, 10, "C:\\T\\a.ex", ERROR_INSUFFICIENT_BUFFER},
        {1, 1, "", ERROR_INSUFFICIENT_BUFFER},
        {0, 0, "untouched", ERROR_INSUFFICIENT_BUFFER},
    };
    for (const ModuleNameCase& c : cases) {
        machine.lastError = kSeed;
        std::u16string buffer = u"untouched";
        buffer.resize(c.size < buffer.size() ? buffer.size() : c.size, u'#');
        EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), c.size), c.result) << c.size;
        EXPECT_EQ(U8(buffer.c_str()), c.written) << c.size;
        EXPECT_EQ(machine.lastError, c.error) << c.size;
    }
}

struct AttributesCase {
    const char16_t* path;
    DWORD result;
    DWORD error;
};

TEST_F(SimCalls, MissingFilesAndMissingFoldersAreToldApart)
{
    machine.modulePath = u"C:\\Tools\\OstrelSetup.exe";
    machine.AddFile(u"C:\\Tools\\OstrelSetup.inf");
    machine.AddFile(u"D:\\Deep\\Down\\x.inf", 0x21);
    machine.AddFolder(u"E:\\Empty");
    const std::vector<AttributesCase> cases = {
        {u"c:\\tools\\ostrelsetup.INF", FILE_ATTRIBUTE_NORMAL, kSeed},
        {u"C:/Tools/OstrelSetup.inf", FILE_ATTRIBUTE_NORMAL, kSeed},
        {u"D:\\Deep\\Down\\x.inf", 0x21, kSeed},
        {u"E:\\Empty\\", FILE_ATTRIBUTE_DIRECTORY, kSeed},
        {u"C:\\Tools\\Other.inf", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {u"D:\\Deep\\y.inf", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {u"E:\\Empty\\y.inf", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {u"C:\\windows\\system32\\newdev.inf", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {u"C:\\x.inf", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {u"local.inf", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {u"C:\\Nowhere\\x.inf", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {u"C:\\Tools\\OstrelSetup.inf\\x", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {u"C:\\Too\\x.inf", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {u"Q:\\x.inf", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {u"", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {nullptr, INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
    };
    for (const AttributesCase& c : cases) {
        machine.lastError = kSeed;
        EXPECT_EQ(GetFileAttributesW(c.path), c.result) << U8(sim::Text(c.path));
        EXPECT_EQ(machine.lastError, c.error) << U8(sim::Text(c.path));
    }
}

TEST_F(SimCalls, SystemTextsComeInLocalMemoryAndUnknownCodesHaveNone)
{
    LPWSTR text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    EXPECT_EQ(FormatMessageW(flags, nullptr, 5, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr), 19U);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(U8(text), "Access is denied.\r\n");
    EXPECT_EQ(machine.LiveAllocations(), 1U);
    EXPECT_EQ(LocalFree(text), nullptr);
    EXPECT_EQ(machine.LiveAllocations(), 0U);
    EXPECT_EQ(machine.lastError, kSeed);

    EXPECT_EQ(FormatMessageW(flags, nullptr, 0xE0000235, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr), 0U);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(machine.lastError, ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

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

struct CopyCase {
    int maxLength;
    const char* result;
};

TEST_F(SimCalls, BoundedCopiesAlwaysTerminateWithinTheBound)
{
    for (const CopyCase& c : std::vector<CopyCase>{{0, "#####"}, {1, ""}, {3, "ab"}, {4, "abc"}, {5, "abc"}}) {
        char16_t buffer[6] = u"#####";
        EXPECT_EQ(lstrcpynW(buffer, u"abc", c.maxLength), buffer);
        EXPECT_EQ(U8(buffer), c.result) << c.maxLength;
    }
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(u"abc"), 3);
    EXPECT_EQ(machine.lastError, kSeed);
}

TEST_F(SimCalls, TheSystemFolderIsCopiedOnlyWhenItFits)
{
    machine.systemDirectory = u"C:\\windows\\system32";  // 19 characters
    char16_t small[19] = {};
    EXPECT_EQ(GetSystemDirectoryW(small, 19), 20U);
    EXPECT_EQ(small[0], u'\0');
    char16_t exact[20] = {};
    EXPECT_EQ(GetSystemDirectoryW(exact, 20), 19U);
    EXPECT_EQ(U8(exact), "C:\\windows\\system32");
}

TEST_F(SimCalls, ProcessStateCallsReturnAndKeepTheirValues)
{
    machine.errorMode = 0x8000;
    EXPECT_EQ(SetErrorMode(0x0001), 0x8000U);
    EXPECT_EQ(machine.errorMode, 0x0001U);
    machine.commandLine = u"prog /de";
    EXPECT_EQ(U8(GetCommandLineW()), "prog /de");
    EXPECT_EQ(SetThreadLocale(LOCALE_GERMAN_AUSTRIA), TRUE);
    EXPECT_EQ(GetThreadLocale(), LOCALE_GERMAN_AUSTRIA);
    EXPECT_EQ(machine.lastError, kSeed);
    EXPECT_EQ(SetThreadLocale(0), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetThreadLocale(), LOCALE_GERMAN_AUSTRIA);
    SetLastError(42);
    EXPECT_EQ(GetLastError(), 42U);
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
