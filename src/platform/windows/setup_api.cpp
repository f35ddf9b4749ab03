// The Setup API: device information sets, INF files, file queues, restart.
#include "platform/platform.h"

#include <type_traits>

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
    return ::SetupDiGetINFClassW(Wide(infName), Sdk<::GUID>(classGuid), Wide(className), classNameSize, requiredSize);
}

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND parent, DWORD flags)
{
    return ::SetupDiGetClassDevsW(Sdk<::GUID>(classGuid), Wide(enumerator), Window(parent), flags);
}

HDEVINFO SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent)
{
    return ::SetupDiCreateDeviceInfoList(Sdk<::GUID>(classGuid), Window(parent));
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device)
{
    return ::SetupDiEnumDeviceInfo(set, index, Sdk<::SP_DEVINFO_DATA>(device));
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* propertyRegType,
                                       BYTE* buffer, DWORD bufferSize, DWORD* requiredSize)
{
    return ::SetupDiGetDeviceRegistryPropertyW(set, Sdk<::SP_DEVINFO_DATA>(device), property, propertyRegType, buffer,
                                               bufferSize, requiredSize);
}

BOOL SetupDiCreateDeviceInfoW(HDEVINFO set, LPCWSTR deviceName, const GUID* classGuid, LPCWSTR deviceDescription,
                              HWND parent, DWORD creationFlags, SP_DEVINFO_DATA* device)
{
    return ::SetupDiCreateDeviceInfoW(set, Wide(deviceName), Sdk<::GUID>(classGuid), Wide(deviceDescription),
                                      Window(parent), creationFlags, Sdk<::SP_DEVINFO_DATA>(device));
}

BOOL SetupDiSetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, const BYTE* buffer,
                                       DWORD bufferSize)
{
    return ::SetupDiSetDeviceRegistryPropertyW(set, Sdk<::SP_DEVINFO_DATA>(device), property, buffer, bufferSize);
}

BOOL SetupDiSetClassInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_CLASSINSTALL_HEADER* params,
                                   DWORD paramsSize)
{
    return ::SetupDiSetClassInstallParamsW(set, Sdk<::SP_DEVINFO_DATA>(device), Sdk<::SP_CLASSINSTALL_HEADER>(params),
                                           paramsSize);
}

BOOL SetupDiCallClassInstaller(UINT installFunction, HDEVINFO set, SP_DEVINFO_DATA* device)
{
    return ::SetupDiCallClassInstaller(installFunction, set, Sdk<::SP_DEVINFO_DATA>(device));
}

BOOL SetupDiRemoveDevice(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    return ::SetupDiRemoveDevice(set, Sdk<::SP_DEVINFO_DATA>(device));
}

BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params)
{
    return ::SetupDiGetDeviceInstallParamsW(set, Sdk<::SP_DEVINFO_DATA>(device), Sdk<::SP_DEVINSTALL_PARAMS_W>(params));
}

BOOL SetupDiSetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params)
{
    return ::SetupDiSetDeviceInstallParamsW(set, Sdk<::SP_DEVINFO_DATA>(device), Sdk<::SP_DEVINSTALL_PARAMS_W>(params));
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) { return ::SetupDiDestroyDeviceInfoList(set); }

HINF SetupOpenInfFileW(LPCWSTR fileName, LPCWSTR infClass, DWORD infStyle, UINT* errorLine)
{
    return ::SetupOpenInfFileW(Wide(fileName), Wide(infClass), infStyle, errorLine);
}

void SetupCloseInfFile(HINF inf) { ::SetupCloseInfFile(inf); }

HSPFILEQ SetupOpenFileQueue() { return ::SetupOpenFileQueue(); }

BOOL SetupCloseFileQueue(HSPFILEQ queue) { return ::SetupCloseFileQueue(queue); }

BOOL SetupInstallFilesFromInfSectionW(HINF inf, HINF layoutInf, HSPFILEQ queue, LPCWSTR sectionName,
                                      LPCWSTR sourceRootPath, UINT copyFlags)
{
    return ::SetupInstallFilesFromInfSectionW(inf, layoutInf, queue, Wide(sectionName), Wide(sourceRootPath),
                                              copyFlags);
}

void* SetupInitDefaultQueueCallback(HWND owner) { return ::SetupInitDefaultQueueCallback(Window(owner)); }

void* SetupInitDefaultQueueCallbackEx(HWND owner, HWND alternateProgressWindow, UINT progressMessage, DWORD reserved1,
                                      void* reserved2)
{
    return ::SetupInitDefaultQueueCallbackEx(Window(owner), Window(alternateProgressWindow), progressMessage, reserved1,
                                             reserved2);
}

void SetupTermDefaultQueueCallback(void* context) { ::SetupTermDefaultQueueCallback(context); }

UINT PLATFORM_API SetupDefaultQueueCallbackW(void* context, UINT notification, UINT_PTR param1, UINT_PTR param2)
{
    return ::SetupDefaultQueueCallbackW(context, notification, param1, param2);
}

BOOL SetupCommitFileQueueW(HWND owner, HSPFILEQ queue, PSP_FILE_CALLBACK_W callback, void* context)
{
    return ::SetupCommitFileQueueW(Window(owner), queue, callback, context);
}

BOOL SetupInstallFromInfSectionW(HWND owner, HINF inf, LPCWSTR sectionName, UINT flags, void* relativeKeyRoot,
                                 LPCWSTR sourceRootPath, UINT copyFlags, PSP_FILE_CALLBACK_W callback, void* context,
                                 HDEVINFO deviceInfoSet, SP_DEVINFO_DATA* deviceInfoData)
{
    return ::SetupInstallFromInfSectionW(Window(owner), inf, Wide(sectionName), flags,
                                         static_cast<::HKEY>(relativeKeyRoot), Wide(sourceRootPath), copyFlags,
                                         callback, context, deviceInfoSet, Sdk<::SP_DEVINFO_DATA>(deviceInfoData));
}

int SetupPromptReboot(HSPFILEQ queue, HWND owner, BOOL scanOnly)
{
    return ::SetupPromptReboot(queue, Window(owner), scanOnly);
}

BOOL SetupDiGetActualSectionToInstallW(HINF inf, LPCWSTR sectionName, LPWSTR actualName, DWORD actualNameSize,
                                       DWORD* requiredSize, LPWSTR* extension)
{
    return ::SetupDiGetActualSectionToInstallW(inf, Wide(sectionName), Wide(actualName), actualNameSize, requiredSize,
                                               reinterpret_cast<::PWSTR*>(extension));
}

BOOL SetupInstallServicesFromInfSectionW(HINF inf, LPCWSTR sectionName, DWORD flags)
{
    return ::SetupInstallServicesFromInfSectionW(inf, Wide(sectionName), flags);
}

}  // namespace platform
