// The simulated machine's restart right keeps Windows's rules, so that a
// quiet run that relied on anything looser would fail here too. (The log
// file's calls are cases of tests/contract; a real restart is not.)
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace {

using platform::DWORD;
using platform::HANDLE;

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
