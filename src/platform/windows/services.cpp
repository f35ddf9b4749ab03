// The Service Control Manager.
#include "platform/platform.h"

#include "platform/windows/win_cast.h"

namespace platform {

using win::Sdk;
using win::ServiceHandle;
using win::Wide;

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess)
{
    return ::OpenSCManagerW(Wide(machineName), Wide(databaseName), desiredAccess);
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess)
{
    return ::OpenServiceW(ServiceHandle(manager), Wide(serviceName), desiredAccess);
}

BOOL StartServiceW(SC_HANDLE service, DWORD argumentCount, LPCWSTR* arguments)
{
    return ::StartServiceW(ServiceHandle(service), argumentCount, reinterpret_cast<::LPCWSTR*>(arguments));
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status)
{
    return ::ControlService(ServiceHandle(service), control, Sdk<::SERVICE_STATUS>(status));
}

BOOL DeleteService(SC_HANDLE service) { return ::DeleteService(ServiceHandle(service)); }

BOOL QueryServiceStatusEx(SC_HANDLE service, int infoLevel, BYTE* buffer, DWORD bufferSize, DWORD* bytesNeeded)
{
    return ::QueryServiceStatusEx(ServiceHandle(service), static_cast<::SC_STATUS_TYPE>(infoLevel), buffer, bufferSize,
                                  bytesNeeded);
}

BOOL CloseServiceHandle(SC_HANDLE handle) { return ::CloseServiceHandle(ServiceHandle(handle)); }

}  // namespace platform
