// Win32 types, constants and structures that the program passes to the
// operating system, declared without <windows.h> so that the same program
// logic builds on Linux against the simulated machine.
//
// Layouts match the Windows SDK: the Windows backend checks every structure
// against the real one at compile time and passes pointers straight through.
//
// The names are the SDK's own, and the SDK defines many of them as macros:
// a file that needs both must include this header before <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

#if defined(_WIN32)
#define PLATFORM_API __stdcall
using DWORD = unsigned long;
using LONG = long;
using ULONG = unsigned long;
#else
#define PLATFORM_API
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
#endif

using BOOL = int;
using UINT = unsigned int;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using BYTE = std::uint8_t;
using LCID = DWORD;
using LANGID = WORD;
using HRESULT = LONG;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using ULONG_PTR = std::uintptr_t;
using UINT_PTR = std::uintptr_t;
using SIZE_T = std::size_t;

using WCHAR = char16_t;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;

using HANDLE = void*;
using HWND = void*;
using HMODULE = void*;
using HINSTANCE = void*;
using HRSRC = void*;
using HGLOBAL = void*;
using HLOCAL = void*;
using HDEVINFO = void*;
using HINF = void*;
using HSPFILEQ = void*;
using SC_HANDLE = void*;
using HKEY = void*;
using FARPROC = void (*)();

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// Integer resource names and types, as MAKEINTRESOURCEW makes them.
inline LPCWSTR MakeIntResource(WORD id) { return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(id)); }
inline bool IsIntResource(LPCWSTR name) { return (reinterpret_cast<ULONG_PTR>(name) >> 16) == 0; }
inline WORD IntResourceId(LPCWSTR name) { return static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)); }
constexpr WORD RT_STRING_ID = 6;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16, "GUID is sixteen bytes");

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};

// What QueryServiceStatusEx gives at SC_STATUS_PROCESS_INFO.
struct SERVICE_STATUS_PROCESS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
    DWORD dwProcessId;
    DWORD dwServiceFlags;
};

// The SDK's OVERLAPPED with its union spelt as the offset the program uses;
// Pointer, the union's other member, is never needed.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

struct USEROBJECTFLAGS {
    BOOL fInherit;
    BOOL fReserved;
    DWORD dwFlags;
};

struct LUID {
    DWORD LowPart;
    LONG HighPart;
};

struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};

// The SDK's structure with room for the one privilege the program asks for.
struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
};

struct TOKEN_ELEVATION {
    DWORD TokenIsElevated;
};

// The Setup API packs its structures to 1 byte in 32-bit builds and to
// 8 bytes in 64-bit builds.
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(push, 1)
#else
#pragma pack(push, 8)
#endif

struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};

struct SP_CLASSINSTALL_HEADER {
    DWORD cbSize;
    UINT InstallFunction;
};

struct SP_PROPCHANGE_PARAMS {
    SP_CLASSINSTALL_HEADER ClassInstallHeader;
    DWORD StateChange;
    DWORD Scope;
    DWORD HwProfile;
};

struct SP_REMOVEDEVICE_PARAMS {
    SP_CLASSINSTALL_HEADER ClassInstallHeader;
    DWORD Scope;
    DWORD HwProfile;
};

constexpr std::size_t MAX_PATH = 260;

struct SP_DEVINSTALL_PARAMS_W {
    DWORD cbSize;
    DWORD Flags;
    DWORD FlagsEx;
    HWND hwndParent;
    void* InstallMsgHandler;
    void* InstallMsgHandlerContext;
    HSPFILEQ FileQueue;
    ULONG_PTR ClassInstallReserved;
    DWORD Reserved;
    WCHAR DriverPath[MAX_PATH];
};

struct FILEPATHS_W {
    LPCWSTR Target;
    LPCWSTR Source;
    UINT Win32Error;
    DWORD Flags;
};

// What SPFILENOTIFY_NEEDMEDIA points to: the disk and file the queue is missing.
struct SOURCE_MEDIA_W {
    LPCWSTR Reserved;
    LPCWSTR Tagfile;
    LPCWSTR Description;
    LPCWSTR SourcePath;
    LPCWSTR SourceFile;
    DWORD Flags;
};

#pragma pack(pop)

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(SP_DEVINFO_DATA) == 28, "32-bit SP_DEVINFO_DATA");
static_assert(sizeof(SP_DEVINSTALL_PARAMS_W) == 556, "32-bit SP_DEVINSTALL_PARAMS_W");
#endif
static_assert(sizeof(SP_PROPCHANGE_PARAMS) == 20, "SP_PROPCHANGE_PARAMS");

