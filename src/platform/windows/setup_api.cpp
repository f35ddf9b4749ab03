// The Setup API: device information sets, INF files, file queues, restart.
// SETUPAPI is loaded at the first of these calls (system_libraries.h); each
// returns its failure value when it cannot be, as the call itself would.
#include "platform/platform.h"

#include <type_traits>

#include "platform/windows/system_libraries.h"
#include "platform/windows/win_cast.h"

#include <setupapi.h>

namespace platform {

using win::Sdk;
using win::Wide;
using win::Window;

// The queue callback is handed to the system as it is, so its type has to be
// the SDK's own, calling convention included.
static_assert(std::is_same_v<PSP_FILE_CALLBACK_W, ::PSP_FILE_CALLBACK_W>, "queue callback signature");

BOOL SetupDiGetINFClassW(LPCWSTR infName, GUID* classGuid, LPWSTR className, DWORD classNameSize, DWORD* requiredSize)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiGetINFClassW);
    return call != nullptr ? call(Wide(infName), Sdk<::GUID>(classGuid), Wide(className), classNameSize, requiredSize)
                           : FALSE;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND parent, DWORD flags)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiGetClassDevsW);
    return call != nullptr ? call(Sdk<::GUID>(classGuid), Wide(enumerator), Window(parent), flags)
                           : INVALID_HANDLE_VALUE;
}

HDEVINFO SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiCreateDeviceInfoList);
    return call != nullptr ? call(Sdk<::GUID>(classGuid), Window(parent)) : INVALID_HANDLE_VALUE;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiEnumDeviceInfo);
    return call != nullptr ? call(set, index, Sdk<::SP_DEVINFO_DATA>(device)) : FALSE;
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* propertyRegType,
                                       BYTE* buffer, DWORD bufferSize, DWORD* requiredSize)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiGetDeviceRegistryPropertyW);
    return call != nullptr
               ? call(set, Sdk<::SP_DEVINFO_DATA>(device), property, propertyRegType, buffer, bufferSize, requiredSize)
               : FALSE;
}

BOOL SetupDiCreateDeviceInfoW(HDEVINFO set, LPCWSTR deviceName, const GUID* classGuid, LPCWSTR deviceDescription,
                              HWND parent, DWORD creationFlags, SP_DEVINFO_DATA* device)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiCreateDeviceInfoW);
    return call != nullptr ? call(set, Wide(deviceName), Sdk<::GUID>(classGuid), Wide(deviceDescription),
                                  Window(parent), creationFlags, Sdk<::SP_DEVINFO_DATA>(device))
                           : FALSE;
}

BOOL SetupDiSetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, const BYTE* buffer,
                                       DWORD bufferSize)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiSetDeviceRegistryPropertyW);
    return call != nullptr ? call(set, Sdk<::SP_DEVINFO_DATA>(device), property, buffer, bufferSize) : FALSE;
}

BOOL SetupDiSetClassInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_CLASSINSTALL_HEADER* params,
                                   DWORD paramsSize)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiSetClassInstallParamsW);
    return call != nullptr
               ? call(set, Sdk<::SP_DEVINFO_DATA>(device), Sdk<::SP_CLASSINSTALL_HEADER>(params), paramsSize)
               : FALSE;
}

BOOL SetupDiCallClassInstaller(UINT installFunction, HDEVINFO set, SP_DEVINFO_DATA* device)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiCallClassInstaller);
    return call != nullptr ? call(installFunction, set, Sdk<::SP_DEVINFO_DATA>(device)) : FALSE;
}

BOOL SetupDiRemoveDevice(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiRemoveDevice);
    return call != nullptr ? call(set, Sdk<::SP_DEVINFO_DATA>(device)) : FALSE;
}

BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiGetDeviceInstallParamsW);
    return call != nullptr ? call(set, Sdk<::SP_DEVINFO_DATA>(device), Sdk<::SP_DEVINSTALL_PARAMS_W>(params)) : FALSE;
}

BOOL SetupDiSetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiSetDeviceInstallParamsW);
    return call != nullptr ? call(set, Sdk<::SP_DEVINFO_DATA>(device), Sdk<::SP_DEVINSTALL_PARAMS_W>(params)) : FALSE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiDestroyDeviceInfoList);
    return call != nullptr ? call(set) : FALSE;
}

BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* device, LPWSTR instanceId, DWORD instanceIdSize,
                                 DWORD* requiredSize)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiGetDeviceInstanceIdW);
    return call != nullptr ? call(set, Sdk<::SP_DEVINFO_DATA>(device), Wide(instanceId), instanceIdSize, requiredSize)
                           : FALSE;
}

HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD scope, DWORD hwProfile, DWORD keyType,
                          DWORD desiredAccess)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiOpenDevRegKey);
    return call != nullptr ? call(set, Sdk<::SP_DEVINFO_DATA>(device), scope, hwProfile, keyType, desiredAccess)
                           : INVALID_HANDLE_VALUE;
}

