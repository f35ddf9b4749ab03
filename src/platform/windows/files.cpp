// The log file's kind, identity, ends and lock, and the clock the waits of
// a run are measured by.
#include "platform/platform.h"

#include "platform/windows/win_cast.h"

namespace platform {

using win::Sdk;

DWORD GetFileType(HANDLE file) { return ::GetFileType(file); }

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information)
{
    return ::GetFileInformationByHandle(file, Sdk<::BY_HANDLE_FILE_INFORMATION>(information));
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void* overlapped)
{
    return ::ReadFile(file, buffer, bytesToRead, bytesRead, static_cast<::OVERLAPPED*>(overlapped));
}

BOOL SetFilePointerEx(HANDLE file, LONGLONG distance, LONGLONG* newPointer, DWORD moveMethod)
{
    ::LARGE_INTEGER move{};
    move.QuadPart = distance;
    ::LARGE_INTEGER moved{};
    const ::BOOL done = ::SetFilePointerEx(file, move, &moved, moveMethod);
    if (done != FALSE && newPointer != nullptr) *newPointer = moved.QuadPart;
    return done;
}

BOOL LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD bytesLow, DWORD bytesHigh, OVERLAPPED* overlapped)
{
    return ::LockFileEx(file, flags, reserved, bytesLow, bytesHigh, Sdk<::OVERLAPPED>(overlapped));
}

BOOL UnlockFileEx(HANDLE file, DWORD reserved, DWORD bytesLow, DWORD bytesHigh, OVERLAPPED* overlapped)
{
    return ::UnlockFileEx(file, reserved, bytesLow, bytesHigh, Sdk<::OVERLAPPED>(overlapped));
}

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

ULONGLONG GetTickCount64() { return ::GetTickCount64(); }

}  // namespace platform