// Kernel
constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
constexpr UINT LMEM_FIXED = 0x0;
constexpr DWORD LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800;
constexpr LCID LOCALE_GERMAN_AUSTRIA = 0x0C07;
constexpr LCID LOCALE_ENGLISH_US = 0x0409;
constexpr LANGID LANG_NEUTRAL_DEFAULT = 0x0400;  // MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)
constexpr LANGID LANGIDFROMLCID(LCID lcid) { return static_cast<LANGID>(lcid & 0xFFFF); }

constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);
constexpr DWORD ATTACH_PARENT_PROCESS = static_cast<DWORD>(-1);
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_APPEND_DATA = 0x4;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_END = 2;
constexpr DWORD FILE_TYPE_DISK = 0x1;
constexpr DWORD LOCKFILE_FAIL_IMMEDIATELY = 0x1;
constexpr DWORD LOCKFILE_EXCLUSIVE_LOCK = 0x2;
constexpr DWORD INFINITE = 0xFFFFFFFF;
// The longest command line a process can be given, terminator excluded.
constexpr std::size_t MAX_COMMAND_LINE = 32766;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD STARTF_USESTDHANDLES = 0x100;
constexpr USHORT IMAGE_FILE_MACHINE_UNKNOWN = 0;
constexpr USHORT IMAGE_FILE_MACHINE_AMD64 = 0x8664;
constexpr USHORT IMAGE_FILE_MACHINE_ARM64 = 0xAA64;

// Window stations and rights
constexpr int UOI_FLAGS = 1;
constexpr DWORD WSF_VISIBLE = 0x1;
constexpr DWORD UNLEN = 256;
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x20;
constexpr DWORD TOKEN_QUERY = 0x8;
constexpr int TokenElevation = 20;  // TOKEN_INFORMATION_CLASS
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x2;
constexpr char16_t SE_SHUTDOWN_NAME[] = u"SeShutdownPrivilege";
constexpr DWORD SHTDN_REASON_MAJOR_APPLICATION = 0x00040000;
constexpr DWORD SHTDN_REASON_MINOR_INSTALLATION = 0x00000002;
constexpr DWORD SHTDN_REASON_FLAG_PLANNED = 0x80000000;

// Errors the program tests for or reports itself.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_INVALID_CLASS = 0xE0000206;
constexpr DWORD ERROR_NO_SUCH_DEVINST = 0xE000020B;
constexpr DWORD ERROR_SECTION_NOT_FOUND = 0xE0000101;
constexpr DWORD ERROR_IN_WOW64 = 0xE0000235;
constexpr DWORD ERROR_INF_IN_USE_BY_DEVICES = 0xE000023D;
constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;
constexpr DWORD ERROR_INSTALL_FAILURE = 1603;
constexpr DWORD ERROR_INSTALL_ALREADY_RUNNING = 1618;
constexpr DWORD ERROR_INVALID_COMMAND_LINE = 1639;
constexpr DWORD ERROR_SUCCESS_REBOOT_INITIATED = 1641;
constexpr DWORD ERROR_SUCCESS_REBOOT_REQUIRED = 3010;

// User interface
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_ICONMASK = 0xF0;
constexpr UINT MB_TYPEMASK = 0x0F;
constexpr int IDOK = 1;

// Shell
constexpr int SW_SHOWNORMAL = 1;

// Setup API: device information
constexpr DWORD DIGCF_PRESENT = 0x2;
constexpr DWORD DICD_GENERATE_ID = 0x1;
constexpr DWORD SPDRP_HARDWAREID = 0x1;
constexpr UINT DIF_PROPERTYCHANGE = 0x12;
constexpr UINT DIF_REMOVE = 0x05;
constexpr DWORD DI_REMOVEDEVICE_GLOBAL = 1;
constexpr UINT DIF_REGISTERDEVICE = 0x19;
constexpr DWORD DICS_ENABLE = 1;
constexpr DWORD DICS_DISABLE = 2;
constexpr DWORD DICS_FLAG_GLOBAL = 1;
constexpr DWORD DICS_FLAG_CONFIGSPECIFIC = 2;
constexpr DWORD DI_NEEDRESTART = 0x80;
constexpr DWORD DI_NEEDREBOOT = 0x100;
constexpr DWORD DI_QUIETINSTALL = 0x00800000;
constexpr DWORD INSTALLFLAG_NONINTERACTIVE = 0x4;
constexpr std::size_t MAX_CLASS_NAME_LEN = 32;
constexpr DWORD DICS_PROPCHANGE = 3;
constexpr DWORD DIREG_DRV = 0x2;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD REG_SZ = 1;
constexpr std::size_t MAX_DEVICE_ID_LEN = 200;

