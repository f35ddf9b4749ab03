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

// Class lookup, then the action on every present device of the class that
// lists the ID. A failure on one device is shown and passed over.
int ChangeMatchingDevices(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded,
                          DeviceAction action, unsigned failureMessage)
{
    InfClass infClass;
    if (!LookUpInfClass(infPath, infClass)) return 0;
    platform::unique_device_info_set set(
        platform::SetupDiGetClassDevsW(&infClass.guid, nullptr, nullptr, platform::DIGCF_PRESENT));
    if (!set) return ReportError(kMsgGetClassDevicesFailed);

    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (platform::DWORD index = 0; platform::SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        if (!ListsHardwareId(set.get(), device, hardwareId)) continue;
        if (!action(set.get(), device))
            ReportError(failureMessage, hardwareId);
        else if (NeedsRestart(set.get(), device))
            *rebootNeeded = platform::TRUE;
    }
    // The last call was the enumeration that ended the scan.
    if (platform::GetLastError() != platform::ERROR_NO_MORE_ITEMS) ReportError(kMsgScanDevicesFailed);
    return 1;
}

}  // namespace

int EnableDevice(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded)
{
    return ChangeMatchingDevices(infPath, hardwareId, rebootNeeded, Enable, kMsgEnableDeviceFailed);
}

int DisableDevice(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded)
{
    return ChangeMatchingDevices(infPath, hardwareId, rebootNeeded, Disable, kMsgDisableDeviceFailed);
}

int RemoveDevice(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded)
{
    return ChangeMatchingDevices(infPath, hardwareId, rebootNeeded, Remove, kMsgRemoveDeviceFailed);
}

}  // namespace ostrel
