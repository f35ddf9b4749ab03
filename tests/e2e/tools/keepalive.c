/* keepalive: holds a Wine prefix warm for the end-to-end tests.
 *
 * Wine ends its helper processes (service manager, device manager, desktop)
 * as soon as no program of the prefix runs, and starts them again for the
 * next one, which costs most of a second per command. This program just
 * stays, shows nothing, and ends when the given file appears or the time
 * is up. Once it runs it makes READYFILE, so that the harness can wait for
 * the prefix to be up before its first real command: two programs that both
 * start a fresh prefix's helper processes race each other.
 *
 *   keepalive.exe STOPFILE SECONDS READYFILE
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdlib.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 4) return 2;
    HANDLE ready = CreateFileW(argv[3], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready == INVALID_HANDLE_VALUE) return 3;
    CloseHandle(ready);
    DWORD limit_ms = (DWORD)wcstoul(argv[2], NULL, 10) * 1000;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < limit_ms) {
        if (GetFileAttributesW(argv[1]) != INVALID_FILE_ATTRIBUTES) return 0;
        Sleep(200);
    }
    return 1;
}
