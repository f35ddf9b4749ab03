#include "base/error_names.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "base/numbers.h"

namespace ostrel {

namespace {

// In ascending order of code, each name without its "ERROR_". The Setup
// API's codes are APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | n, as
// setupapi.h has them.
#define OSTREL_NAMED_ERRORS(X)                        \
    X(1, INVALID_FUNCTION)                            \
    X(2, FILE_NOT_FOUND)                              \
    X(3, PATH_NOT_FOUND)                              \
    X(5, ACCESS_DENIED)                               \
    X(6, INVALID_HANDLE)                              \
    X(8, NOT_ENOUGH_MEMORY)                           \
    X(13, INVALID_DATA)                               \
    X(21, NOT_READY)                                  \
    X(32, SHARING_VIOLATION)                          \
    X(33, LOCK_VIOLATION)                             \
    X(80, FILE_EXISTS)                                \
    X(87, INVALID_PARAMETER)                          \
    X(112, DISK_FULL)                                 \
    X(120, CALL_NOT_IMPLEMENTED)                      \
    X(122, INSUFFICIENT_BUFFER)                       \
    X(126, MOD_NOT_FOUND)                             \
    X(127, PROC_NOT_FOUND)                            \
    X(193, BAD_EXE_FORMAT)                            \
    X(206, FILENAME_EXCED_RANGE)                      \
    X(259, NO_MORE_ITEMS)                             \
    X(740, ELEVATION_REQUIRED)                        \
    X(1004, INVALID_FLAGS)                            \
    X(1006, FILE_INVALID)                             \
    X(1053, SERVICE_REQUEST_TIMEOUT)                  \
    X(1056, SERVICE_ALREADY_RUNNING)                  \
    X(1058, SERVICE_DISABLED)                         \
    X(1060, SERVICE_DOES_NOT_EXIST)                   \
    X(1061, SERVICE_CANNOT_ACCEPT_CTRL)               \
    X(1062, SERVICE_NOT_ACTIVE)                       \
    X(1072, SERVICE_MARKED_FOR_DELETE)                \
    X(1223, CANCELLED)                                \
    X(1300, NOT_ALL_ASSIGNED)                         \
    X(1603, INSTALL_FAILURE)                          \
    X(1618, INSTALL_ALREADY_RUNNING)                  \
    X(1639, INVALID_COMMAND_LINE)                     \
    X(1641, SUCCESS_REBOOT_INITIATED)                 \
    X(3010, SUCCESS_REBOOT_REQUIRED)                  \
    X(0xE0000000, EXPECTED_SECTION_NAME)              \
    X(0xE0000001, BAD_SECTION_NAME_LINE)              \
    X(0xE0000002, SECTION_NAME_TOO_LONG)              \
    X(0xE0000003, GENERAL_SYNTAX)                     \
    X(0xE0000100, WRONG_INF_STYLE)                    \
    X(0xE0000101, SECTION_NOT_FOUND)                  \
    X(0xE0000102, LINE_NOT_FOUND)                     \
    X(0xE0000103, NO_BACKUP)                          \
    X(0xE0000200, NO_ASSOCIATED_CLASS)                \
    X(0xE0000201, CLASS_MISMATCH)                     \
    X(0xE0000202, DUPLICATE_FOUND)                    \
    X(0xE0000203, NO_DRIVER_SELECTED)                 \
    X(0xE0000204, KEY_DOES_NOT_EXIST)                 \
    X(0xE0000205, INVALID_DEVINST_NAME)               \
    X(0xE0000206, INVALID_CLASS)                      \
    X(0xE0000207, DEVINST_ALREADY_EXISTS)             \
    X(0xE0000208, DEVINFO_NOT_REGISTERED)             \
    X(0xE0000209, INVALID_REG_PROPERTY)               \
    X(0xE000020A, NO_INF)                             \
    X(0xE000020B, NO_SUCH_DEVINST)                    \
    X(0xE000020C, CANT_LOAD_CLASS_ICON)               \
    X(0xE000020D, INVALID_CLASS_INSTALLER)            \
    X(0xE000020E, DI_DO_DEFAULT)                      \
    X(0xE000020F, DI_NOFILECOPY)                      \
    X(0xE0000210, INVALID_HWPROFILE)                  \
    X(0xE0000211, NO_DEVICE_SELECTED)                 \
    X(0xE0000212, DEVINFO_LIST_LOCKED)                \
    X(0xE0000213, DEVINFO_DATA_LOCKED)                \
    X(0xE0000214, DI_BAD_PATH)                        \
    X(0xE0000215, NO_CLASSINSTALL_PARAMS)             \
    X(0xE0000216, FILEQUEUE_LOCKED)                   \
    X(0xE0000217, BAD_SERVICE_INSTALLSECT)            \
    X(0xE0000218, NO_CLASS_DRIVER_LIST)               \
    X(0xE0000219, NO_ASSOCIATED_SERVICE)              \
    X(0xE000021A, NO_DEFAULT_DEVICE_INTERFACE)        \
    X(0xE000021B, DEVICE_INTERFACE_ACTIVE)            \
    X(0xE000021C, DEVICE_INTERFACE_REMOVED)           \
    X(0xE000021D, BAD_INTERFACE_INSTALLSECT)          \
    X(0xE000021E, NO_SUCH_INTERFACE_CLASS)            \
    X(0xE000021F, INVALID_REFERENCE_STRING)           \
    X(0xE0000220, INVALID_MACHINENAME)                \
    X(0xE0000221, REMOTE_COMM_FAILURE)                \
    X(0xE0000222, MACHINE_UNAVAILABLE)                \
    X(0xE0000223, NO_CONFIGMGR_SERVICES)              \
    X(0xE0000224, INVALID_PROPPAGE_PROVIDER)          \
    X(0xE0000225, NO_SUCH_DEVICE_INTERFACE)           \
    X(0xE0000226, DI_POSTPROCESSING_REQUIRED)         \
    X(0xE0000227, INVALID_COINSTALLER)                \
    X(0xE0000228, NO_COMPAT_DRIVERS)                  \
    X(0xE0000229, NO_DEVICE_ICON)                     \
    X(0xE000022A, INVALID_INF_LOGCONFIG)              \
    X(0xE000022B, DI_DONT_INSTALL)                    \
    X(0xE000022C, INVALID_FILTER_DRIVER)              \
    X(0xE000022D, NON_WINDOWS_NT_DRIVER)              \
    X(0xE000022E, NON_WINDOWS_DRIVER)                 \
    X(0xE000022F, NO_CATALOG_FOR_OEM_INF)             \
    X(0xE0000230, DEVINSTALL_QUEUE_NONNATIVE)         \
    X(0xE0000231, NOT_DISABLEABLE)                    \
    X(0xE0000232, CANT_REMOVE_DEVINST)                \
    X(0xE0000233, INVALID_TARGET)                     \
    X(0xE0000234, DRIVER_NONNATIVE)                   \
    X(0xE0000235, IN_WOW64)                           \
    X(0xE0000236, SET_SYSTEM_RESTORE_POINT)           \
    X(0xE0000237, INCORRECTLY_COPIED_INF)             \
    X(0xE0000238, SCE_DISABLED)                       \
    X(0xE0000239, UNKNOWN_EXCEPTION)                  \
    X(0xE000023A, PNP_REGISTRY_ERROR)                 \
    X(0xE000023B, REMOTE_REQUEST_UNSUPPORTED)         \
    X(0xE000023C, NOT_AN_INSTALLED_OEM_INF)           \
    X(0xE000023D, INF_IN_USE_BY_DEVICES)              \
    X(0xE000023E, DI_FUNCTION_OBSOLETE)               \
    X(0xE000023F, NO_AUTHENTICODE_CATALOG)            \
    X(0xE0000240, AUTHENTICODE_DISALLOWED)            \
    X(0xE0000241, AUTHENTICODE_TRUSTED_PUBLISHER)     \
    X(0xE0000242, AUTHENTICODE_TRUST_NOT_ESTABLISHED) \
    X(0xE0000243, AUTHENTICODE_PUBLISHER_NOT_TRUSTED) \
    X(0xE0000244, SIGNATURE_OSATTRIBUTE_MISMATCH)     \
    X(0xE0000245, ONLY_VALIDATE_VIA_AUTHENTICODE)     \
    X(0xE0000246, DEVICE_INSTALLER_NOT_READY)         \
    X(0xE0000247, DRIVER_STORE_ADD_FAILED)            \
    X(0xE0000248, DEVICE_INSTALL_BLOCKED)             \
    X(0xE0000249, DRIVER_INSTALL_BLOCKED)             \
    X(0xE000024A, WRONG_INF_TYPE)                     \
    X(0xE000024B, FILE_HASH_NOT_IN_CATALOG)           \
    X(0xE000024C, DRIVER_STORE_DELETE_FAILED)         \
    X(0xE0000300, UNRECOVERABLE_STACK_OVERFLOW)       \
    X(0xE0001000, NOT_INSTALLED)

// A code in 16 bits: a Win32 code below 0x8000 as it is, a Setup API code
// as 0x8000 and its last 15 bits; 0 for any other code, which has no name.
constexpr std::uint16_t ShortCode(std::uint32_t code)
{
    constexpr std::uint32_t kSetupApiCodes = 0xE0000000;
    constexpr std::uint32_t kLow = 0x7FFF;
    if (code <= kLow) return static_cast<std::uint16_t>(code);
    if ((code & ~kLow) == kSetupApiCodes) return static_cast<std::uint16_t>(0x8000 | (code & kLow));
    return 0;
}

// Codes and names apart, the codes in 16 bits and the names one string: a
// third of the room that a table of wide names and pointers takes.
#define OSTREL_ERROR_CODE(code, name) ShortCode(code),
constexpr std::uint16_t kCodes[] = {OSTREL_NAMED_ERRORS(OSTREL_ERROR_CODE)};
#undef OSTREL_ERROR_CODE
#define OSTREL_ERROR_NAME(code, name) #name "\0"
constexpr char kNames[] = OSTREL_NAMED_ERRORS(OSTREL_ERROR_NAME);
#undef OSTREL_ERROR_NAME
#undef OSTREL_NAMED_ERRORS

constexpr char kPrefix[] = "ERROR_";

constexpr bool Ascending()
{
    for (std::size_t i = 1; i < std::size(kCodes); ++i)
        if (kCodes[i - 1] >= kCodes[i]) return false;
    return true;
}
static_assert(Ascending() && kCodes[0] != 0, "kCodes is searched by halves, and each code has its short form");

// The longest name, and that each code has one.
constexpr std::size_t LongestName()
{
    std::size_t longest = 0;
    std::size_t names = 0;
    std::size_t length = 0;
    for (std::size_t i = 0; i + 1 < sizeof kNames; ++i) {
        if (kNames[i] != '\0') {
            ++length;
            continue;
        }
        longest = std::max(longest, length);
        length = 0;
        ++names;
    }
    return names == std::size(kCodes) ? longest : 0;
}
static_assert(LongestName() != 0, "one name for each code");
static_assert(sizeof kPrefix - 1 + LongestName() < kErrorNameUnits, "ErrorNameBuffer holds every name");

}  // namespace

bool ErrorName(platform::DWORD code, ErrorNameBuffer& name) noexcept
{
    name[0] = u'\0';
    const std::uint16_t shortCode = ShortCode(code);
    const auto* found = std::lower_bound(std::begin(kCodes), std::end(kCodes), shortCode);
    if (shortCode == 0 || found == std::end(kCodes) || *found != shortCode) return false;
    const char* narrow = kNames;
    for (auto index = found - std::begin(kCodes); index > 0; --index)
        while (*narrow++ != '\0') {
        }
    std::size_t used = 0;
    for (const char* c = kPrefix; *c != '\0'; ++c) name[used++] = static_cast<char16_t>(*c);
    for (; *narrow != '\0'; ++narrow) name[used++] = static_cast<char16_t>(*narrow);
    name[used] = u'\0';
    return true;
}

bool AppendErrorCode(Text& text, platform::DWORD code)
{
    AppendHex(text, code);
    text.append(" (");
    AppendNumber(text, code);
    ErrorNameBuffer name;
    if (ErrorName(code, name)) {
        text.append(", ");
        text.append(name);
    }
    return text.append(")");
}

}  // namespace ostrel
