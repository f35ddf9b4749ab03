/* newdev.dll, planted: a stand-in that the end-to-end tests put beside
 * OstrelSetup.exe to show that the program never loads a newdev.dll from its
 * own folder; copied under the names setupapi.dll, shell32.dll and
 * user32.dll, it shows the same for the libraries the program loads at their
 * first use. Being loaded at all runs DllMain, which leaves a mark file
 * beside the DLL ("<its name>.loaded"); its update function leaves another
 * ("newdev.dll.called") and claims success.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <wchar.h>

static HINSTANCE self;

static void leave_mark(const wchar_t *suffix)
{
    wchar_t path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    wcscpy(path + length, suffix);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        leave_mark(L".loaded");
    }
    return TRUE;
}

/* Exported under its plain name, as the system's is; 32-bit stdcall names
 * carry their argument size, which the alias drops. */
#if defined(__i386__)
__asm__(
    ".section .drectve\n\t.ascii \" "
    "-export:UpdateDriverForPlugAndPlayDevicesW=UpdateDriverForPlugAndPlayDevicesW@20\"\n\t.text");
#define PLANTED_EXPORT
#else
#define PLANTED_EXPORT __declspec(dllexport)
#endif

PLANTED_EXPORT BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND parent, LPCWSTR hardware_id, LPCWSTR inf_path,
                                                              DWORD flags, BOOL *reboot)
{
    (void)parent;
    (void)hardware_id;
    (void)inf_path;
    (void)flags;
    if (reboot != NULL) *reboot = FALSE;
    leave_mark(L".called");
    return TRUE;
}
