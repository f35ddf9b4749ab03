#include "device/pending_installations.h"

#include "base/error_names.h"
#include "base/numbers.h"
#include "device/system_library.h"
#include "messages/messages.h"
#include "platform/platform.h"

namespace ostrel {

namespace {

constexpr char kWaitFunction[] = "CMP_WaitNoPendingInstallEvents";
// The configuration manager's library; the Setup API's exports the same
// function, but is loaded by the Windows backend alone.
constexpr const char16_t* kLibraries[] = {kConfigManagerLibrary};

enum class Settled { kYes, kStillPending, kUnknown };

Settled Wait(const RunContext& run, const char* when)
{
    for (const char16_t* name : kLibraries) {
        platform::unique_library library;
        platform::FARPROC function = nullptr;
        if (LoadSystemLibrary(name, library).Failed() || FindFunction(library, kWaitFunction, function).Failed())
            continue;
        const auto wait = reinterpret_cast<platform::CMP_WaitNoPendingInstallEventsFn>(function);
        const platform::DWORD answer = wait(run.waitSeconds * 1000);
        if (answer == platform::WAIT_OBJECT_0) {
            run.Trace("devices: no installation pending ", when);
            return Settled::kYes;
        }
        if (answer == platform::WAIT_TIMEOUT) {
            run.Trace("devices: installations still pending ", when, ", after ", Decimal(run.waitSeconds).c_str(),
                      " s");
            return Settled::kStillPending;
        }
        const Result failed = Result::LastError();
        Text line;
        line.append("devices: the wait for pending installations failed, going on: ");
        AppendErrorCode(line, failed.Error());
        run.Trace(line);
        return Settled::kUnknown;
    }
    run.Trace(
        "devices: this system cannot wait for pending installations (no CMP_WaitNoPendingInstallEvents), "
        "going on");
    return Settled::kUnknown;
}

}  // namespace

Result WaitBeforeDeviceAction(RunContext& run)
{
    if (run.waitSeconds == 0) return Result::Done();
    if (Wait(run, "before the action") != Settled::kStillPending) return Result::Done();
    return ReportAlone(run, Result::Failure(platform::ERROR_INSTALL_ALREADY_RUNNING), kMsgInstallationsPending);
}

void WaitAfterInstall(RunContext& run)
{
    if (run.waitSeconds != 0) static_cast<void>(Wait(run, "after the installs"));
}

void WaitAfterRescan(RunContext& run)
{
    if (run.waitSeconds != 0) static_cast<void>(Wait(run, "after the rescan"));
}

}  // namespace ostrel
