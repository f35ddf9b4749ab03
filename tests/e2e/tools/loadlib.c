/* loadlib: loads DLLs by their bare names, as a program that trusts the
 * classic search order does (the program's own folder first), to show that
 * a planted DLL would be taken there. It imports nothing but KERNEL32 and
 * the C runtime, so that no name asked for is loaded already.
 *
 *   loadlib.exe NAME...
 *
 * Exit code 0 when every one loaded, else the last error of the first that
 * did not.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdio.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) {
        fputs("usage: loadlib NAME...\n", stderr);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        HMODULE module = LoadLibraryW(argv[i]);
        if (module == NULL) {
            DWORD error = GetLastError();
            fprintf(stderr, "LoadLibraryW(%ls) failed: %lu\n", argv[i], error);
            return (int)error;
        }
        FreeLibrary(module);
    }
    return 0;
}
