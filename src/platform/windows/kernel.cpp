// Kernel calls: process, files, locale, errors, memory, libraries.
#include "platform/platform.h"

#include "platform/windows/win_cast.h"

namespace platform {

using win::Module;
using win::Utf16;
using win::Wide;

UINT SetErrorMode(UINT mode) { return ::SetErrorMode(mode); }

LPCWSTR GetCommandLineW() { return Utf16(::GetCommandLineW()); }

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size)
{
    return ::GetModuleFileNameW(Module(module), Wide(fileName), size);
}

DWORD GetFileAttributesW(LPCWSTR fileName) { return ::GetFileAttributesW(Wide(fileName)); }

BOOL SetThreadLocale(LCID locale) { return ::SetThreadLocale(locale); }

LCID GetThreadLocale() { return ::GetThreadLocale(); }

DWORD GetLastError() { return ::GetLastError(); }

void SetLastError(DWORD error) { ::SetLastError(error); }

DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                     void* arguments)
{
    return ::FormatMessageW(flags, source, messageId, languageId, Wide(buffer), size, static_cast<va_list*>(arguments));
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) { return ::LocalAlloc(flags, bytes); }

HLOCAL LocalFree(HLOCAL memory) { return ::LocalFree(memory); }

HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE reserved, DWORD flags)
{
    return ::LoadLibraryExW(Wide(fileName), reserved, flags);
}

FARPROC GetProcAddress(HMODULE module, const char* procName)
{
    // void (*)() is the one function-pointer type that any other converts to
    // without a cast-function-type warning; callers convert it back.
    return reinterpret_cast<FARPROC>(::GetProcAddress(Module(module), procName));
}

BOOL FreeLibrary(HMODULE module) { return ::FreeLibrary(Module(module)); }

DWORD GetFullPathNameW(LPCWSTR fileName, DWORD bufferLength, LPWSTR buffer, LPWSTR* filePart)
{
    return ::GetFullPathNameW(Wide(fileName), bufferLength, Wide(buffer), reinterpret_cast<::LPWSTR*>(filePart));
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) { return ::GetSystemDirectoryW(Wide(buffer), size); }

BOOL SetDefaultDllDirectories(DWORD directoryFlags)
{
    // Looked up at run time: Windows 7 without KB2533623 has no such export,
    // and a static import would keep the program from loading there at all.
    using SetDefaultDllDirectoriesFn = ::BOOL(WINAPI*)(::DWORD);
    ::HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    ::FARPROC found = kernel != nullptr ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (found == nullptr) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    auto setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(found));
    return setDirectories(directoryFlags);
}

LPWSTR lstrcpynW(LPWSTR destination, LPCWSTR source, int maxLength)
{
    return Utf16(::lstrcpynW(Wide(destination), Wide(source), maxLength));
}

int lstrlenW(LPCWSTR text) { return ::lstrlenW(Wide(text)); }

}  // namespace platform
