// Message boxes and the shell. USER32 and SHELL32 are loaded at the first
// of their calls (system_libraries.h).
#include "platform/platform.h"

#include "platform/windows/system_libraries.h"
#include "platform/windows/win_cast.h"

#include <shellapi.h>

namespace platform {

using win::Wide;
using win::Window;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    const auto call = OSTREL_SYSTEM_FUNCTION(user, MessageBoxW);
    return call != nullptr ? call(Window(owner), Wide(text), Wide(caption), type) : 0;
}

HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        int showCommand)
{
    // The shell's own answer for a library it cannot load.
    const auto call = OSTREL_SYSTEM_FUNCTION(shell, ShellExecuteW);
    return call != nullptr
               ? call(Window(owner), Wide(operation), Wide(file), Wide(parameters), Wide(directory), showCommand)
               : reinterpret_cast<::HINSTANCE>(SE_ERR_DLLNOTFOUND);
}

}  // namespace platform
