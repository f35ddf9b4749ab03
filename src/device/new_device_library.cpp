#include "device/new_device_library.h"

#include <algorithm>
#include <iterator>

#include "platform/platform.h"

namespace ostrel {

namespace {

constexpr char16_t kLibraryName[] = u"newdev.dll";
constexpr std::size_t kLibraryNameLength = std::size(kLibraryName) - 1;

// Writes "<system folder>\newdev.dll" into `path`.
Result BuildSystemFolderPath(char16_t (&path)[platform::MAX_PATH])
{
    const platform::UINT length = platform::GetSystemDirectoryW(path, platform::MAX_PATH);
    if (length == 0) return Result::LastError();
    // A result of MAX_PATH or more is the size the folder would need.
    if (length >= platform::MAX_PATH) return Result::Failure(platform::ERROR_INSUFFICIENT_BUFFER);
    std::size_t end = length;
    if (path[end - 1] != u'\\') path[end++] = u'\\';
    if (end + kLibraryNameLength >= platform::MAX_PATH) return Result::Failure(platform::ERROR_INSUFFICIENT_BUFFER);
    std::copy(std::begin(kLibraryName), std::end(kLibraryName), path + end);
    return Result::Done();
}

Result Loaded(platform::HMODULE module, platform::unique_library& library)
{
    if (module == nullptr) return Result::LastError();
    library.reset(module);
    return Result::Done();
}

}  // namespace

// Windows before the update that brought LOAD_LIBRARY_SEARCH_SYSTEM32
// refuses the flag with ERROR_INVALID_PARAMETER; there the full path in the
// system folder does the same.
Result LoadNewDeviceLibrary(platform::unique_library& library)
{
    const Result loaded =
        Loaded(platform::LoadLibraryExW(kLibraryName, nullptr, platform::LOAD_LIBRARY_SEARCH_SYSTEM32), library);
    if (!loaded.Failed() || loaded.Error() != platform::ERROR_INVALID_PARAMETER) return loaded;
    char16_t path[platform::MAX_PATH]{};
    const Result built = BuildSystemFolderPath(path);
    if (built.Failed()) return built;
    return Loaded(platform::LoadLibraryExW(path, nullptr, 0), library);
}

}  // namespace ostrel
