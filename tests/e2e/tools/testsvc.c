/* testsvc: the smallest real Windows service, for the service actions'
 * end-to-end tests. Register it with
 *   wine sc create NAME binPath= C:\path\testsvc.exe
 * It reports running until the service manager asks it to stop. Created as
 *   wine sc create NAME binPath= "C:\path\testsvc.exe --stop-delay 4000"
 * it takes that many milliseconds to stop, reporting STOP_PENDING with a
 * checkpoint that moves on every half second, as a well-behaved slow
 * service does. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdlib.h>

#define STEP_MS 500

static SERVICE_STATUS_HANDLE g_status_handle;
static HANDLE g_stop_event;
static DWORD g_stop_delay_ms;

static void report(DWORD state, DWORD checkpoint)
{
    SERVICE_STATUS status;
    ZeroMemory(&status, sizeof status);
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwCheckPoint = checkpoint;
    status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 3000;
    SetServiceStatus(g_status_handle, &status);
}

static DWORD WINAPI on_control(DWORD control, DWORD type, LPVOID data, LPVOID context)
{
    (void)type;
    (void)data;
    (void)context;
    if (control == SERVICE_CONTROL_STOP) {
        report(SERVICE_STOP_PENDING, 1);
        SetEvent(g_stop_event);
        return NO_ERROR;
    }
    return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

static void WINAPI service_main(DWORD argc, LPWSTR *argv)
{
    DWORD waited, checkpoint = 1;
    g_status_handle = RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : L"", on_control, NULL);
    if (!g_status_handle) return;
    g_stop_event = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (!g_stop_event) {
        report(SERVICE_STOPPED, 0);
        return;
    }
    report(SERVICE_RUNNING, 0);
    WaitForSingleObject(g_stop_event, INFINITE);
    CloseHandle(g_stop_event);
    for (waited = 0; waited < g_stop_delay_ms; waited += STEP_MS) {
        Sleep(STEP_MS);
        report(SERVICE_STOP_PENDING, ++checkpoint);
    }
    report(SERVICE_STOPPED, 0);
}

int wmain(int argc, wchar_t **argv)
{
    /* An own-process service is started under whatever name it was created with. */
    static wchar_t name[] = L"testsvc";
    const SERVICE_TABLE_ENTRYW table[] = {{name, service_main}, {NULL, NULL}};
    if (argc == 3 && lstrcmpW(argv[1], L"--stop-delay") == 0) g_stop_delay_ms = wcstoul(argv[2], NULL, 10);
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
