/* What every OstrelSetup run does before its action, as a bare program does
 * it: the calls the program makes at start-up, in the same order, and no
 * more. Each bare program of the benchmark (scripts/bench.sh) adds exactly
 * the calls its action must make, so that it imports only the libraries
 * those calls need: the limit a run of OstrelSetup is measured against.
 */
#ifndef BARE_H
#define BARE_H

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL(WINAPI* IsWow64Process2Fn)(HANDLE, USHORT*, USHORT*);

static inline FARPROC bare_kernel_function(const char* name)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel != NULL ? GetProcAddress(kernel, name) : NULL;
}

/* No system boxes, libraries from the system folder only, the command line,
 * and the INF file's path: the program's own with ".inf". */
static inline void bare_start(wchar_t* inf_path)
{
    UINT mode = SetErrorMode(0);
    SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetDefaultDllDirectoriesFn set_directories =
        (SetDefaultDllDirectoriesFn)(void (*)(void))bare_kernel_function("SetDefaultDllDirectories");
    if (set_directories != NULL) set_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    GetCommandLineW();
    DWORD length = GetModuleFileNameW(NULL, inf_path, MAX_PATH);
    if (length == 0 || length + 4 >= MAX_PATH) {
        inf_path[0] = L'\0';
        return;
    }
    wchar_t* dot = inf_path + length;
    while (dot > inf_path && *dot != L'.') --dot;
    lstrcpyW(dot, L".inf");
}

#ifndef BARE_QUIET
/* A run without /quiet shows boxes only on a visible window station. */
static inline void bare_check_window_station(void)
{
    USEROBJECTFLAGS flags;
    DWORD needed = 0;
    HWINSTA station = GetProcessWindowStation();
    if (station != NULL) GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed);
}
#endif

/* Whether device actions must go to a 64-bit sibling, and the INF test. */
static inline BOOL bare_before_action(const wchar_t* inf_path)
{
    USHORT process_machine = 0, native_machine = 0;
    IsWow64Process2Fn is_wow64_process2 = (IsWow64Process2Fn)(void (*)(void))bare_kernel_function("IsWow64Process2");
    if (is_wow64_process2 != NULL) is_wow64_process2(GetCurrentProcess(), &process_machine, &native_machine);
    return GetFileAttributesW(inf_path) != INVALID_FILE_ATTRIBUTES;
}

#endif
