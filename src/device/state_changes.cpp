// Enabling, disabling, restarting and removing the present devices of the INF file's
// class that list a hardware ID.

#include "device/device.h"
#include "device/device_scan.h"
#include "base/numbers.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "run/action_words.h"

namespace ostrel {

namespace {

using platform::HDEVINFO;
using platform::SP_DEVINFO_DATA;

// One action on one matching device.
using DeviceAction = Result (*)(HDEVINFO set, SP_DEVINFO_DATA& device);

Result ChangeState(HDEVINFO set, SP_DEVINFO_DATA& device, platform::DWORD stateChange, platform::DWORD scope)
{
    platform::SP_PROPCHANGE_PARAMS params{};
    params.ClassInstallHeader.cbSize = sizeof(platform::SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = platform::DIF_PROPERTYCHANGE;
    params.StateChange = stateChange;
    params.Scope = scope;
    params.HwProfile = 0;  // the current hardware profile
    // As for the class lookup: a refusal without an error of its own must
    // not read as an earlier call's.
    platform::SetLastError(platform::ERROR_SUCCESS);
    if (!platform::SetupDiSetClassInstallParamsW(set, &device, &params.ClassInstallHeader, sizeof params) ||
        !platform::SetupDiCallClassInstaller(platform::DIF_PROPERTYCHANGE, set, &device))
        return Result::LastError();
    return Result::Done();
}

// The global enable clears a disable that was made for every profile; many
// class installers refuse it, so only the enable in the current profile
// decides.
Result Enable(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    static_cast<void>(ChangeState(set, device, platform::DICS_ENABLE, platform::DICS_FLAG_GLOBAL));
    return ChangeState(set, device, platform::DICS_ENABLE, platform::DICS_FLAG_CONFIGSPECIFIC);
}

Result Disable(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    return ChangeState(set, device, platform::DICS_DISABLE, platform::DICS_FLAG_CONFIGSPECIFIC);
}

// Stopped and started again, as Device Manager does after a change of its
// settings.
Result Restart(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    return ChangeState(set, device, platform::DICS_PROPCHANGE, platform::DICS_FLAG_CONFIGSPECIFIC);
}

Result Remove(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    return platform::SetupDiRemoveDevice(set, &device) ? Result::Done() : Result::LastError();
}

bool NeedsRestart(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    platform::SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    return platform::SetupDiGetDeviceInstallParamsW(set, &device, &params) &&
           (params.Flags & (platform::DI_NEEDRESTART | platform::DI_NEEDREBOOT)) != 0;
}

struct DeviceChange {
    DeviceAction action;
    unsigned failureMessage;
    const char* keyword;  // for the log, with its blank
    const char* done;
};

constexpr DeviceChange kEnable{Enable, kMsgEnableDeviceFailed, kEnableDeviceWord, "enabled"};
constexpr DeviceChange kDisable{Disable, kMsgDisableDeviceFailed, kDisableDeviceWord, "disabled"};
constexpr DeviceChange kRemove{Remove, kMsgRemoveDeviceFailed, kRemoveDeviceWord, "removed"};
constexpr DeviceChange kRestart{Restart, kMsgRestartDeviceFailed, kRestartDeviceWord, "restarted"};

Result MakeChange(const RunContext& run, const DeviceChange& change, HDEVINFO set, SP_DEVINFO_DATA& device)
{
    if (run.quiet) {
        const Result quiet = MakeQuiet(set, device);
        if (quiet.Failed()) return quiet;
    }
    return change.action(set, device);
}

void TraceDevice(const RunContext& run, const DeviceChange& change, const char16_t* hardwareId, platform::DWORD index,
                 const char* what)
{
    run.Trace(change.keyword, hardwareId, ": present device #", Decimal(index).c_str(), " ", what);
}

// The change on every present device of the class that lists the ID. A
// failure on one device is reported and passed over: once the scan has
// started, the ID is done with, whatever became of each device.
Result ChangeMatchingDevices(RunContext& run, const char16_t* hardwareId, const DeviceChange& change)
{
    DeviceScan scan(run, change.keyword, hardwareId);
    const Result opened = scan.Open();
    if (opened.Failed()) return opened;
    while (scan.Next()) {
        const Result changed = MakeChange(run, change, scan.Set(), scan.Device());
        TraceDevice(run, change, hardwareId, scan.Index(), changed.Failed() ? "failed" : change.done);
        if (changed.Failed())
            static_cast<void>(Report(run, changed, change.failureMessage, hardwareId));
        else if (NeedsRestart(scan.Set(), scan.Device()))
            run.outcome.RecordRestartNeeded();
    }
    return scan.Finish();
}

}  // namespace

Result EnableDevice(RunContext& run, const char16_t* hardwareId)
{
    return ChangeMatchingDevices(run, hardwareId, kEnable);
}

Result DisableDevice(RunContext& run, const char16_t* hardwareId)
{
    return ChangeMatchingDevices(run, hardwareId, kDisable);
}

Result RemoveDevice(RunContext& run, const char16_t* hardwareId)
{
    return ChangeMatchingDevices(run, hardwareId, kRemove);
}

Result RestartDevice(RunContext& run, const char16_t* hardwareId)
{
    return ChangeMatchingDevices(run, hardwareId, kRestart);
}

}  // namespace ostrel