BOOL SetupCopyOEMInfW(LPCWSTR sourceInfFileName, LPCWSTR sourceMediaLocation, DWORD sourceMediaType, DWORD copyStyle,
                      LPWSTR destinationInfFileName, DWORD destinationInfFileNameSize, DWORD* requiredSize,
                      LPWSTR* destinationInfFileNameComponent)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupCopyOEMInfW);
    return call != nullptr ? call(Wide(sourceInfFileName), Wide(sourceMediaLocation), sourceMediaType, copyStyle,
                                  Wide(destinationInfFileName), destinationInfFileNameSize, requiredSize,
                                  reinterpret_cast<::PWSTR*>(destinationInfFileNameComponent))
                           : FALSE;
}

BOOL SetupUninstallOEMInfW(LPCWSTR infFileName, DWORD flags, void* reserved)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupUninstallOEMInfW);
    return call != nullptr ? call(Wide(infFileName), flags, reserved) : FALSE;
}

HINF SetupOpenInfFileW(LPCWSTR fileName, LPCWSTR infClass, DWORD infStyle, UINT* errorLine)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupOpenInfFileW);
    return call != nullptr ? call(Wide(fileName), Wide(infClass), infStyle, errorLine) : INVALID_HANDLE_VALUE;
}

void SetupCloseInfFile(HINF inf)
{
    if (const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupCloseInfFile)) call(inf);
}

HSPFILEQ SetupOpenFileQueue()
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupOpenFileQueue);
    return call != nullptr ? call() : INVALID_HANDLE_VALUE;
}

BOOL SetupCloseFileQueue(HSPFILEQ queue)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupCloseFileQueue);
    return call != nullptr ? call(queue) : FALSE;
}

BOOL SetupInstallFilesFromInfSectionW(HINF inf, HINF layoutInf, HSPFILEQ queue, LPCWSTR sectionName,
                                      LPCWSTR sourceRootPath, UINT copyFlags)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupInstallFilesFromInfSectionW);
    return call != nullptr ? call(inf, layoutInf, queue, Wide(sectionName), Wide(sourceRootPath), copyFlags) : FALSE;
}

void* SetupInitDefaultQueueCallback(HWND owner)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupInitDefaultQueueCallback);
    return call != nullptr ? call(Window(owner)) : nullptr;
}

void* SetupInitDefaultQueueCallbackEx(HWND owner, HWND alternateProgressWindow, UINT progressMessage, DWORD reserved1,
                                      void* reserved2)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupInitDefaultQueueCallbackEx);
    return call != nullptr ? call(Window(owner), Window(alternateProgressWindow), progressMessage, reserved1, reserved2)
                           : nullptr;
}

void SetupTermDefaultQueueCallback(void* context)
{
    if (const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupTermDefaultQueueCallback)) call(context);
}

UINT PLATFORM_API SetupDefaultQueueCallbackW(void* context, UINT notification, UINT_PTR param1, UINT_PTR param2)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDefaultQueueCallbackW);
    return call != nullptr ? call(context, notification, param1, param2) : FILEOP_ABORT;
}

BOOL SetupCommitFileQueueW(HWND owner, HSPFILEQ queue, PSP_FILE_CALLBACK_W callback, void* context)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupCommitFileQueueW);
    return call != nullptr ? call(Window(owner), queue, callback, context) : FALSE;
}

BOOL SetupInstallFromInfSectionW(HWND owner, HINF inf, LPCWSTR sectionName, UINT flags, void* relativeKeyRoot,
                                 LPCWSTR sourceRootPath, UINT copyFlags, PSP_FILE_CALLBACK_W callback, void* context,
                                 HDEVINFO deviceInfoSet, SP_DEVINFO_DATA* deviceInfoData)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupInstallFromInfSectionW);
    return call != nullptr ? call(Window(owner), inf, Wide(sectionName), flags, static_cast<::HKEY>(relativeKeyRoot),
                                  Wide(sourceRootPath), copyFlags, callback, context, deviceInfoSet,
                                  Sdk<::SP_DEVINFO_DATA>(deviceInfoData))
                           : FALSE;
}

int SetupPromptReboot(HSPFILEQ queue, HWND owner, BOOL scanOnly)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupPromptReboot);
    return call != nullptr ? call(queue, Window(owner), scanOnly) : -1;
}

BOOL SetupDiGetActualSectionToInstallW(HINF inf, LPCWSTR sectionName, LPWSTR actualName, DWORD actualNameSize,
                                       DWORD* requiredSize, LPWSTR* extension)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupDiGetActualSectionToInstallW);
    return call != nullptr ? call(inf, Wide(sectionName), Wide(actualName), actualNameSize, requiredSize,
                                  reinterpret_cast<::PWSTR*>(extension))
                           : FALSE;
}

BOOL SetupInstallServicesFromInfSectionW(HINF inf, LPCWSTR sectionName, DWORD flags)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(setupApi, SetupInstallServicesFromInfSectionW);
    return call != nullptr ? call(inf, Wide(sectionName), flags) : FALSE;
}

}  // namespace platform
