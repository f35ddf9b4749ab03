/* Answers every message box of another process at once, for the benchmark's
 * runs that show one ("help" and its bare program): it presses OK as soon
 * as a box is visible, logs nothing, and ends when STOPFILE appears. Once
 * it runs it makes READYFILE.
 *
 *   answer_boxes.exe STOPFILE READYFILE
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

static HWND g_last;
static DWORD g_last_at;

static BOOL CALLBACK visit(HWND window, LPARAM unused)
{
    (void)unused;
    wchar_t class_name[16];
    DWORD pid = 0;
    if (!GetClassNameW(window, class_name, 16) || lstrcmpW(class_name, L"#32770") != 0) return TRUE;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    /* A click that came before the box could take it is sent again. */
    if (window == g_last && GetTickCount() - g_last_at < 200) return TRUE;
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(window, IDOK));
    g_last = window;
    g_last_at = GetTickCount();
    return TRUE;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) return 2;
    HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready == INVALID_HANDLE_VALUE) return 3;
    CloseHandle(ready);
    for (unsigned round = 0;; ++round) {
        EnumWindows(visit, 0);
        if (round % 100 == 0 && GetFileAttributesW(argv[1]) != INVALID_FILE_ATTRIBUTES) return 0;
        Sleep(1);
    }
}
