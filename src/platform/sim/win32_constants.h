// Windows constants that only the simulated machine, and the tests that drive
// it, need: errors the sim reports, states it keeps, notifications it sends.
// The program itself never names them, so they stay out of
// platform/win32_types.h (whose constants the Windows build checks against
// the SDK). The names and values are the SDK's.
#pragma once

#include "platform/win32_types.h"

namespace platform {

// Errors
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_BAD_FORMAT = 11;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_INVALID_LEVEL = 124;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_NOT_LOCKED = 158;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr DWORD ERROR_INVALID_ADDRESS = 487;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
constexpr DWORD ERROR_SERVICE_NEVER_STARTED = 1077;
constexpr DWORD ERROR_CANCELLED = 1223;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD ERROR_INVALID_USER_BUFFER = 1784;
constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 1815;
constexpr DWORD ERROR_WRONG_INF_STYLE = 0xE0000100;
constexpr DWORD ERROR_CLASS_MISMATCH = 0xE0000201;
constexpr DWORD ERROR_KEY_DOES_NOT_EXIST = 0xE0000204;
constexpr DWORD ERROR_INVALID_DEVINST_NAME = 0xE0000205;
constexpr DWORD ERROR_DEVINST_ALREADY_EXISTS = 0xE0000207;
constexpr DWORD ERROR_INVALID_REG_PROPERTY = 0xE0000209;
constexpr DWORD ERROR_DI_DO_DEFAULT = 0xE000020E;
constexpr DWORD ERROR_NO_CLASS_INSTALL_PARAMS = 0xE0000215;

// Files
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_TYPE_CHAR = 0x2;
constexpr DWORD FILE_TYPE_PIPE = 0x3;

// Processes
constexpr DWORD STILL_ACTIVE = 259;
constexpr USHORT IMAGE_FILE_MACHINE_I386 = 0x14C;

// Setup API
constexpr DWORD SPDRP_COMPATIBLEIDS = 0x2;
constexpr DWORD DIREG_DEV = 0x1;
constexpr ULONG CM_PROB_FAILED_INSTALL = 0x1C;
constexpr CONFIGRET CR_FAILURE = 0x13;
constexpr UINT SPFILENOTIFY_STARTQUEUE = 0x1;
constexpr UINT SPFILENOTIFY_ENDQUEUE = 0x2;
constexpr UINT SPFILENOTIFY_STARTSUBQUEUE = 0x3;
constexpr UINT SPFILENOTIFY_ENDSUBQUEUE = 0x4;
constexpr UINT SPFILENOTIFY_STARTCOPY = 0xB;
constexpr UINT SPFILENOTIFY_ENDCOPY = 0xC;
constexpr UINT FILEOP_COPY = 0;
constexpr UINT FILEOP_SKIP = 2;

// Service Control Manager
constexpr DWORD SERVICE_ACCEPT_STOP = 0x1;

}  // namespace platform
