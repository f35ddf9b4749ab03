// Message boxes and the shell.
#include "platform/platform.h"

#include "platform/windows/win_cast.h"

#include <shellapi.h>

namespace platform {

using win::Wide;
using win::Window;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    return ::MessageBoxW(Window(owner), Wide(text), Wide(caption), type);
}

HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        int showCommand)
{
    return ::ShellExecuteW(Window(owner), Wide(operation), Wide(file), Wide(parameters), Wide(directory), showCommand);
}

}  // namespace platform
