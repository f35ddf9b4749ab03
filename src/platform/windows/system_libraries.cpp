#include "platform/windows/system_libraries.h"

#include <iterator>

namespace platform::win {

namespace {

// The one place that names these libraries. Entries of one width, so that
// the names lie together in the executable, where tests/pe finds them and
// nowhere else.
constexpr wchar_t kLibraryNames[][13] = {L"setupapi.dll", L"shell32.dll", L"user32.dll"};

::HMODULE loaded[std::size(kLibraryNames)];  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

// Windows before the update that brought LOAD_LIBRARY_SEARCH_SYSTEM32
// refuses the flag with ERROR_INVALID_PARAMETER; there the full path in the
// system folder does the same.
::HMODULE LoadFromSystemFolder(const wchar_t* name)
{
    ::HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
    wchar_t path[MAX_PATH];
    UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0) return nullptr;
    // A result of MAX_PATH or more is the size the folder would need.
    const auto nameLength = static_cast<UINT>(::lstrlenW(name));
    if (length + 1 + nameLength >= MAX_PATH) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nullptr;
    }
    if (path[length - 1] != L'\\') path[length++] = L'\\';
    ::lstrcpynW(path + length, name, static_cast<int>(nameLength + 1));
    return ::LoadLibraryExW(path, nullptr, 0);
}

}  // namespace

::FARPROC Resolve(SystemLibrary library, const char* function)
{
    const auto index = static_cast<unsigned>(library);
    ::HMODULE& module = loaded[index];
    if (module == nullptr) module = LoadFromSystemFolder(kLibraryNames[index]);
    if (module == nullptr) return nullptr;
    return ::GetProcAddress(module, function);
}

}  // namespace platform::win
