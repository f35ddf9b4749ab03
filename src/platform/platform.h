// The operating-system calls OstrelSetup makes, and nothing else.
//
// Each function has the name, the arguments and the success rule of the
// Win32 function it stands for. Two backends implement them: windows/
// forwards to the real API, sim/ runs them against a simulated machine.
// Program logic calls the operating system only through this header.
#pragma once

#include "platform/win32_types.h"

namespace platform {

// Kernel: process, files, locale, errors, memory, libraries
UINT SetErrorMode(UINT mode);
// The whole command line, the program's own name first.
LPCWSTR GetCommandLineW();
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
DWORD GetFileAttributesW(LPCWSTR fileName);
DWORD GetFullPathNameW(LPCWSTR fileName, DWORD bufferLength, LPWSTR buffer, LPWSTR* filePart);
BOOL SetThreadLocale(LCID locale);
LCID GetThreadLocale();
DWORD GetLastError();
void SetLastError(DWORD error);
// With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is really an LPWSTR* that
// receives a LocalAlloc'ed text, exactly as in Win32.
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                     void* arguments);
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL memory);
HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE reserved, DWORD flags);
FARPROC GetProcAddress(HMODULE module, const char* procName);
BOOL FreeLibrary(HMODULE module);
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);
// Absent before Windows 8 without its update: FALSE with ERROR_PROC_NOT_FOUND then.
BOOL SetDefaultDllDirectories(DWORD directoryFlags);
LPWSTR lstrcpynW(LPWSTR destination, LPCWSTR source, int maxLength);
int lstrlenW(LPCWSTR text);

// Resources of the program's own module (module argument: null)
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
void* LockResource(HGLOBAL resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);

// User interface and shell
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        int showCommand);

// Setup API: device information
BOOL SetupDiGetINFClassW(LPCWSTR infName, GUID* classGuid, LPWSTR className, DWORD classNameSize, DWORD* requiredSize);
HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND parent, DWORD flags);
HDEVINFO SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent);
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device);
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* propertyRegType,
                                       BYTE* buffer, DWORD bufferSize, DWORD* requiredSize);
BOOL SetupDiCreateDeviceInfoW(HDEVINFO set, LPCWSTR deviceName, const GUID* classGuid, LPCWSTR deviceDescription,
                              HWND parent, DWORD creationFlags, SP_DEVINFO_DATA* device);
BOOL SetupDiSetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, const BYTE* buffer,
                                       DWORD bufferSize);
BOOL SetupDiSetClassInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_CLASSINSTALL_HEADER* params,
                                   DWORD paramsSize);
BOOL SetupDiCallClassInstaller(UINT installFunction, HDEVINFO set, SP_DEVINFO_DATA* device);
BOOL SetupDiRemoveDevice(HDEVINFO set, SP_DEVINFO_DATA* device);
BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params);
BOOL SetupDiSetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* device, LPWSTR instanceId, DWORD instanceIdSize,
                                 DWORD* requiredSize);
// The device's driver key (DIREG_DRV), or INVALID_HANDLE_VALUE.
HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD scope, DWORD hwProfile, DWORD keyType,
                          DWORD desiredAccess);

// Setup API: the driver store
BOOL SetupCopyOEMInfW(LPCWSTR sourceInfFileName, LPCWSTR sourceMediaLocation, DWORD sourceMediaType, DWORD copyStyle,
                      LPWSTR destinationInfFileName, DWORD destinationInfFileNameSize, DWORD* requiredSize,
                      LPWSTR* destinationInfFileNameComponent);
BOOL SetupUninstallOEMInfW(LPCWSTR infFileName, DWORD flags, void* reserved);

// Setup API: INF files, file queues, restart
HINF SetupOpenInfFileW(LPCWSTR fileName, LPCWSTR infClass, DWORD infStyle, UINT* errorLine);
void SetupCloseInfFile(HINF inf);
HSPFILEQ SetupOpenFileQueue();
BOOL SetupCloseFileQueue(HSPFILEQ queue);
BOOL SetupInstallFilesFromInfSectionW(HINF inf, HINF layoutInf, HSPFILEQ queue, LPCWSTR sectionName,
                                      LPCWSTR sourceRootPath, UINT copyFlags);
void* SetupInitDefaultQueueCallback(HWND owner);
// With INVALID_HANDLE_VALUE as the alternate progress window: no progress window at all.
void* SetupInitDefaultQueueCallbackEx(HWND owner, HWND alternateProgressWindow, UINT progressMessage, DWORD reserved1,
                                      void* reserved2);