// Setup API: the driver store
constexpr DWORD SPOST_PATH = 1;
constexpr DWORD SP_COPY_REPLACEONLY = 0x2;
constexpr DWORD SP_COPY_NOOVERWRITE = 0x8;

// Configuration manager (cfgmgr32.dll): its calls answer a CONFIGRET.
using CONFIGRET = DWORD;
constexpr CONFIGRET CR_SUCCESS = 0x0;
constexpr CONFIGRET CR_OUT_OF_MEMORY = 0x2;
constexpr CONFIGRET CR_NO_SUCH_DEVNODE = 0xD;
constexpr CONFIGRET CR_ACCESS_DENIED = 0x33;
constexpr CONFIGRET CR_CALL_NOT_IMPLEMENTED = 0x34;
constexpr ULONG CM_LOCATE_DEVNODE_NORMAL = 0x0;
constexpr ULONG CM_REENUMERATE_SYNCHRONOUS = 0x1;
constexpr ULONG DN_STARTED = 0x8;
constexpr ULONG DN_HAS_PROBLEM = 0x400;
constexpr ULONG CM_PROB_DISABLED = 0x16;

// Setup API: INF files and file queues
constexpr DWORD INF_STYLE_WIN4 = 0x2;
constexpr DWORD SP_COPY_NOSKIP = 0x400;
constexpr DWORD SP_COPY_NOBROWSE = 0x8000;
constexpr UINT SPINST_LOGCONFIG = 0x1;
constexpr UINT SPINST_INIFILES = 0x2;
constexpr UINT SPINST_REGISTRY = 0x4;
constexpr UINT SPINST_INI2REG = 0x8;
constexpr UINT SPINST_FILES = 0x10;
constexpr UINT SPINST_BITREG = 0x20;
constexpr UINT SPINST_REGSVR = 0x40;
constexpr UINT SPINST_UNREGSVR = 0x80;
constexpr UINT SPINST_PROFILEITEMS = 0x100;
constexpr UINT SPINST_ALL = 0x3FF;  // SPINST_COPYINF included
constexpr UINT SPFILENOTIFY_DELETEERROR = 0x7;
constexpr UINT SPFILENOTIFY_RENAMEERROR = 0xA;
constexpr UINT SPFILENOTIFY_NEEDMEDIA = 0xE;
constexpr UINT SPFILENOTIFY_COPYERROR = 0xD;
constexpr UINT FILEOP_ABORT = 0;
constexpr UINT FILEOP_DOIT = 1;
constexpr int SPFILEQ_REBOOT_RECOMMENDED = 0x2;

// Service Control Manager
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;
constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr int SC_STATUS_PROCESS_INFO = 0;  // SC_STATUS_TYPE
constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

// Signatures of functions the program hands to, or fetches from, the system.
using PSP_FILE_CALLBACK_W = UINT(PLATFORM_API*)(void* context, UINT notification, UINT_PTR param1, UINT_PTR param2);
using UpdateDriverForPlugAndPlayDevicesWFn = BOOL(PLATFORM_API*)(HWND hwndParent, LPCWSTR hardwareId,
                                                                 LPCWSTR fullInfPath, DWORD installFlags,
                                                                 BOOL* rebootRequired);
// cfgmgr32.dll: WAIT_OBJECT_0 once no device installation is pending,
// WAIT_TIMEOUT, or WAIT_FAILED.
using CMP_WaitNoPendingInstallEventsFn = DWORD(PLATFORM_API*)(DWORD timeout);
using CM_Locate_DevNodeWFn = CONFIGRET(PLATFORM_API*)(DWORD* devInst, LPWSTR deviceId, ULONG flags);
using CM_Reenumerate_DevNodeFn = CONFIGRET(PLATFORM_API*)(DWORD devInst, ULONG flags);
using CM_Get_DevNode_StatusFn = CONFIGRET(PLATFORM_API*)(ULONG* status, ULONG* problem, DWORD devInst, ULONG flags);
// newdev.dll of Windows 10 1703 and later.
using DiUninstallDriverWFn = BOOL(PLATFORM_API*)(HWND hwndParent, LPCWSTR infPath, DWORD flags, BOOL* needReboot);

}  // namespace platform
