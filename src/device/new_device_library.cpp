#include "device/new_device_library.h"

#include <algorithm>
#include <iterator>

#include "platform/platform.h"

namespace ostrel {

namespace {

constexpr char16_t kLibraryName[] = u"newdev.dll";
constexpr std::size_t kLibraryNameLength = std::size(kLibraryName) - 1;

// Writes "<system folder>\newdev.dll" into `path`; false, with the last
// error set, when it does not fit.
bool BuildSystemFolderPath(char16_t (&path)[platform::MAX_PATH])
{
    const platform::UINT length = platform::GetSystemDirectoryW(path, platform::MAX_PATH);
    if (length == 0) return false;
    // A result of MAX_PATH or more is the size the folder would need.
    if (length >= platform::MAX_PATH) {
        platform::SetLastError(platform::ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    std::size_t end = length;
    if (path[end - 1] != u'\\') path[end++] = u'\\';
    if (end + kLibraryNameLength >= platform::MAX_PATH) {
        platform::SetLastError(platform::ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    std::copy(std::begin(kLibraryName), std::end(kLibraryName), path + end);
    return true;
}

}  // namespace

// Windows before the update that brought LOAD_LIBRARY_SEARCH_SYSTEM32
// refuses the flag with ERROR_INVALID_PARAMETER; there the full path in the
// system folder does the same.
platform::HMODULE LoadNewDeviceLibrary()
{
    platform::HMODULE library = platform::LoadLibraryExW(kLibraryName, nullptr, platform::LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library != nullptr || platform::GetLastError() != platform::ERROR_INVALID_PARAMETER) return library;
    char16_t path[platform::MAX_PATH]{};
    if (!BuildSystemFolderPath(path)) return nullptr;
    return platform::LoadLibraryExW(path, nullptr, 0);
}

}  // namespace ostrel
