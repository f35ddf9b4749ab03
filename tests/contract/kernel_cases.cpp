// Kernel calls: the module's own name, file attributes, full paths, system texts, local
// memory, the string helpers, the locale and the process's own state; and
// the marks of known differences themselves.
#include <string>
#include <vector>

#include <gtest/gtest-spi.h>

#include "contract.h"
#include "platform/sim/win32_constants.h"

namespace contract {
namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): the cases speak Win32
using contract::operator<<;

std::u16string Folded(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

std::u16string ModulePath()
{
    char16_t path[4 * MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, 4 * MAX_PATH);
    return std::u16string(path, length);
}

// --- GetModuleFileNameW: the program builds its INF and sibling paths from it.

struct CutCase {
    const char* name;
    int size;  // the buffer's size: counted from the path's length, or as it is
    bool fromLength;
};

const CutCase kCutCases[] = {
    {"room_for_the_terminator", 1, true},
    {"room_for_the_text_only", 0, true},
    {"one_unit_short", -1, true},
    {"one_unit", 1, false},
    {"no_room", 0, false},
};

class ModuleFileName : public Case, public ::testing::WithParamInterface<CutCase> {};

// A path that does not fit is cut to the size given, less one unit for the
// terminator; the answer is the size, and the last error says so.
TEST_P(ModuleFileName, FitsOrIsCutToTheSizeGivenAndTerminated)
{
    const std::u16string path = ModulePath();
    ASSERT_GT(path.size(), 3u);
    const CutCase& c = GetParam();
    const auto size = static_cast<DWORD>(c.fromLength ? static_cast<int>(path.size()) + c.size : c.size);
    std::u16string buffer(size + 1, u'#');
    TakeLastError();

    const DWORD result = GetModuleFileNameW(nullptr, buffer.data(), size);

    if (size > path.size()) {
        EXPECT_EQ(result, path.size());
        EXPECT_EQ(U8(buffer.c_str()), U8(path));
        return;
    }
    EXPECT_EQ(result, size);
    EXPECT_EQ(TakeLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(buffer[size], u'#') << "nothing written past the size given";
    if (size == 0) return;
    KnownDifference(Fault::wine, "GetModuleFileNameW leaves a cut path unterminated, as Windows XP did",
                    [&] { EXPECT_EQ(U8(buffer.c_str()), U8(path.substr(0, size - 1))); });
}

INSTANTIATE_TEST_SUITE_P(Sizes, ModuleFileName, ::testing::ValuesIn(kCutCases), CaseName());

// --- GetFileAttributesW: whether the INF file (or the sibling) is there, and
// why not: a missing file in a folder that exists, or a missing folder.

struct AttributesCase {
    const char* name;
    std::u16string path;  // inside the case's folder, which holds file.inf and the folder sub
    bool found;
    bool folder;
    DWORD error;  // when not found
};

const AttributesCase kAttributesCases[] = {
    {"a_file", u"file.inf", true, false, 0},
    {"another_spelling", u"FILE.Inf", true, false, 0},
    {"forward_slashes", u"sub/inner.txt", true, false, 0},
    {"a_folder", u"sub", true, true, 0},
    {"a_folder_with_its_separator", u"sub\\", true, true, 0},
    {"a_trailing_dot", u"file.inf.", true, false, 0},
    {"through_the_parent", u"sub\\..\\file.inf", true, false, 0},
    {"through_the_folder_itself", u".\\file.inf", true, false, 0},
    {"a_missing_file", u"missing.inf", false, false, ERROR_FILE_NOT_FOUND},
    {"a_missing_file_in_a_subfolder", u"sub\\missing.inf", false, false, ERROR_FILE_NOT_FOUND},
    {"a_missing_folder", u"nowhere\\file.inf", false, false, ERROR_PATH_NOT_FOUND},
    {"a_missing_folder_named_like_the_start_of_one", u"su\\file.inf", false, false, ERROR_PATH_NOT_FOUND},
    {"a_file_taken_for_a_folder", u"file.inf\\x", false, false, ERROR_PATH_NOT_FOUND},
};

// Names that are not in the case's folder.
struct OtherPathCase {
    const char* name;
    const char16_t* path;
    DWORD error;
};

const OtherPathCase kOtherPathCases[] = {
    {"no_path_at_all", nullptr, ERROR_PATH_NOT_FOUND},
    {"an_empty_path", u"", ERROR_PATH_NOT_FOUND},
    {"a_bare_name_in_the_current_folder", u"ostrel-contract-nothing-here.inf", ERROR_FILE_NOT_FOUND},
    {"a_missing_file_at_the_root", u"C:\\ostrel-contract-nothing-here.inf", ERROR_FILE_NOT_FOUND},
    {"a_missing_file_of_the_system_folder", u"C:\\windows\\system32\\ostrel-contract.inf", ERROR_FILE_NOT_FOUND},
};

class MissingPath : public Case, public ::testing::WithParamInterface<OtherPathCase> {};

TEST_P(MissingPath, HasNoAttributes)
{
    EXPECT_EQ(GetFileAttributesW(GetParam().path), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(TakeLastError(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Paths, MissingPath, ::testing::ValuesIn(kOtherPathCases), CaseName());

TEST_F(Case, AFileOnADriveThatIsNotThereHasNoPath)
{
    EXPECT_EQ(GetFileAttributesW(u"Q:\\x.inf"), INVALID_FILE_ATTRIBUTES);
    const DWORD error = TakeLastError();
    KnownDifference(Fault::wine, "a file at the root of a drive that is not there answers ERROR_FILE_NOT_FOUND",
                    [&] { EXPECT_EQ(error, ERROR_PATH_NOT_FOUND); });
}

class FileAttributes : public Case, public ::testing::WithParamInterface<AttributesCase> {};

TEST_P(FileAttributes, TellAFileFromAFolderAndAMissingFileFromAMissingFolder)
{
    const AttributesCase& c = GetParam();
    world.WriteFile(world.PathIn(u"file.inf"), "[Version]\r\n");
    world.MakeFolder(world.PathIn(u"sub"));
    world.WriteFile(world.PathIn(u"sub\\inner.txt"), "x");
    TakeLastError();

    const DWORD attributes = GetFileAttributesW(world.PathIn(c.path).c_str());

    if (!c.found) {
        EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(TakeLastError(), c.error);
        return;
    }
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << "error " << TakeLastError();
    EXPECT_EQ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, c.folder) << std::hex << attributes;
}

INSTANTIATE_TEST_SUITE_P(Paths, FileAttributes, ::testing::ValuesIn(kAttributesCases), CaseName());

// --- GetFullPathNameW: "add driver" hands the driver store the INF file's
// full path, whatever "/f" named.

struct FullPathCase {
    const char* name;
    std::u16string path;
    bool relative;         // to the current folder; else to the case's folder
    std::u16string whole;  // in the case's folder
};

const FullPathCase kFullPathCases[] = {
    {"a_full_path", u"\\contract.inf", false, u"\\contract.inf"},
    {"through_the_parent", u"\\sub\\..\\contract.inf", false, u"\\contract.inf"},
    {"through_the_folder_itself", u"\\.\\sub\\contract.inf", false, u"\\sub\\contract.inf"},
    {"forward_slashes", u"/sub/contract.inf", false, u"\\sub\\contract.inf"},
    {"a_trailing_dot", u"\\contract.inf.", false, u"\\contract.inf"},
    {"a_bare_name", u"contract.inf", true, u"\\contract.inf"},
    {"a_name_in_a_subfolder", u"sub\\contract.inf", true, u"\\sub\\contract.inf"},
    {"a_name_through_the_folder_itself", u".\\contract.inf", true, u"\\contract.inf"},
};

class FullPath : public Case, public ::testing::WithParamInterface<FullPathCase> {};

TEST_P(FullPath, IsTheFolderAndTheNameWithoutDetours)
{
    const FullPathCase& c = GetParam();
    const std::u16string folder = c.relative ? world.CurrentFolder() : world.Folder();
    const std::u16string expected = folder + c.whole;
    const std::u16string path = c.relative ? c.path : world.Folder() + c.path;
    char16_t full[MAX_PATH] = {};

    EXPECT_EQ(GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr), expected.size());
    EXPECT_EQ(U8(full), U8(expected));

    std::u16string exact(expected.size() + 2, u'#');
    EXPECT_EQ(GetFullPathNameW(path.c_str(), static_cast<DWORD>(expected.size()), exact.data(), nullptr),
              expected.size() + 1)
        << "the room it needs, terminator included";
    EXPECT_EQ(GetFullPathNameW(path.c_str(), static_cast<DWORD>(expected.size() + 1), exact.data(), nullptr),
              expected.size());
    EXPECT_EQ(U8(exact.c_str()), U8(expected));
    EXPECT_EQ(TakeLastError(), kSeed);
}

INSTANTIATE_TEST_SUITE_P(Paths, FullPath, ::testing::ValuesIn(kFullPathCases), CaseName());

// --- FormatMessageW: the system's text for an error, in local memory.

constexpr DWORD kSystemTextFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

struct TextCase {
    const char* name;
    DWORD code;
    WORD language;
    bool hasText;
};

const TextCase kTextCases[] = {
    {"a_win32_error", ERROR_FILE_NOT_FOUND, 0, true},
    {"a_win32_error_in_the_neutral_language", ERROR_ACCESS_DENIED, LANG_NEUTRAL_DEFAULT, true},
    {"a_win32_error_as_an_hresult", 0x80070002, LANG_NEUTRAL_DEFAULT, true},
    // The shell's refusals (0 to 32) are Win32 errors, and shown as HRESULTs.
    {"the_shells_refusal_for_a_file_without_the_verb", 0x8007001F, LANG_NEUTRAL_DEFAULT, true},
    {"the_shells_refusal_for_a_missing_library", 0x80070020, LANG_NEUTRAL_DEFAULT, true},
    {"a_command_line_too_long_for_the_sibling", ERROR_FILENAME_EXCED_RANGE, 0, true},
    {"a_cancelled_prompt", ERROR_CANCELLED, 0, true},
    {"a_code_nobody_has_a_text_for", 0x2000ABCD, 0, false},
};

class SystemText : public Case, public ::testing::WithParamInterface<TextCase> {};

TEST_P(SystemText, ComesInLocalMemoryEndingInALineEndOrNotAtAll)
{
    const TextCase& c = GetParam();
    char16_t sentinel[] = u"untouched";
    char16_t* text = sentinel;  // overwritten either way

    const DWORD length =
        FormatMessageW(kSystemTextFlags, nullptr, c.code, c.language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);

    if (!c.hasText) {
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(TakeLastError(), ERROR_MR_MID_NOT_FOUND);
        EXPECT_EQ(text, nullptr) << "the receiver is cleared";
        return;
    }
    ASSERT_NE(length, 0u) << "error " << TakeLastError();
    ASSERT_NE(text, nullptr);
    const std::u16string received(text);
    EXPECT_EQ(received.size(), length);
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(U8(received.substr(received.size() - 2)), "\r\n") << U8(received);
    EXPECT_EQ(LocalFree(text), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Codes, SystemText, ::testing::ValuesIn(kTextCases), CaseName());

// --- Local memory, lstrcpynW, lstrlenW

TEST_F(Case, LocalMemoryIsFreedOnceAndNullIsNothingToFree)
{
    HLOCAL memory = LocalAlloc(LMEM_FIXED, 64);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(LocalFree(memory), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    EXPECT_EQ(TakeLastError(), kSeed);
}

struct CopyCase {
    const char* name;
    int maxLength;
    const char* result;
};

const CopyCase kCopyCases[] = {
    {"no_room", 0, "#####"}, {"room_for_the_terminator", 1, ""}, {"cut", 3, "ab"},
    {"exact", 4, "abc"},     {"more_than_enough", 5, "abc"},
};

class BoundedCopy : public Case, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(BoundedCopy, AlwaysTerminatesWithinTheBound)
{
    char16_t buffer[6] = u"#####";
    EXPECT_EQ(lstrcpynW(buffer, u"abc", GetParam().maxLength), buffer);
    EXPECT_EQ(U8(buffer), GetParam().result);
    EXPECT_EQ(buffer[5], u'\0');
}

INSTANTIATE_TEST_SUITE_P(Bounds, BoundedCopy, ::testing::ValuesIn(kCopyCases), CaseName());

TEST_F(Case, TextLengthOfNullIsNothing)
{
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(u"abc"), 3);
}

// --- The system folder: newdev.dll is loaded from it by full path.

TEST_F(Case, TheSystemFolderIsCopiedOnlyWhenItFits)
{
    char16_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    ASSERT_GT(length, 3u);
    ASSERT_LT(length, MAX_PATH);
    EXPECT_EQ(std::u16string(folder).size(), length);

    char16_t exact[MAX_PATH] = {};
    EXPECT_EQ(GetSystemDirectoryW(exact, length + 1), length);
    EXPECT_EQ(U8(exact), U8(folder));
    char16_t small[MAX_PATH] = {};
    EXPECT_EQ(GetSystemDirectoryW(small, length), length + 1) << "the size it needs, terminator included";
}

// --- Process state: error mode, command line, thread locale, last error

TEST_F(Case, TheErrorModeAnswersThePreviousOne)
{
    const UINT original = SetErrorMode(SEM_FAILCRITICALERRORS);
    EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX), SEM_FAILCRITICALERRORS);
    EXPECT_EQ(SetErrorMode(original), SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

TEST_F(Case, TheCommandLineStartsWithTheProgram)
{
    const std::u16string module = ModulePath();
    const std::u16string programName = module.substr(module.find_last_of(u'\\') + 1);
    const char16_t* line = GetCommandLineW();
    ASSERT_NE(line, nullptr);
    std::u16string first = line;
    if (!first.empty() && first[0] == u'"')
        first = first.substr(1, first.find(u'"', 1) - 1);
    else
        first = first.substr(0, first.find(u' '));
    ASSERT_GE(first.size(), programName.size()) << U8(line);
    EXPECT_EQ(U8(Folded(first.substr(first.size() - programName.size()))), U8(Folded(programName))) << U8(line);
}

TEST_F(Case, TheThreadLocaleIsTheOneSet)
{
    const LCID original = GetThreadLocale();
    EXPECT_TRUE(SetThreadLocale(LOCALE_GERMAN_AUSTRIA));
    EXPECT_EQ(GetThreadLocale(), LOCALE_GERMAN_AUSTRIA);
    EXPECT_TRUE(SetThreadLocale(LOCALE_ENGLISH_US));
    EXPECT_EQ(GetThreadLocale(), LOCALE_ENGLISH_US);
    EXPECT_EQ(TakeLastError(), kSeed);
    SetThreadLocale(original);
}

TEST_F(Case, TheLastErrorIsTheOneSet)
{
    SetLastError(42);
    EXPECT_EQ(GetLastError(), 42u);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
}

// --- The marks themselves ----------------------------------------------------

// On the side at fault a mark's checks must fail, and the failures are not
// the case's; checks that pass there make the case fail.
TEST_F(Case, AMarkHoldsOnlyWhileItsDifferenceShows)
{
    const Fault here = ThisSide() == Side::simulatedMachine ? Fault::simulatedMachine : Fault::wine;
    if (here == Fault::wine && !UnderWine()) GTEST_SKIP() << "no mark applies on Windows itself";

    KnownDifference(here, "the suite's own test of its marks", [] { EXPECT_EQ(1, 2); });
    EXPECT_NONFATAL_FAILURE(KnownDifference(here, "the difference is gone", [] { EXPECT_EQ(1, 1); }),
                            "the difference is gone, remove the mark");
    ForgetMarksOfThisCase();
}

}  // namespace
}  // namespace contract
