/* The limit of "stop service NAME" (built twice: with BARE_QUIET defined it
 * stands for "/quiet stop service NAME", which needs no USER32). A service
 * that is not running counts as stopped, as in OstrelSetup.
 *
 *   bare_stop_service.exe NAME
 */
#include "bare.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    wchar_t inf_path[MAX_PATH];
    bare_start(inf_path);
#ifndef BARE_QUIET
    bare_check_window_station();
#endif
    if (!bare_before_action(inf_path)) return ERROR_FILE_NOT_FOUND;
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (manager == NULL) return (int)GetLastError();
    DWORD result = ERROR_SUCCESS;
    SC_HANDLE service = OpenServiceW(manager, arguments, SERVICE_ALL_ACCESS);
    if (service == NULL) {
        result = GetLastError();
    } else {
        SERVICE_STATUS status;
        if (!ControlService(service, SERVICE_CONTROL_STOP, &status) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
            result = GetLastError();
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return (int)result;
}
