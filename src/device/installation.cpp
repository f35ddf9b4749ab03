// Installing the INF file's driver for a hardware ID: on the present
// devices that have it, or on a new root-enumerated device made for it.

#include "device/device.h"
#include "device/device_class.h"
#include "device/hardware_ids.h"
#include "device/new_device_library.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace ostrel {

namespace {

// The ID a new device carries: at most 255 characters and the terminator,
// in a zeroed buffer of 260, so that a second zero always follows and the
// property reads as a multi-string of exactly one ID.
constexpr int kIdCopyLimit = 256;

int ShowNewerDriverExists(const char16_t* hardwareId)
{
    Text text;
    FormatCatalogueMessage(text, kMsgNewerDriverExists, hardwareId);
    ShowMessage(text.c_str(), platform::MB_OK);
    return 1;
}

// A failed update: a better driver in place counts as done; no present
// device with the ID is for the caller to answer; anything else is shown.
int JudgeFailedUpdate(const char16_t* hardwareId)
{
    if (platform::GetLastError() == platform::ERROR_NO_MORE_ITEMS) return ShowNewerDriverExists(hardwareId);
    if (platform::GetLastError() == platform::ERROR_NO_SUCH_DEVINST) return 0;
    return ReportError(kMsgUpdateDriverFailed, hardwareId);
}

int CreateDeviceAndUpdate(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded)
{
    HardwareIdBuffer idCopy{};
    platform::lstrcpynW(idCopy, hardwareId, kIdCopyLimit);
    InfClass infClass;
    if (!LookUpInfClass(infPath, infClass)) return 0;
    platform::unique_device_info_set set(platform::SetupDiCreateDeviceInfoList(&infClass.guid, nullptr));
    if (!set) return ReportError(kMsgCreateDeviceInfoListFailed);

    platform::SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!platform::SetupDiCreateDeviceInfoW(set.get(), infClass.name, &infClass.guid, nullptr, nullptr,
                                            platform::DICD_GENERATE_ID, &device))
        return ReportError(kMsgCreateDeviceInfoFailed);
    const auto idBytes = static_cast<platform::DWORD>(2 * platform::lstrlenW(idCopy) + 4);
    if (!platform::SetupDiSetDeviceRegistryPropertyW(set.get(), &device, platform::SPDRP_HARDWAREID,
                                                     reinterpret_cast<const platform::BYTE*>(idCopy), idBytes))
        return ReportError(kMsgAddHardwareIdFailed, hardwareId);
    if (!platform::SetupDiCallClassInstaller(platform::DIF_REGISTERDEVICE, set.get(), &device))
        return ReportError(kMsgRegisterDeviceFailed, hardwareId);
    return UpdateDeviceDriver(infPath, hardwareId, rebootNeeded);
}

}  // namespace

// Windows writes FALSE into the restart answer of every update that needs
// no restart, so the run's flag gets only its TRUE: a restart that an
// earlier ID needs is not forgotten.
int UpdateDeviceDriver(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded)
{
    platform::unique_library newdev(LoadNewDeviceLibrary());
    if (!newdev) return ReportError(kMsgLoadNewDevFailed);
    const auto update = reinterpret_cast<platform::UpdateDriverForPlugAndPlayDevicesWFn>(
        platform::GetProcAddress(newdev.get(), "UpdateDriverForPlugAndPlayDevicesW"));
    if (update == nullptr) return ReportError(kMsgUpdateFunctionNotFound);

    platform::BOOL restart = platform::FALSE;
    const platform::BOOL updated = update(nullptr, hardwareId, infPath, 0, &restart);
    if (restart != platform::FALSE) *rebootNeeded = platform::TRUE;
    if (updated != platform::FALSE) return updated;
    return JudgeFailedUpdate(hardwareId);
}

// An empty ID names no device: nothing is created for it, and the walk
// goes on with the next one.
int InstallDevice(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded)
{
    if (hardwareId[0] == u'\0') return 1;
    if (UpdateDeviceDriver(infPath, hardwareId, rebootNeeded) != 0) return 1;
    return CreateDeviceAndUpdate(infPath, hardwareId, rebootNeeded);
}

}  // namespace ostrel
