// Compile-time proof that the platform layer's structures and constants are
// the SDK's: the backend passes structure pointers straight through and the
// program logic passes its constants to the system unchanged, so any
// difference would corrupt a call silently. Checked for each target
// architecture the build is made for.
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/platform.h"

// The SDK defines most of these names as macros, so the platform layer's
// values are captured under other names before <windows.h> comes in.
#define OSTREL_SDK_CONSTANTS(X)         \
    X(SEM_FAILCRITICALERRORS)           \
    X(SEM_NOOPENFILEERRORBOX)           \
    X(INVALID_FILE_ATTRIBUTES)          \
    X(FILE_ATTRIBUTE_DIRECTORY)         \
    X(FILE_ATTRIBUTE_NORMAL)            \
    X(FORMAT_MESSAGE_ALLOCATE_BUFFER)   \
    X(FORMAT_MESSAGE_IGNORE_INSERTS)    \
    X(FORMAT_MESSAGE_FROM_SYSTEM)       \
    X(LMEM_FIXED)                       \
    X(LOAD_LIBRARY_SEARCH_SYSTEM32)     \
    X(MAX_PATH)                         \
    X(ERROR_SUCCESS)                    \
    X(ERROR_FILE_NOT_FOUND)             \
    X(ERROR_ACCESS_DENIED)              \
    X(ERROR_NOT_ENOUGH_MEMORY)          \
    X(ERROR_INVALID_PARAMETER)          \
    X(ERROR_INSUFFICIENT_BUFFER)        \
    X(ERROR_PROC_NOT_FOUND)             \
    X(ERROR_NO_MORE_ITEMS)              \
    X(ERROR_SERVICE_ALREADY_RUNNING)    \
    X(ERROR_SERVICE_NOT_ACTIVE)         \
    X(ERROR_FILENAME_EXCED_RANGE)       \
    X(ERROR_INVALID_CLASS)              \
    X(ERROR_NO_SUCH_DEVINST)            \
    X(ERROR_SECTION_NOT_FOUND)          \
    X(ERROR_IN_WOW64)                   \
    X(MB_OK)                            \
    X(MB_OKCANCEL)                      \
    X(MB_YESNOCANCEL)                   \
    X(MB_YESNO)                         \
    X(MB_ICONERROR)                     \
    X(MB_ICONQUESTION)                  \
    X(MB_ICONEXCLAMATION)               \
    X(MB_ICONINFORMATION)               \
    X(MB_ICONMASK)                      \
    X(MB_TYPEMASK)                      \
    X(IDOK)                             \
    X(SW_SHOWNORMAL)                    \
    X(DIGCF_PRESENT)                    \
    X(DICD_GENERATE_ID)                 \
    X(SPDRP_HARDWAREID)                 \
    X(DIF_PROPERTYCHANGE)               \
    X(DIF_REMOVE)                       \
    X(DI_REMOVEDEVICE_GLOBAL)           \
    X(DIF_REGISTERDEVICE)               \
    X(DICS_ENABLE)                      \
    X(DICS_DISABLE)                     \
    X(DICS_FLAG_GLOBAL)                 \
    X(DICS_FLAG_CONFIGSPECIFIC)         \
    X(DI_NEEDRESTART)                   \
    X(DI_NEEDREBOOT)                    \
    X(MAX_CLASS_NAME_LEN)               \
    X(INF_STYLE_WIN4)                   \
    X(SP_COPY_NOSKIP)                   \
    X(SP_COPY_NOBROWSE)                 \
    X(SPINST_LOGCONFIG)                 \
    X(SPINST_INIFILES)                  \
    X(SPINST_REGISTRY)                  \
    X(SPINST_INI2REG)                   \
    X(SPINST_FILES)                     \
    X(SPINST_BITREG)                    \
    X(SPINST_REGSVR)                    \
    X(SPINST_UNREGSVR)                  \
    X(SPINST_PROFILEITEMS)              \
    X(SPFILEQ_REBOOT_RECOMMENDED)       \
    X(SC_MANAGER_ALL_ACCESS)            \
    X(SERVICE_ALL_ACCESS)               \
    X(SERVICE_CONTROL_STOP)             \
    X(FALSE)                            \
    X(TRUE)                             \
    X(STD_OUTPUT_HANDLE)                \
    X(STD_ERROR_HANDLE)                 \
    X(ATTACH_PARENT_PROCESS)            \
    X(GENERIC_READ)                     \
    X(GENERIC_WRITE)                    \
    X(FILE_APPEND_DATA)                 \
    X(FILE_SHARE_READ)                  \
    X(FILE_SHARE_WRITE)                 \
    X(FILE_SHARE_DELETE)                \
    X(FILE_BEGIN)                       \
    X(FILE_END)                         \
    X(FILE_TYPE_DISK)                   \
    X(LOCKFILE_FAIL_IMMEDIATELY)        \
    X(LOCKFILE_EXCLUSIVE_LOCK)          \
    X(ERROR_WRITE_FAULT)                \
    X(ERROR_LOCK_VIOLATION)             \
    X(ERROR_SERVICE_REQUEST_TIMEOUT)    \
    X(ERROR_SERVICE_CANNOT_ACCEPT_CTRL) \
    X(SC_STATUS_PROCESS_INFO)           \
    X(SERVICE_STOPPED)                  \
    X(SERVICE_START_PENDING)            \
    X(SERVICE_STOP_PENDING)             \
    X(SERVICE_RUNNING)                  \
    X(SERVICE_CONTINUE_PENDING)         \
    X(SERVICE_PAUSE_PENDING)            \
    X(SERVICE_PAUSED)                   \
    X(OPEN_EXISTING)                    \
    X(OPEN_ALWAYS)                      \
    X(INFINITE)                         \
    X(WAIT_FAILED)                      \
    X(WAIT_OBJECT_0)                    \
    X(WAIT_TIMEOUT)                     \
    X(STARTF_USESTDHANDLES)             \
    X(IMAGE_FILE_MACHINE_UNKNOWN)       \
    X(IMAGE_FILE_MACHINE_AMD64)         \
    X(IMAGE_FILE_MACHINE_ARM64)         \
    X(UOI_FLAGS)                        \
    X(WSF_VISIBLE)                      \
    X(UNLEN)                            \
    X(TOKEN_ADJUST_PRIVILEGES)          \
    X(TOKEN_QUERY)                      \
    X(TokenElevation)                   \
    X(SE_PRIVILEGE_ENABLED)             \
    X(SHTDN_REASON_MAJOR_APPLICATION)   \
    X(SHTDN_REASON_MINOR_INSTALLATION)  \
    X(SHTDN_REASON_FLAG_PLANNED)        \
    X(ERROR_NOT_ALL_ASSIGNED)           \
    X(ERROR_INSTALL_FAILURE)            \
    X(ERROR_INSTALL_ALREADY_RUNNING)    \
    X(ERROR_INVALID_COMMAND_LINE)       \
    X(ERROR_SUCCESS_REBOOT_INITIATED)   \
    X(ERROR_SUCCESS_REBOOT_REQUIRED)    \
    X(DI_QUIETINSTALL)                  \
    X(INSTALLFLAG_NONINTERACTIVE)       \
    X(SPINST_ALL)                       \
    X(SPFILENOTIFY_DELETEERROR)         \
    X(SPFILENOTIFY_RENAMEERROR)         \
    X(SPFILENOTIFY_NEEDMEDIA)           \
    X(SPFILENOTIFY_COPYERROR)           \
    X(FILEOP_ABORT)                     \
    X(FILEOP_DOIT)                      \
    X(ERROR_GEN_FAILURE)                \
    X(ERROR_FILE_EXISTS)                \
    X(ERROR_CALL_NOT_IMPLEMENTED)       \
    X(ERROR_INF_IN_USE_BY_DEVICES)      \
    X(DICS_PROPCHANGE)                  \
    X(DIREG_DRV)                        \
    X(KEY_READ)                         \
    X(REG_SZ)                           \
    X(MAX_DEVICE_ID_LEN)                \
    X(SPOST_PATH)                       \
    X(SP_COPY_REPLACEONLY)              \
    X(SP_COPY_NOOVERWRITE)              \
    X(CR_SUCCESS)                       \
    X(CR_OUT_OF_MEMORY)                 \
    X(CR_NO_SUCH_DEVNODE)               \
    X(CR_ACCESS_DENIED)                 \
    X(CR_CALL_NOT_IMPLEMENTED)          \
    X(CM_LOCATE_DEVNODE_NORMAL)         \
    X(CM_REENUMERATE_SYNCHRONOUS)       \
    X(DN_STARTED)                       \
    X(DN_HAS_PROBLEM)                   \
    X(CM_PROB_DISABLED)

