/* The limit of "/quiet install device HWID" where a device with the ID is
 * present: newdev.dll from the system folder and its driver update, without
 * prompts, for the INF file beside the program.
 *
 *   bare_install_device.exe HWID
 */
#define BARE_QUIET
#include "bare.h"

typedef BOOL(WINAPI* UpdateDriverFn)(HWND, LPCWSTR, LPCWSTR, DWORD, BOOL*);

enum { kInstallNonInteractive = 0x4 };

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    wchar_t inf_path[MAX_PATH];
    bare_start(inf_path);
    if (!bare_before_action(inf_path)) return ERROR_FILE_NOT_FOUND;
    HMODULE newdev = LoadLibraryExW(L"newdev.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (newdev == NULL) return (int)GetLastError();
    DWORD result = ERROR_SUCCESS;
    UpdateDriverFn update =
        (UpdateDriverFn)(void (*)(void))GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesW");
    BOOL restart = FALSE;
    if (update == NULL || !update(NULL, arguments, inf_path, kInstallNonInteractive, &restart)) result = GetLastError();
    FreeLibrary(newdev);
    return (int)result;
}
