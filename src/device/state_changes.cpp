// Enabling, disabling and removing the present devices of the INF file's
// class that list a hardware ID.

#include "device/device.h"
#include "device/device_class.h"
#include "base/numbers.h"
#include "device/hardware_ids.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

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

// Each device's list is read into a buffer cleared just before: a list
// that lacks its closing empty string must not run on into what the
// previous device left there.
bool ListsHardwareId(HDEVINFO set, SP_DEVINFO_DATA& device, const char16_t* hardwareId)
{
    HardwareIdBuffer ids{};
    if (!platform::SetupDiGetDeviceRegistryPropertyW(set, &device, platform::SPDRP_HARDWAREID, nullptr,
                                                     reinterpret_cast<platform::BYTE*>(ids), sizeof ids, nullptr))
        return false;
    return HardwareIdListHolds(ids, kHardwareIdCapacity, hardwareId);
}

struct DeviceChange {
    DeviceAction action;
    unsigned failureMessage;
    const char16_t* keyword;  // for the log, with its blank
    const char16_t* done;
};

constexpr DeviceChange kEnable{Enable, kMsgEnableDeviceFailed, u"enable device ", u"enabled"};
constexpr DeviceChange kDisable{Disable, kMsgDisableDeviceFailed, u"disable device ", u"disabled"};
constexpr DeviceChange kRemove{Remove, kMsgRemoveDeviceFailed, u"remove device ", u"removed"};

// Before a change in a quiet run: the class installer must not ask, and a
// device's failure to take the flag is that change's failure.
Result MakeQuiet(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    platform::SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    if (!platform::SetupDiGetDeviceInstallParamsW(set, &device, &params)) return Result::LastError();
    params.Flags |= platform::DI_QUIETINSTALL;
    if (!platform::SetupDiSetDeviceInstallParamsW(set, &device, &params)) return Result::LastError();
    return Result::Done();
}

Result MakeChange(const RunContext& run, const DeviceChange& change, HDEVINFO set, SP_DEVINFO_DATA& device)
{
    if (run.quiet) {
        const Result quiet = MakeQuiet(set, device);
        if (quiet.Failed()) return quiet;
    }
    return change.action(set, device);
}

void TraceDevice(const RunContext& run, const DeviceChange& change, const char16_t* hardwareId, platform::DWORD index,
                 const char16_t* what)
{
    run.Trace({change.keyword, hardwareId, u": present device #", Decimal(index).c_str(), u" ", what});
}

void TraceScan(const RunContext& run, const DeviceChange& change, const char16_t* hardwareId, unsigned matching,
               platform::DWORD present)
{
    run.Trace({change.keyword, hardwareId, u": ", Decimal(matching).c_str(), u" of ", Decimal(present).c_str(),
               u" present devices of the class list it"});
}

// Class lookup, then the change on every present device of the class that
// lists the ID. A failure on one device is reported and passed over: once
// the scan has started, the ID is done with, whatever became of each device.
Result ChangeMatchingDevices(RunContext& run, const char16_t* hardwareId, const DeviceChange& change)
{
    InfClass infClass;
    const Result lookedUp = LookUpInfClass(run, infClass);
    if (lookedUp.Failed()) return lookedUp;
    platform::unique_device_info_set set(
        platform::SetupDiGetClassDevsW(&infClass.guid, nullptr, nullptr, platform::DIGCF_PRESENT));
    if (!set) return Report(run, Result::LastError(), kMsgGetClassDevicesFailed);

    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    unsigned matching = 0;
    platform::DWORD index = 0;
    for (; platform::SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        if (!ListsHardwareId(set.get(), device, hardwareId)) continue;
        ++matching;
        const Result changed = MakeChange(run, change, set.get(), device);
        TraceDevice(run, change, hardwareId, index, changed.Failed() ? u"failed" : change.done);
        if (changed.Failed())
            static_cast<void>(Report(run, changed, change.failureMessage, hardwareId));
        else if (NeedsRestart(set.get(), device))
            run.outcome.RecordRestartNeeded();
    }
    const Result scanEnd = Result::LastError();  // of the enumeration that ended the scan
    if (scanEnd.Error() != platform::ERROR_NO_MORE_ITEMS)
        static_cast<void>(Report(run, scanEnd, kMsgScanDevicesFailed));
    TraceScan(run, change, hardwareId, matching, index);
    return matching == 0 ? Result::NothingFound() : Result::Done();
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

}  // namespace ostrel