namespace own {
#define OSTREL_CAPTURE(name) constexpr auto name##_value = platform::name;
OSTREL_SDK_CONSTANTS(OSTREL_CAPTURE)
#undef OSTREL_CAPTURE
constexpr auto lcid_de_at = platform::LOCALE_GERMAN_AUSTRIA;
constexpr auto lcid_en_us = platform::LOCALE_ENGLISH_US;
constexpr auto lang_neutral_default = platform::LANG_NEUTRAL_DEFAULT;
constexpr const auto& se_shutdown_name = platform::SE_SHUTDOWN_NAME;
}  // namespace own

#include <windows.h>

#include <cfgmgr32.h>
#include <lmcons.h>
#include <newdev.h>
#include <setupapi.h>

// Compared as 32-bit patterns: the SDK spells some values as signed longs
// (with the SDK's own literal suffixes).
// NOLINTBEGIN(readability-uppercase-literal-suffix)
#define OSTREL_COMPARE(name) \
    static_assert(static_cast<std::uint32_t>(own::name##_value) == static_cast<std::uint32_t>(name), #name);
OSTREL_SDK_CONSTANTS(OSTREL_COMPARE)
#undef OSTREL_COMPARE
// NOLINTEND(readability-uppercase-literal-suffix)

// The functions fetched from cfgmgr32.dll are called through these types.
static_assert(std::is_same_v<platform::CM_Get_DevNode_StatusFn, decltype(&::CM_Get_DevNode_Status)>);
static_assert(std::is_same_v<platform::CM_Reenumerate_DevNodeFn, decltype(&::CM_Reenumerate_DevNode)>);

static_assert(own::lcid_de_at == MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_AUSTRIAN), SORT_DEFAULT));
static_assert(own::lcid_en_us == MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT));
static_assert(own::lang_neutral_default == MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT));

