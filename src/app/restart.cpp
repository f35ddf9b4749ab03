// The restart step at the end of a run.
#include "app/setup_stages.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace ostrel {

namespace {

constexpr platform::DWORD kRestartReason = platform::SHTDN_REASON_MAJOR_APPLICATION |
                                           platform::SHTDN_REASON_MINOR_INSTALLATION |
                                           platform::SHTDN_REASON_FLAG_PLANNED;

// Adjusting succeeds also when the token lacks the privilege: only the
// last error tells.
bool EnableShutdownPrivilege()
{
    platform::HANDLE token = nullptr;
    if (!platform::OpenProcessToken(platform::GetCurrentProcess(),
                                    platform::TOKEN_ADJUST_PRIVILEGES | platform::TOKEN_QUERY, &token))
        return false;
    const platform::unique_kernel_handle owned(token);
    platform::TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = platform::SE_PRIVILEGE_ENABLED;
    if (!platform::LookupPrivilegeValueW(nullptr, platform::SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        return false;
    if (!platform::AdjustTokenPrivileges(token, platform::FALSE, &privileges, sizeof privileges, nullptr, nullptr))
        return false;
    return platform::GetLastError() == platform::ERROR_SUCCESS;
}

void TraceRestartFailure(const RunContext& run)
{
    const platform::DWORD error = platform::GetLastError();
    run.Trace(
        {u"restart: needed, could not be started (error ", Decimal(error).c_str(), u"): ", GetSystemErrorText(error)});
}

// A planned restart at once: nobody is there to be warned.
void StartRestart(RunContext& run)
{
    if (!EnableShutdownPrivilege() ||
        !platform::InitiateSystemShutdownExW(nullptr, nullptr, 0, platform::FALSE, platform::TRUE, kRestartReason)) {
        TraceRestartFailure(run);
        return;
    }
    run.outcome.RecordRestart(Restart::Started);
    run.Trace({u"restart: started"});
}

}  // namespace

void RestartIfNeeded(RunContext& run, int rebootOption)
{
    if (run.rebootNeeded == platform::FALSE) {
        run.Trace({u"restart: not needed"});
        return;
    }
    run.outcome.RecordRestart(Restart::Needed);
    if (rebootOption == 0) {
        run.Trace({u"restart: needed, left to the user (no /reboot)"});
        ShowCatalogueMessage(run, kMsgRebootRequired, platform::MB_ICONINFORMATION);
    } else if (!run.quiet) {
        run.Trace({u"restart: needed, the system's prompt is shown"});
        platform::SetupPromptReboot(nullptr, nullptr, platform::FALSE);
    } else {
        StartRestart(run);
    }
}

}  // namespace ostrel
