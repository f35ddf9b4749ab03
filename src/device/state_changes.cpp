// Enabling, disabling and removing the present devices of the INF file's
// class that list a hardware ID.

#include "device/device.h"
#include "device/device_class.h"
#include "device/hardware_ids.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace ostrel {

namespace {

using platform::HDEVINFO;
using platform::SP_DEVINFO_DATA;

// One action on one matching device: true when it succeeded.
using DeviceAction = bool (*)(HDEVINFO set, SP_DEVINFO_DATA& device);

bool ChangeState(HDEVINFO set, SP_DEVINFO_DATA& device, platform::DWORD stateChange, platform::DWORD scope)
{
    platform::SP_PROPCHANGE_PARAMS params{};
    params.ClassInstallHeader.cbSize = sizeof(platform::SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = platform::DIF_PROPERTYCHANGE;
    params.StateChange = stateChange;
    params.Scope = scope;
    params.HwProfile = 0;  // the current hardware profile
    return platform::SetupDiSetClassInstallParamsW(set, &device, &params.ClassInstallHeader, sizeof params) &&
           platform::SetupDiCallClassInstaller(platform::DIF_PROPERTYCHANGE, set, &device);
}

// The global enable clears a disable that was made for every profile; many
// class installers refuse it, so only the enable in the current profile
// decides.
bool Enable(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    static_cast<void>(ChangeState(set, device, platform::DICS_ENABLE, platform::DICS_FLAG_GLOBAL));
    return ChangeState(set, device, platform::DICS_ENABLE, platform::DICS_FLAG_CONFIGSPECIFIC);
}

bool Disable(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    return ChangeState(set, device, platform::DICS_DISABLE, platform::DICS_FLAG_CONFIGSPECIFIC);
}

bool Remove(HDEVINFO set, SP_DEVINFO_DATA& device) { return platform::SetupDiRemoveDevice(set, &device) != 0; }

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

// Before a change in a quiet run: the class installer must not ask, and a
// device's failure to take the flag is that change's failure.
bool MakeQuiet(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    platform::SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    if (!platform::SetupDiGetDeviceInstallParamsW(set, &device, &params)) return false;
    params.Flags |= platform::DI_QUIETINSTALL;
    return platform::SetupDiSetDeviceInstallParamsW(set, &device, &params) != 0;
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
// lists the ID. A failure on one device is shown and passed over.
Next ChangeMatchingDevices(RunContext& run, const char16_t* hardwareId, const DeviceChange& change)
{
    InfClass infClass;
    if (!LookUpInfClass(run, infClass)) return kStop;
    platform::unique_device_info_set set(
        platform::SetupDiGetClassDevsW(&infClass.guid, nullptr, nullptr, platform::DIGCF_PRESENT));
    if (!set) return ReportError(run, kMsgGetClassDevicesFailed);

    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    unsigned matching = 0;
    platform::DWORD index = 0;
    for (; platform::SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        if (!ListsHardwareId(set.get(), device, hardwareId)) continue;
        ++matching;
        const bool changed = (!run.quiet || MakeQuiet(set.get(), device)) && change.action(set.get(), device);
        TraceDevice(run, change, hardwareId, index, changed ? change.done : u"failed");
        if (!changed)
            ReportError(run, change.failureMessage, hardwareId);
        else if (NeedsRestart(set.get(), device))
            run.rebootNeeded = platform::TRUE;
    }
    // The last call was the enumeration that ended the scan.
    if (platform::GetLastError() != platform::ERROR_NO_MORE_ITEMS) ReportError(run, kMsgScanDevicesFailed);
    TraceScan(run, change, hardwareId, matching, index);
    return kGoOn;
}

}  // namespace

Next EnableDevice(RunContext& run, const char16_t* hardwareId)
{
    return ChangeMatchingDevices(run, hardwareId, kEnable);
}

Next DisableDevice(RunContext& run, const char16_t* hardwareId)
{
    return ChangeMatchingDevices(run, hardwareId, kDisable);
}

Next RemoveDevice(RunContext& run, const char16_t* hardwareId)
{
    return ChangeMatchingDevices(run, hardwareId, kRemove);
}

}  // namespace ostrel
