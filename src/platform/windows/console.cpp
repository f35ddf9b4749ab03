// Unattended runs: the window station, standard handles, the console, the
// log file and the local time it is stamped with.
#include "platform/platform.h"

#include "platform/windows/system_libraries.h"
#include "platform/windows/win_cast.h"

namespace platform {

using win::Sdk;
using win::Wide;

// The window station is USER32's, loaded at the first of these calls
// (system_libraries.h): a quiet run never makes them.
HANDLE GetProcessWindowStation()
{
    const auto call = OSTREL_SYSTEM_FUNCTION(user, GetProcessWindowStation);
    return call != nullptr ? call() : nullptr;
}

BOOL GetUserObjectInformationW(HANDLE object, int index, void* info, DWORD length, DWORD* lengthNeeded)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(user, GetUserObjectInformationW);
    return call != nullptr ? call(object, index, info, length, lengthNeeded) : FALSE;
}

HANDLE GetStdHandle(DWORD stdHandle) { return ::GetStdHandle(stdHandle); }

BOOL AttachConsole(DWORD processId) { return ::AttachConsole(processId); }

BOOL GetConsoleMode(HANDLE console, DWORD* mode) { return ::GetConsoleMode(console, mode); }

BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD charsToWrite, DWORD* charsWritten, void* reserved)
{
    return ::WriteConsoleW(console, buffer, charsToWrite, charsWritten, reserved);
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile)
{
    return ::CreateFileW(Wide(fileName), desiredAccess, shareMode,
                         static_cast<::SECURITY_ATTRIBUTES*>(securityAttributes), creationDisposition,
                         flagsAndAttributes, templateFile);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, void* overlapped)
{
    return ::WriteFile(file, buffer, bytesToWrite, bytesWritten, static_cast<::OVERLAPPED*>(overlapped));
}

BOOL CloseHandle(HANDLE object) { return ::CloseHandle(object); }

void GetLocalTime(SYSTEMTIME* time) { ::GetLocalTime(Sdk<::SYSTEMTIME>(time)); }

}  // namespace platform
