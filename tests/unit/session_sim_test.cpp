// The simulated machine's log files and restart right keep Windows's rules,
// so that a quiet run that relied on anything looser would fail here too.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace {

using platform::DWORD;
using platform::HANDLE;

const std::u16string kLog = u"C:\\Tools\\OstrelSetup.log";

HANDLE OpenForAppending(const std::u16string& path)
{
    return platform::CreateFileW(path.c_str(), platform::FILE_APPEND_DATA, platform::FILE_SHARE_READ, nullptr,
                                 platform::OPEN_ALWAYS, platform::FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Write(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return platform::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
           written == text.size();
}

class LogFileTest : public ::testing::Test {
protected:
    sim::Machine machine;
};

TEST_F(LogFileTest, AppendsToWhatIsThereAndLeavesNoHandleOpen)
{
    machine.fileBytes[kLog] = "first run\r\n";
    // Another spelling of the same path is the same file.
    HANDLE log = OpenForAppending(u"c:\\tools\\ostrelsetup.LOG");
    ASSERT_NE(log, platform::INVALID_HANDLE_VALUE);
    EXPECT_EQ(machine.lastError, 183u) << "ERROR_ALREADY_EXISTS: it was there";
    EXPECT_TRUE(Write(log, "second run\r\n"));
    EXPECT_TRUE(platform::CloseHandle(log));

    EXPECT_EQ(machine.fileBytes[kLog], "first run\r\nsecond run\r\n");
    EXPECT_EQ(machine.handles.OpenCount(), 0u);
}

TEST_F(LogFileTest, CreatesAMissingFileInAnExistingFolderOnly)
{
    HANDLE log = OpenForAppending(kLog);
    ASSERT_NE(log, platform::INVALID_HANDLE_VALUE);
    EXPECT_TRUE(Write(log, "x"));
    EXPECT_EQ(machine.fileBytes[kLog], "x");

    EXPECT_EQ(OpenForAppending(u"C:\\Missing\\OstrelSetup.log"), platform::INVALID_HANDLE_VALUE);
    EXPECT_EQ(machine.lastError, platform::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(OpenForAppending(u"C:\\Tools"), platform::INVALID_HANDLE_VALUE);
    EXPECT_EQ(machine.lastError, platform::ERROR_ACCESS_DENIED) << "a folder";
    EXPECT_EQ(machine.handles.OpenCount(sim::HandleKind::file), 1u);
}

TEST_F(LogFileTest, WritesOnlyWhatWasOpenedForWriting)
{
    HANDLE reading =
        platform::CreateFileW(kLog.c_str(), platform::GENERIC_READ, 0, nullptr, platform::OPEN_ALWAYS, 0, nullptr);
    EXPECT_FALSE(Write(reading, "x"));
    EXPECT_EQ(machine.lastError, platform::ERROR_ACCESS_DENIED);
    EXPECT_TRUE(platform::CloseHandle(reading));
    EXPECT_FALSE(platform::CloseHandle(reading)) << "closed twice";
    EXPECT_EQ(machine.lastError, platform::ERROR_INVALID_HANDLE);
}

// Restarting takes the shutdown privilege, enabled first; a token that
// lacks it still "succeeds" at enabling it, with ERROR_NOT_ALL_ASSIGNED.
struct PrivilegeCase {
    const char* name;
    bool held;
    bool enableFirst;
    DWORD adjustError;
    bool restarts;
};

const PrivilegeCase kPrivilegeCases[] = {
    {"held and enabled", true, true, platform::ERROR_SUCCESS, true},
    {"held, never enabled", true, false, 0, false},
    {"not held", false, true, platform::ERROR_NOT_ALL_ASSIGNED, false},
};

void PrintTo(const PrivilegeCase& c, std::ostream* out) { *out << c.name; }

class RestartRightTest : public ::testing::TestWithParam<PrivilegeCase> {
protected:
    sim::Machine machine;
};

TEST_P(RestartRightTest, RestartsOnlyWithTheShutdownPrivilegeEnabled)
{
    const PrivilegeCase& c = GetParam();
    machine.holdsShutdownPrivilege = c.held;
    if (c.enableFirst) {
        HANDLE token = nullptr;
        ASSERT_TRUE(platform::OpenProcessToken(platform::GetCurrentProcess(),
                                               platform::TOKEN_ADJUST_PRIVILEGES | platform::TOKEN_QUERY, &token));
        platform::TOKEN_PRIVILEGES privileges{1, {}};
        ASSERT_TRUE(
            platform::LookupPrivilegeValueW(nullptr, platform::SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
        privileges.Privileges[0].Attributes = platform::SE_PRIVILEGE_ENABLED;
        EXPECT_TRUE(platform::AdjustTokenPrivileges(token, platform::FALSE, &privileges, 0, nullptr, nullptr));
        EXPECT_EQ(machine.lastError, c.adjustError);
        EXPECT_TRUE(platform::CloseHandle(token));
    }
    const DWORD reason = platform::SHTDN_REASON_MAJOR_APPLICATION | platform::SHTDN_REASON_MINOR_INSTALLATION;

    EXPECT_EQ(platform::InitiateSystemShutdownExW(nullptr, nullptr, 0, platform::TRUE, platform::TRUE, reason) != 0,
              c.restarts);

    ASSERT_EQ(machine.shutdowns.size(), c.restarts ? 1u : 0u);
    if (c.restarts) {
        EXPECT_EQ(machine.shutdowns[0].reason, reason);
    }
    if (!c.restarts) {
        EXPECT_EQ(machine.lastError, platform::ERROR_ACCESS_DENIED);
    }
}

INSTANTIATE_TEST_SUITE_P(EachToken, RestartRightTest, ::testing::ValuesIn(kPrivilegeCases));

}  // namespace