// The SDK spells the privilege name through TEXT(); L"" makes it wide either way.
constexpr bool SameText(const char16_t* own, const wchar_t* sdk)
{
    for (; *own != 0 || *sdk != 0; ++own, ++sdk)
        if (static_cast<std::uint32_t>(*own) != static_cast<std::uint32_t>(*sdk)) return false;
    return true;
}
static_assert(SameText(own::se_shutdown_name, L"" SE_SHUTDOWN_NAME), "SE_SHUTDOWN_NAME");
static_assert(sizeof(own::se_shutdown_name) / sizeof(char16_t) == sizeof(L"" SE_SHUTDOWN_NAME) / sizeof(wchar_t),
              "SE_SHUTDOWN_NAME length");

// Field by field: same size and same offset as the SDK's structure. Some
// fields are pointers, and their size is what is meant.
// NOLINTBEGIN(bugprone-sizeof-expression)
#define OSTREL_SAME_FIELD(type, field)                                                                      \
    static_assert(offsetof(platform::type, field) == offsetof(::type, field), #type "::" #field " offset"); \
    static_assert(sizeof(platform::type::field) == sizeof(::type::field), #type "::" #field " size");
#define OSTREL_SAME_STRUCT(type)                                            \
    static_assert(sizeof(platform::type) == sizeof(::type), #type " size"); \
    static_assert(alignof(platform::type) == alignof(::type), #type " alignment");

OSTREL_SAME_STRUCT(GUID)
OSTREL_SAME_FIELD(GUID, Data1)
OSTREL_SAME_FIELD(GUID, Data2)
OSTREL_SAME_FIELD(GUID, Data3)
OSTREL_SAME_FIELD(GUID, Data4)

OSTREL_SAME_STRUCT(SERVICE_STATUS)
OSTREL_SAME_FIELD(SERVICE_STATUS, dwServiceType)
OSTREL_SAME_FIELD(SERVICE_STATUS, dwCurrentState)
OSTREL_SAME_FIELD(SERVICE_STATUS, dwControlsAccepted)
OSTREL_SAME_FIELD(SERVICE_STATUS, dwWin32ExitCode)
OSTREL_SAME_FIELD(SERVICE_STATUS, dwServiceSpecificExitCode)
OSTREL_SAME_FIELD(SERVICE_STATUS, dwCheckPoint)
OSTREL_SAME_FIELD(SERVICE_STATUS, dwWaitHint)

OSTREL_SAME_STRUCT(SERVICE_STATUS_PROCESS)
OSTREL_SAME_FIELD(SERVICE_STATUS_PROCESS, dwServiceType)
OSTREL_SAME_FIELD(SERVICE_STATUS_PROCESS, dwCurrentState)
OSTREL_SAME_FIELD(SERVICE_STATUS_PROCESS, dwControlsAccepted)
OSTREL_SAME_FIELD(SERVICE_STATUS_PROCESS, dwWin32ExitCode)
OSTREL_SAME_FIELD(SERVICE_STATUS_PROCESS, dwServiceSpecificExitCode)
OSTREL_SAME_FIELD(SERVICE_STATUS_PROCESS, dwCheckPoint)
OSTREL_SAME_FIELD(SERVICE_STATUS_PROCESS, dwWaitHint)
OSTREL_SAME_FIELD(SERVICE_STATUS_PROCESS, dwProcessId)
OSTREL_SAME_FIELD(SERVICE_STATUS_PROCESS, dwServiceFlags)

OSTREL_SAME_STRUCT(OVERLAPPED)
OSTREL_SAME_FIELD(OVERLAPPED, Internal)
OSTREL_SAME_FIELD(OVERLAPPED, InternalHigh)
OSTREL_SAME_FIELD(OVERLAPPED, Offset)
OSTREL_SAME_FIELD(OVERLAPPED, OffsetHigh)
OSTREL_SAME_FIELD(OVERLAPPED, hEvent)

OSTREL_SAME_STRUCT(FILETIME)
OSTREL_SAME_FIELD(FILETIME, dwLowDateTime)
OSTREL_SAME_FIELD(FILETIME, dwHighDateTime)

OSTREL_SAME_STRUCT(BY_HANDLE_FILE_INFORMATION)
OSTREL_SAME_FIELD(BY_HANDLE_FILE_INFORMATION, dwFileAttributes)
OSTREL_SAME_FIELD(BY_HANDLE_FILE_INFORMATION, ftCreationTime)
OSTREL_SAME_FIELD(BY_HANDLE_FILE_INFORMATION, ftLastAccessTime)
OSTREL_SAME_FIELD(BY_HANDLE_FILE_INFORMATION, ftLastWriteTime)
OSTREL_SAME_FIELD(BY_HANDLE_FILE_INFORMATION, dwVolumeSerialNumber)
OSTREL_SAME_FIELD(BY_HANDLE_FILE_INFORMATION, nFileSizeHigh)
OSTREL_SAME_FIELD(BY_HANDLE_FILE_INFORMATION, nFileSizeLow)
OSTREL_SAME_FIELD(BY_HANDLE_FILE_INFORMATION, nNumberOfLinks)
OSTREL_SAME_FIELD(BY_HANDLE_FILE_INFORMATION, nFileIndexHigh)
OSTREL_SAME_FIELD(BY_HANDLE_FILE_INFORMATION, nFileIndexLow)

OSTREL_SAME_STRUCT(SP_DEVINFO_DATA)
OSTREL_SAME_FIELD(SP_DEVINFO_DATA, cbSize)
OSTREL_SAME_FIELD(SP_DEVINFO_DATA, ClassGuid)
OSTREL_SAME_FIELD(SP_DEVINFO_DATA, DevInst)
OSTREL_SAME_FIELD(SP_DEVINFO_DATA, Reserved)

OSTREL_SAME_STRUCT(SP_CLASSINSTALL_HEADER)
OSTREL_SAME_FIELD(SP_CLASSINSTALL_HEADER, cbSize)
OSTREL_SAME_FIELD(SP_CLASSINSTALL_HEADER, InstallFunction)

OSTREL_SAME_STRUCT(SP_PROPCHANGE_PARAMS)
OSTREL_SAME_FIELD(SP_PROPCHANGE_PARAMS, ClassInstallHeader)
OSTREL_SAME_FIELD(SP_PROPCHANGE_PARAMS, StateChange)
OSTREL_SAME_FIELD(SP_PROPCHANGE_PARAMS, Scope)
OSTREL_SAME_FIELD(SP_PROPCHANGE_PARAMS, HwProfile)

OSTREL_SAME_STRUCT(SP_REMOVEDEVICE_PARAMS)
OSTREL_SAME_FIELD(SP_REMOVEDEVICE_PARAMS, ClassInstallHeader)
OSTREL_SAME_FIELD(SP_REMOVEDEVICE_PARAMS, Scope)
OSTREL_SAME_FIELD(SP_REMOVEDEVICE_PARAMS, HwProfile)

OSTREL_SAME_STRUCT(SP_DEVINSTALL_PARAMS_W)
OSTREL_SAME_FIELD(SP_DEVINSTALL_PARAMS_W, cbSize)
OSTREL_SAME_FIELD(SP_DEVINSTALL_PARAMS_W, Flags)
OSTREL_SAME_FIELD(SP_DEVINSTALL_PARAMS_W, FlagsEx)
OSTREL_SAME_FIELD(SP_DEVINSTALL_PARAMS_W, hwndParent)
OSTREL_SAME_FIELD(SP_DEVINSTALL_PARAMS_W, InstallMsgHandler)
OSTREL_SAME_FIELD(SP_DEVINSTALL_PARAMS_W, InstallMsgHandlerContext)
OSTREL_SAME_FIELD(SP_DEVINSTALL_PARAMS_W, FileQueue)
OSTREL_SAME_FIELD(SP_DEVINSTALL_PARAMS_W, ClassInstallReserved)
OSTREL_SAME_FIELD(SP_DEVINSTALL_PARAMS_W, Reserved)
OSTREL_SAME_FIELD(SP_DEVINSTALL_PARAMS_W, DriverPath)

OSTREL_SAME_STRUCT(SYSTEMTIME)
OSTREL_SAME_FIELD(SYSTEMTIME, wYear)
OSTREL_SAME_FIELD(SYSTEMTIME, wMonth)
OSTREL_SAME_FIELD(SYSTEMTIME, wDayOfWeek)
OSTREL_SAME_FIELD(SYSTEMTIME, wDay)
OSTREL_SAME_FIELD(SYSTEMTIME, wHour)
OSTREL_SAME_FIELD(SYSTEMTIME, wMinute)
OSTREL_SAME_FIELD(SYSTEMTIME, wSecond)
OSTREL_SAME_FIELD(SYSTEMTIME, wMilliseconds)

OSTREL_SAME_STRUCT(STARTUPINFOW)
OSTREL_SAME_FIELD(STARTUPINFOW, cb)
OSTREL_SAME_FIELD(STARTUPINFOW, lpReserved)
OSTREL_SAME_FIELD(STARTUPINFOW, lpDesktop)
OSTREL_SAME_FIELD(STARTUPINFOW, lpTitle)
OSTREL_SAME_FIELD(STARTUPINFOW, dwX)
OSTREL_SAME_FIELD(STARTUPINFOW, dwY)
OSTREL_SAME_FIELD(STARTUPINFOW, dwXSize)
OSTREL_SAME_FIELD(STARTUPINFOW, dwYSize)
OSTREL_SAME_FIELD(STARTUPINFOW, dwXCountChars)
OSTREL_SAME_FIELD(STARTUPINFOW, dwYCountChars)
OSTREL_SAME_FIELD(STARTUPINFOW, dwFillAttribute)
OSTREL_SAME_FIELD(STARTUPINFOW, dwFlags)
OSTREL_SAME_FIELD(STARTUPINFOW, wShowWindow)
OSTREL_SAME_FIELD(STARTUPINFOW, cbReserved2)
OSTREL_SAME_FIELD(STARTUPINFOW, lpReserved2)
OSTREL_SAME_FIELD(STARTUPINFOW, hStdInput)
OSTREL_SAME_FIELD(STARTUPINFOW, hStdOutput)
OSTREL_SAME_FIELD(STARTUPINFOW, hStdError)

OSTREL_SAME_STRUCT(PROCESS_INFORMATION)
OSTREL_SAME_FIELD(PROCESS_INFORMATION, hProcess)
OSTREL_SAME_FIELD(PROCESS_INFORMATION, hThread)
OSTREL_SAME_FIELD(PROCESS_INFORMATION, dwProcessId)
OSTREL_SAME_FIELD(PROCESS_INFORMATION, dwThreadId)

OSTREL_SAME_STRUCT(USEROBJECTFLAGS)
OSTREL_SAME_FIELD(USEROBJECTFLAGS, fInherit)
OSTREL_SAME_FIELD(USEROBJECTFLAGS, fReserved)
OSTREL_SAME_FIELD(USEROBJECTFLAGS, dwFlags)

OSTREL_SAME_STRUCT(LUID)
OSTREL_SAME_FIELD(LUID, LowPart)
OSTREL_SAME_FIELD(LUID, HighPart)

OSTREL_SAME_STRUCT(LUID_AND_ATTRIBUTES)
OSTREL_SAME_FIELD(LUID_AND_ATTRIBUTES, Luid)
OSTREL_SAME_FIELD(LUID_AND_ATTRIBUTES, Attributes)

OSTREL_SAME_STRUCT(TOKEN_PRIVILEGES)
OSTREL_SAME_FIELD(TOKEN_PRIVILEGES, PrivilegeCount)
OSTREL_SAME_FIELD(TOKEN_PRIVILEGES, Privileges)

OSTREL_SAME_STRUCT(TOKEN_ELEVATION)
OSTREL_SAME_FIELD(TOKEN_ELEVATION, TokenIsElevated)

OSTREL_SAME_STRUCT(FILEPATHS_W)
OSTREL_SAME_FIELD(FILEPATHS_W, Target)
OSTREL_SAME_FIELD(FILEPATHS_W, Source)
OSTREL_SAME_FIELD(FILEPATHS_W, Win32Error)
OSTREL_SAME_FIELD(FILEPATHS_W, Flags)

OSTREL_SAME_STRUCT(SOURCE_MEDIA_W)
OSTREL_SAME_FIELD(SOURCE_MEDIA_W, Reserved)
OSTREL_SAME_FIELD(SOURCE_MEDIA_W, Tagfile)
OSTREL_SAME_FIELD(SOURCE_MEDIA_W, Description)
OSTREL_SAME_FIELD(SOURCE_MEDIA_W, SourcePath)
OSTREL_SAME_FIELD(SOURCE_MEDIA_W, SourceFile)
OSTREL_SAME_FIELD(SOURCE_MEDIA_W, Flags)

// NOLINTEND(bugprone-sizeof-expression)

#undef OSTREL_SAME_STRUCT
#undef OSTREL_SAME_FIELD
