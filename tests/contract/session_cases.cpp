// What an unattended run relies on: the window station's visibility, the
// log file, telling a console from a file, the local time; the 64-bit
// sibling's start and exit code; the user, the elevation and the restart
// right.
#include <string>

#include "contract.h"
#include "platform/sim/win32_constants.h"
#include "platform/unique_handle.h"

namespace contract {
namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): the cases speak Win32
using contract::operator<<;

// --- The window station: a person can see boxes only on a visible one -------

TEST_F(Case, TheWindowStationSaysWhetherItIsVisible)
{
    const HANDLE station = GetProcessWindowStation();
    ASSERT_NE(station, nullptr);
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;

    ASSERT_TRUE(GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) << TakeLastError();
    EXPECT_EQ(needed, sizeof flags);
    EXPECT_NE(flags.dwFlags & WSF_VISIBLE, 0u) << "the suite runs where a person could look";
}

// --- The log: opened to append, created in a folder that exists --------------

// As the run's log opens it: to append, shared with other runs.
HANDLE OpenForAppending(const std::u16string& path)
{
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Write(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
           written == text.size();
}

TEST_F(Case, TheLogIsAppendedToWhatIsThere)
{
    const std::u16string log = world.PathIn(u"run.log");
    world.WriteFile(log, "first run\r\n");

    const unique_file_handle file(OpenForAppending(world.PathIn(u"RUN.Log")));

    ASSERT_TRUE(file) << TakeLastError();
    EXPECT_EQ(TakeLastError(), ERROR_ALREADY_EXISTS) << "it was there";
    EXPECT_TRUE(Write(file.get(), "second run\r\n"));
    EXPECT_EQ(world.Contents(log), "first run\r\nsecond run\r\n");
}

// The 32-bit program and the sibling it starts may write one log.
TEST_F(Case, TwoRunsAppendToOneLog)
{
    const std::u16string log = world.PathIn(u"shared.log");
    const unique_file_handle first(OpenForAppending(log));
    const unique_file_handle second(OpenForAppending(log));
    ASSERT_TRUE(first);
    ASSERT_TRUE(second) << TakeLastError();

    EXPECT_TRUE(Write(first.get(), "one\r\n"));
    EXPECT_TRUE(Write(second.get(), "two\r\n"));
    EXPECT_TRUE(Write(first.get(), "three\r\n"));

    EXPECT_EQ(world.Contents(log), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(Case, TheLogIsMadeInAFolderThatExistsOnly)
{
    const std::u16string log = world.PathIn(u"new.log");
    {
        const unique_file_handle file(OpenForAppending(log));
        ASSERT_TRUE(file) << TakeLastError();
        EXPECT_EQ(TakeLastError(), ERROR_SUCCESS) << "it was not there";
        EXPECT_TRUE(Write(file.get(), "x"));
    }
    EXPECT_EQ(world.Contents(log), "x");

    EXPECT_EQ(OpenForAppending(world.PathIn(u"missing\\new.log")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(TakeLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(OpenForAppending(world.Folder()), INVALID_HANDLE_VALUE) << "a folder";
    EXPECT_EQ(TakeLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(Case, OnlyWhatWasOpenedForWritingIsWrittenAndAHandleClosesOnce)
{
    const std::u16string path = world.PathIn(u"read.log");
    world.WriteFile(path, "kept");
    const HANDLE reading = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reading, INVALID_HANDLE_VALUE);

    EXPECT_FALSE(Write(reading, "x"));
    EXPECT_EQ(TakeLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseHandle(reading));
    EXPECT_FALSE(CloseHandle(reading)) << "closed twice";
    EXPECT_EQ(TakeLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(world.Contents(path), "kept");
}

// A quiet run writes to a console with WriteConsoleW and to anything else
// with WriteFile; GetConsoleMode tells which.
TEST_F(Case, AFileIsNoConsole)
{
    const unique_file_handle file(OpenForAppending(world.PathIn(u"out.txt")));
    ASSERT_TRUE(file);
    DWORD mode = 0;
    DWORD written = 0;

    EXPECT_FALSE(GetConsoleMode(file.get(), &mode));
    EXPECT_EQ(TakeLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(WriteConsoleW(file.get(), u"x", 1, &written, nullptr));
    EXPECT_EQ(TakeLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(Case, TheLocalTimeIsADateAndATime)
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_GE(now.wYear, 2024);
    EXPECT_GE(now.wMonth, 1);
    EXPECT_LE(now.wMonth, 12);
    EXPECT_GE(now.wDay, 1);
    EXPECT_LE(now.wDay, 31);
    EXPECT_LT(now.wHour, 24);
    EXPECT_LT(now.wMinute, 60);
    EXPECT_LT(now.wSecond, 61);
}

// --- Starting the 64-bit sibling and reading its exit code ------------------

TEST_F(Case, AStartedProcessIsWaitedForAndTellsItsExitCode)
{
    std::u16string line = world.ChildCommandLine(3010);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};

    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        << TakeLastError();

    const unique_kernel_handle process(started.hProcess);
    const unique_kernel_handle thread(started.hThread);
    EXPECT_EQ(WaitForSingleObject(process.get(), INFINITE), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeProcess(process.get(), &exitCode));
    EXPECT_EQ(exitCode, 3010u);
}

TEST_F(Case, AProgramThatIsNotThereIsNotStarted)
{
    std::u16string line = u"\"" + world.PathIn(u"none.exe") + u"\" /quiet";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};

    EXPECT_FALSE(
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
    EXPECT_EQ(TakeLastError(), ERROR_FILE_NOT_FOUND);
}

// The program measures a line before it hands it over; Windows itself
// refuses one that is too long rather than cut it.
TEST_F(Case, ACommandLineLongerThanWindowsTakesIsRefused)
{
    std::u16string line = world.ChildCommandLine(0) + u" ";
    line.resize(MAX_COMMAND_LINE + 1, u'x');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};

    const bool created =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started) != FALSE;

    const DWORD error = TakeLastError();
    KnownDifference(Fault::wine, "CreateProcessW cuts a longer command line to 32,766 characters", [&] {
        EXPECT_FALSE(created);
        EXPECT_EQ(error, ERROR_FILENAME_EXCED_RANGE);
    });
    if (created) {
        WaitForSingleObject(started.hProcess, INFINITE);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
}

// --- Bitness: whether the 32-bit program hands over to its 64-bit sibling ---

TEST_F(Case, BothBitnessCallsAgree)
{
    BOOL wow64 = TRUE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    USHORT processMachine = 0xFFFF;
    USHORT nativeMachine = 0xFFFF;
    if (!IsWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine)) {
        EXPECT_EQ(TakeLastError(), ERROR_PROC_NOT_FOUND) << "only where the system has no such call";
        return;
    }
    EXPECT_EQ(processMachine != IMAGE_FILE_MACHINE_UNKNOWN, wow64 != FALSE);
    EXPECT_NE(nativeMachine, IMAGE_FILE_MACHINE_UNKNOWN);
    if (sizeof(void*) == 8) {
        EXPECT_EQ(wow64, FALSE) << "a 64-bit program is never under WOW64";
    }
}

// --- The user, the elevation, the restart right -----------------------------

TEST_F(Case, TheUserNameTellsTheRoomItNeeds)
{
    DWORD size = 1;
    char16_t tiny[1] = {};
    EXPECT_FALSE(GetUserNameW(tiny, &size));
    EXPECT_EQ(TakeLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_GT(size, 1u);

    const DWORD needed = size;
    char16_t name[UNLEN + 1] = {};
    size = UNLEN + 1;
    ASSERT_TRUE(GetUserNameW(name, &size));
    EXPECT_EQ(size, needed) << "the name and its terminator";
    EXPECT_EQ(std::u16string(name).size() + 1, size);
}

TEST_F(Case, TheTokenTellsItsElevation)
{
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    const unique_kernel_handle owned(token);
    TOKEN_ELEVATION elevation{0xFF};
    DWORD length = 0;

    ASSERT_TRUE(GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &length)) << TakeLastError();
    EXPECT_EQ(length, sizeof elevation);
    EXPECT_LE(elevation.TokenIsElevated, 1u);

    length = 0;
    EXPECT_FALSE(GetTokenInformation(token, TokenElevation, nullptr, 0, &length));
    EXPECT_EQ(TakeLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, sizeof elevation);
}

// Enabling a privilege the token lacks "succeeds" with ERROR_NOT_ALL_ASSIGNED;
// the program only restarts when the enabling left ERROR_SUCCESS.
TEST_F(Case, TheShutdownPrivilegeIsLookedUpAndEnabled)
{
    TOKEN_PRIVILEGES privileges{1, {}};
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
    LUID unknown{};
    EXPECT_FALSE(LookupPrivilegeValueW(nullptr, u"SeOstrelContractPrivilege", &unknown));
    EXPECT_EQ(TakeLastError(), ERROR_NO_SUCH_PRIVILEGE);

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    const unique_kernel_handle owned(token);
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;

    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));

    const DWORD error = TakeLastError();
    EXPECT_TRUE(error == ERROR_SUCCESS || error == ERROR_NOT_ALL_ASSIGNED) << error;
    privileges.Privileges[0].Attributes = 0;
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
}

}  // namespace
}  // namespace contract