void SetupTermDefaultQueueCallback(void* context);
UINT PLATFORM_API SetupDefaultQueueCallbackW(void* context, UINT notification, UINT_PTR param1, UINT_PTR param2);
BOOL SetupCommitFileQueueW(HWND owner, HSPFILEQ queue, PSP_FILE_CALLBACK_W callback, void* context);
BOOL SetupInstallFromInfSectionW(HWND owner, HINF inf, LPCWSTR sectionName, UINT flags, void* relativeKeyRoot,
                                 LPCWSTR sourceRootPath, UINT copyFlags, PSP_FILE_CALLBACK_W callback, void* context,
                                 HDEVINFO deviceInfoSet, SP_DEVINFO_DATA* deviceInfoData);
int SetupPromptReboot(HSPFILEQ queue, HWND owner, BOOL scanOnly);
BOOL SetupDiGetActualSectionToInstallW(HINF inf, LPCWSTR sectionName, LPWSTR actualName, DWORD actualNameSize,
                                       DWORD* requiredSize, LPWSTR* extension);
BOOL SetupInstallServicesFromInfSectionW(HINF inf, LPCWSTR sectionName, DWORD flags);

// Unattended runs: window station, standard handles, console, log file
HANDLE GetProcessWindowStation();
BOOL GetUserObjectInformationW(HANDLE object, int index, void* info, DWORD length, DWORD* lengthNeeded);
// Null when the process has no such handle (a GUI program not redirected).
HANDLE GetStdHandle(DWORD stdHandle);
BOOL AttachConsole(DWORD processId);
// Succeeds on a console handle only: how a console is told from a file or pipe.
BOOL GetConsoleMode(HANDLE console, DWORD* mode);
BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD charsToWrite, DWORD* charsWritten, void* reserved);
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, void* overlapped);
BOOL CloseHandle(HANDLE object);
void GetLocalTime(SYSTEMTIME* time);

// The log file: what it is, which file it is, how it ends, and the lock
// that keeps its entries whole while other runs write to it too.
DWORD GetFileType(HANDLE file);
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void* overlapped);
// The SDK's LARGE_INTEGERs, as the 64-bit numbers they hold.
BOOL SetFilePointerEx(HANDLE file, LONGLONG distance, LONGLONG* newPointer, DWORD moveMethod);
BOOL LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD bytesLow, DWORD bytesHigh, OVERLAPPED* overlapped);
BOOL UnlockFileEx(HANDLE file, DWORD reserved, DWORD bytesLow, DWORD bytesHigh, OVERLAPPED* overlapped);

// Time, for the waits of a run: the simulated machine's clock moves on
// only when the program sleeps.
void Sleep(DWORD milliseconds);
ULONGLONG GetTickCount64();

// Process, user and rights
HANDLE GetCurrentProcess();
BOOL IsWow64Process(HANDLE process, BOOL* wow64);
// Absent before Windows 10 1709: FALSE with ERROR_PROC_NOT_FOUND then.
BOOL IsWow64Process2(HANDLE process, USHORT* processMachine, USHORT* nativeMachine);
BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, void* processAttributes, void* threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, void* environment, LPCWSTR currentDirectory,
                    STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);
BOOL GetUserNameW(LPWSTR buffer, DWORD* size);
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token);
BOOL GetTokenInformation(HANDLE token, int informationClass, void* information, DWORD length, DWORD* returnLength);
BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, LUID* luid);
// Succeeds with ERROR_NOT_ALL_ASSIGNED left when the token lacks the privilege.
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD length,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnLength);
BOOL InitiateSystemShutdownExW(LPWSTR machineName, LPWSTR message, DWORD timeout, BOOL forceAppsClosed,
                               BOOL rebootAfterShutdown, DWORD reason);

// Registry: answers an error code, not the last error.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize);
LONG RegCloseKey(HKEY key);

// Service Control Manager
SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess);
SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess);
BOOL StartServiceW(SC_HANDLE service, DWORD argumentCount, LPCWSTR* arguments);
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
BOOL DeleteService(SC_HANDLE service);
// Only the SC_STATUS_PROCESS_INFO level: a SERVICE_STATUS_PROCESS.
BOOL QueryServiceStatusEx(SC_HANDLE service, int infoLevel, BYTE* buffer, DWORD bufferSize, DWORD* bytesNeeded);
BOOL CloseServiceHandle(SC_HANDLE handle);

}  // namespace platform
