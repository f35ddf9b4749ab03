// Installing the INF file's driver for a hardware ID: on the present
// devices that have it, or on a new root-enumerated device made for it.

#include "device/device.h"
#include "device/device_class.h"
#include "device/device_scan.h"
#include "device/hardware_ids.h"
#include "device/system_library.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "run/action_words.h"

namespace ostrel {

namespace {

// The ID a new device carries: at most 255 characters and the terminator,
// in a zeroed buffer of 260, so that a second zero always follows and the
// property reads as a multi-string of exactly one ID.
constexpr int kIdCopyLimit = 256;

// Windows' own driver tool answers 259 for this; a quiet run does too.
Result ShowNewerDriverExists(RunContext& run, const char16_t* hardwareId)
{
    run.Trace(kInstallDeviceWord, hardwareId, ": left alone, a newer driver is in place");
    run.outcome.RecordDeviceLeftAlone();
    Text text;
    FormatCatalogueMessage(text, kMsgNewerDriverExists, hardwareId);
    ShowMessage(run, text.c_str(), platform::MB_OK);
    return Result::Unchanged();
}

Result UpdateFailed(RunContext& run, Result failure, const char16_t* hardwareId, unsigned message)
{
    run.Trace(kInstallDeviceWord, hardwareId, ": failed");
    return Report(run, failure, message, hardwareId);
}

// A failed update: a better driver in place counts as done; no present
// device with the ID is an answer of its own, for the caller; anything else
// is reported.
Result JudgeFailedUpdate(RunContext& run, Result failure, const char16_t* hardwareId)
{
    if (failure.Error() == platform::ERROR_NO_MORE_ITEMS) return ShowNewerDriverExists(run, hardwareId);
    if (failure.Error() == platform::ERROR_NO_SUCH_DEVINST) return Result::NothingFound();
    return UpdateFailed(run, failure, hardwareId, kMsgUpdateDriverFailed);
}

// Takes the device this run made out again, through the class installer
// as a removal in Device Manager would; the failure that led here stays the
// run's. A removal that fails is reported as well.
Result RemoveNewDevice(RunContext& run, platform::HDEVINFO set, platform::SP_DEVINFO_DATA& device,
                       const char16_t* hardwareId, Result failure)
{
    platform::SP_REMOVEDEVICE_PARAMS params{};
    params.ClassInstallHeader.cbSize = sizeof(platform::SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = platform::DIF_REMOVE;
    params.Scope = platform::DI_REMOVEDEVICE_GLOBAL;
    params.HwProfile = 0;
    Result removed = run.quiet ? MakeQuiet(set, device) : Result::Done();
    if (!removed.Failed()) {
        // Windows sets the last error of a refusal; an empty one then says so.
        platform::SetLastError(platform::ERROR_SUCCESS);
        if (!platform::SetupDiSetClassInstallParamsW(set, &device, &params.ClassInstallHeader, sizeof params) ||
            !platform::SetupDiCallClassInstaller(platform::DIF_REMOVE, set, &device))
            removed = Result::LastError();
    }
    if (removed.Failed()) {
        run.Trace(kInstallDeviceWord, hardwareId, ": the device made for it could not be removed again");
        static_cast<void>(Report(run, removed, kMsgRemoveNewDeviceFailed, hardwareId));
    } else {
        run.Trace(kInstallDeviceWord, hardwareId, ": the device made for it was removed again");
    }
    return failure;
}

// The driver update on the device just made: no device for the driver
// there either is a failure like any other, now.
Result UpdateNewDevice(RunContext& run, const char16_t* hardwareId)
{
    const Result updated = UpdateDeviceDriver(run, hardwareId);
    if (!updated.IsNothingFound()) return updated;
    return UpdateFailed(run, Result::Failure(platform::ERROR_NO_SUCH_DEVINST), hardwareId, kMsgUpdateDriverFailed);
}

Result CreateDeviceAndUpdate(RunContext& run, const char16_t* hardwareId)
{
    HardwareIdBuffer idCopy{};
    platform::lstrcpynW(idCopy, hardwareId, kIdCopyLimit);
    InfClass infClass;
    const Result lookedUp = LookUpInfClass(run, infClass);
    if (lookedUp.Failed()) return lookedUp;
    platform::unique_device_info_set set(platform::SetupDiCreateDeviceInfoList(&infClass.guid, nullptr));
    if (!set) return UpdateFailed(run, Result::LastError(), hardwareId, kMsgCreateDeviceInfoListFailed);

    platform::SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!platform::SetupDiCreateDeviceInfoW(set.get(), infClass.name, &infClass.guid, nullptr, nullptr,
                                            platform::DICD_GENERATE_ID, &device))
        return UpdateFailed(run, Result::LastError(), hardwareId, kMsgCreateDeviceInfoFailed);

    // From here on the device is this run's own: a failure takes it out again.
    Result result = Result::Done();
    const auto idBytes = static_cast<platform::DWORD>(2 * platform::lstrlenW(idCopy) + 4);
    if (!platform::SetupDiSetDeviceRegistryPropertyW(set.get(), &device, platform::SPDRP_HARDWAREID,
                                                     reinterpret_cast<const platform::BYTE*>(idCopy), idBytes))
        result = UpdateFailed(run, Result::LastError(), hardwareId, kMsgAddHardwareIdFailed);
    else if (!platform::SetupDiCallClassInstaller(platform::DIF_REGISTERDEVICE, set.get(), &device))
        result = UpdateFailed(run, Result::LastError(), hardwareId, kMsgRegisterDeviceFailed);
    if (!result.Failed()) {
        run.Trace(kInstallDeviceWord, hardwareId, ": root device created");
        result = UpdateNewDevice(run, hardwareId);
    }
    return result.Failed() ? RemoveNewDevice(run, set.get(), device, hardwareId, result) : result;
}

}  // namespace

// Windows writes FALSE into the restart answer of every update that needs
// no restart, so the run gets only its TRUE: a restart that an earlier ID
// needs is not forgotten.
// A quiet run asks for an install without prompts, so that an unsigned
// driver fails with its error instead of waiting on a dialog nobody sees.
Result UpdateDeviceDriver(RunContext& run, const char16_t* hardwareId)
{
    platform::unique_library newdev;
    const Result loaded = LoadSystemLibrary(kNewDevLibrary, newdev);
    if (loaded.Failed()) return UpdateFailed(run, loaded, hardwareId, kMsgLoadNewDevFailed);
    platform::FARPROC function = nullptr;
    const Result found = FindFunction(newdev, "UpdateDriverForPlugAndPlayDevicesW", function);
    if (found.Failed()) return UpdateFailed(run, found, hardwareId, kMsgUpdateFunctionNotFound);
    const auto update = reinterpret_cast<platform::UpdateDriverForPlugAndPlayDevicesWFn>(function);

    const platform::DWORD flags = run.quiet ? platform::INSTALLFLAG_NONINTERACTIVE : 0;
    platform::BOOL restart = platform::FALSE;
    const Result answer =
        update(nullptr, hardwareId, run.infPath, flags, &restart) ? Result::Done() : Result::LastError();
    if (restart != platform::FALSE) run.outcome.RecordRestartNeeded();
    if (answer.Failed()) return JudgeFailedUpdate(run, answer, hardwareId);
    run.Trace(kInstallDeviceWord, hardwareId, ": driver updated");
    return Result::Done();
}

// An empty ID names no device: nothing is created for it, and the walk
// goes on with the next one. A root device is made only when Windows finds
// no present device with the ID; after a failure of the update, which has
// been reported, nothing is made.
Result InstallDevice(RunContext& run, const char16_t* hardwareId)
{
    if (hardwareId[0] == u'\0') return Result::NothingFound();
    const Result updated = UpdateDeviceDriver(run, hardwareId);
    if (!updated.IsNothingFound()) return updated;
    return CreateDeviceAndUpdate(run, hardwareId);
}

}  // namespace ostrel
