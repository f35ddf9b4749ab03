// Processes, the user and the rights a restart needs.
#include "platform/platform.h"

#include "platform/windows/win_cast.h"

namespace platform {

using win::Sdk;
using win::Wide;

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

BOOL IsWow64Process(HANDLE process, BOOL* wow64) { return ::IsWow64Process(process, wow64); }

BOOL IsWow64Process2(HANDLE process, USHORT* processMachine, USHORT* nativeMachine)
{
    // Looked up at run time: Windows before 10 version 1709 has no such
    // export, and a static import would keep the program from loading there.
    using IsWow64Process2Fn = ::BOOL(WINAPI*)(::HANDLE, ::USHORT*, ::USHORT*);
    ::HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    ::FARPROC found = kernel != nullptr ? ::GetProcAddress(kernel, "IsWow64Process2") : nullptr;
    if (found == nullptr) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    auto isWow64Process2 = reinterpret_cast<IsWow64Process2Fn>(reinterpret_cast<void (*)()>(found));
    return isWow64Process2(process, processMachine, nativeMachine);
}

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, void* processAttributes, void* threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, void* environment, LPCWSTR currentDirectory,
                    STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation)
{
    return ::CreateProcessW(
        Wide(applicationName), Wide(commandLine), static_cast<::SECURITY_ATTRIBUTES*>(processAttributes),
        static_cast<::SECURITY_ATTRIBUTES*>(threadAttributes), inheritHandles, creationFlags, environment,
        Wide(currentDirectory), Sdk<::STARTUPINFOW>(startupInfo), Sdk<::PROCESS_INFORMATION>(processInformation));
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) { return ::WaitForSingleObject(object, milliseconds); }

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) { return ::GetExitCodeProcess(process, exitCode); }

BOOL GetUserNameW(LPWSTR buffer, DWORD* size) { return ::GetUserNameW(Wide(buffer), size); }

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token)
{
    return ::OpenProcessToken(process, desiredAccess, token);
}

BOOL GetTokenInformation(HANDLE token, int informationClass, void* information, DWORD length, DWORD* returnLength)
{
    return ::GetTokenInformation(token, static_cast<::TOKEN_INFORMATION_CLASS>(informationClass), information, length,
                                 returnLength);
}

BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, LUID* luid)
{
    return ::LookupPrivilegeValueW(Wide(systemName), Wide(name), Sdk<::LUID>(luid));
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD length,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnLength)
{
    return ::AdjustTokenPrivileges(token, disableAll, Sdk<::TOKEN_PRIVILEGES>(newState), length,
                                   Sdk<::TOKEN_PRIVILEGES>(previousState), returnLength);
}

BOOL InitiateSystemShutdownExW(LPWSTR machineName, LPWSTR message, DWORD timeout, BOOL forceAppsClosed,
                               BOOL rebootAfterShutdown, DWORD reason)
{
    return ::InitiateSystemShutdownExW(Wide(machineName), Wide(message), timeout, forceAppsClosed, rebootAfterShutdown,
                                       reason);
}

}  // namespace platform
