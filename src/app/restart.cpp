// The restart step at the end of a run.
#include "app/restart.h"

#include "base/numbers.h"
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
Result EnableShutdownPrivilege()
{
    platform::HANDLE token = nullptr;
    if (!platform::OpenProcessToken(platform::GetCurrentProcess(),
                                    platform::TOKEN_ADJUST_PRIVILEGES | platform::TOKEN_QUERY, &token))
        return Result::LastError();
    const platform::unique_kernel_handle owned(token);
    platform::TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = platform::SE_PRIVILEGE_ENABLED;
    if (!platform::LookupPrivilegeValueW(nullptr, platform::SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        return Result::LastError();
    if (!platform::AdjustTokenPrivileges(token, platform::FALSE, &privileges, sizeof privileges, nullptr, nullptr))
        return Result::LastError();
    const Result adjusted = Result::LastError();
    return adjusted.Error() == platform::ERROR_SUCCESS ? Result::Done() : adjusted;
}

Result InitiateRestart()
{
    const Result privileged = EnableShutdownPrivilege();
    if (privileged.Failed()) return privileged;
    if (!platform::InitiateSystemShutdownExW(nullptr, nullptr, 0, platform::FALSE, platform::TRUE, kRestartReason))
        return Result::LastError();
    return Result::Done();
}

// A planned restart at once: nobody is there to be warned. A restart that
// cannot be started is left to the deployment system, as one needed.
void StartRestart(RunContext& run)
{
    const Result started = InitiateRestart();
    if (started.Failed()) {
        run.Trace("restart: needed, could not be started (error ", Decimal(started.Error()).c_str(),
                  "): ", GetSystemErrorText(started.Error()));
        return;
    }
    run.outcome.RecordRestartStarted();
    run.Trace("restart: started");
}

}  // namespace

void RestartIfNeeded(RunContext& run, int rebootOption)
{
    if (run.outcome.RestartState() == Restart::NotNeeded) {
        run.Trace("restart: not needed");
        return;
    }
    if (rebootOption == 0) {
        run.Trace("restart: needed, left to the user (no /reboot)");
        ShowCatalogueMessage(run, kMsgRebootRequired, platform::MB_ICONINFORMATION);
    } else if (!run.quiet) {
        run.Trace("restart: needed, the system's prompt is shown");
        platform::SetupPromptReboot(nullptr, nullptr, platform::FALSE);
    } else {
        StartRestart(run);
    }
}

}  // namespace ostrel
