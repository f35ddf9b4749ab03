#include "device/system_library.h"

#include <algorithm>

#include "base/text.h"
#include "platform/platform.h"

namespace ostrel {

namespace {

// Writes "<system folder>\<name>" into `path`.
Result BuildSystemFolderPath(const char16_t* name, char16_t (&path)[platform::MAX_PATH])
{
    const platform::UINT length = platform::GetSystemDirectoryW(path, platform::MAX_PATH);
    if (length == 0) return Result::LastError();
    // A result of MAX_PATH or more is the size the folder would need.
    if (length >= platform::MAX_PATH) return Result::Failure(platform::ERROR_INSUFFICIENT_BUFFER);
    std::size_t end = length;
    if (path[end - 1] != u'\\') path[end++] = u'\\';
    const std::size_t nameLength = TextLength(name);
    if (end + nameLength >= platform::MAX_PATH) return Result::Failure(platform::ERROR_INSUFFICIENT_BUFFER);
    std::copy(name, name + nameLength + 1, path + end);
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
Result LoadSystemLibrary(const char16_t* name, platform::unique_library& library)
{
    const Result loaded =
        Loaded(platform::LoadLibraryExW(name, nullptr, platform::LOAD_LIBRARY_SEARCH_SYSTEM32), library);
    if (!loaded.Failed() || loaded.Error() != platform::ERROR_INVALID_PARAMETER) return loaded;
    char16_t path[platform::MAX_PATH]{};
    const Result built = BuildSystemFolderPath(name, path);
    if (built.Failed()) return built;
    return Loaded(platform::LoadLibraryExW(path, nullptr, 0), library);
}

Result FindFunction(const platform::unique_library& library, const char* name, platform::FARPROC& function)
{
    function = platform::GetProcAddress(library.get(), name);
    return function != nullptr ? Result::Done() : Result::LastError();
}

Result FindSystemFunction(const char16_t* name, platform::unique_library& library, const char* function,
                          platform::FARPROC& address)
{
    if (!library) {
        const Result loaded = LoadSystemLibrary(name, library);
        if (loaded.Failed()) return loaded;
    }
    return FindFunction(library, function, address);
}

}  // namespace ostrel
