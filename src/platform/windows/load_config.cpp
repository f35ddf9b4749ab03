// The program's load configuration: a directory of the PE image that Windows
// reads before the program's first line runs.
//
// It is here for DependentLoadFlags: the libraries the program imports, and
// those they import in turn, are looked for in the system folder alone, never
// in the program's own folder, where a downloaded program may sit beside a
// planted DLL. Windows 10 1607 and later honour it; older systems read the
// fields they know and pass over the rest.
//
// mingw-w64's runtime brings no load configuration of its own, and its
// headers know the structure only up to SEHandlerCount, so the layout of the
// current SDK is written out in full. The linker finds the directory by the
// symbol's name (_load_config_used; __load_config_used on x86, where C names
// gain an underscore) and puts it into the data directory, with the Size
// field below as its size for x64, and with 64 for x86, the size Windows XP
// insists on, while later systems read the Size field. Everything else is
// zero: no security cookie (the stack protector keeps its own), no SafeSEH
// table (a 32-bit image without one may use any handler, as it did without a
// load configuration), no Control Flow Guard.
#include <windows.h>

#include <cstddef>

namespace {

using Address = ULONG_PTR;  // the fields that are 32 bits wide in x86 images and 64 in x64 ones

struct CodeIntegrity {
    WORD Flags;
    WORD Catalog;
    DWORD CatalogOffset;
    DWORD Reserved;
};

struct LoadConfigDirectory {
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    Address DeCommitFreeBlockThreshold;
    Address DeCommitTotalFreeThreshold;
    Address LockPrefixTable;
    Address MaximumAllocationSize;
    Address VirtualMemoryThreshold;
#ifdef _WIN64
    Address ProcessAffinityMask;
    DWORD ProcessHeapFlags;
#else
    DWORD ProcessHeapFlags;
    Address ProcessAffinityMask;
#endif
    WORD CSDVersion;
    WORD DependentLoadFlags;
    Address EditList;
    Address SecurityCookie;
    Address SEHandlerTable;
    Address SEHandlerCount;
    Address GuardCFCheckFunctionPointer;
    Address GuardCFDispatchFunctionPointer;
    Address GuardCFFunctionTable;
    Address GuardCFFunctionCount;
    DWORD GuardFlags;
    CodeIntegrity CodeIntegrity;
    Address GuardAddressTakenIatEntryTable;
    Address GuardAddressTakenIatEntryCount;
    Address GuardLongJumpTargetTable;
    Address GuardLongJumpTargetCount;
    Address DynamicValueRelocTable;
    Address CHPEMetadataPointer;
    Address GuardRFFailureRoutine;
    Address GuardRFFailureRoutineFunctionPointer;
    DWORD DynamicValueRelocTableOffset;
    WORD DynamicValueRelocTableSection;
    WORD Reserved2;
    Address GuardRFVerifyStackPointerFunctionPointer;
    DWORD HotPatchTableOffset;
    DWORD Reserved3;
    Address EnclaveConfigurationPointer;
    Address VolatileMetadataPointer;
    Address GuardEHContinuationTable;
    Address GuardEHContinuationCount;
    Address GuardXFGCheckFunctionPointer;
    Address GuardXFGDispatchFunctionPointer;
    Address GuardXFGTableDispatchFunctionPointer;
    Address CastGuardOsDeterminedFailureMode;
    Address GuardMemcpyFunctionPointer;
};

// The sizes and offsets the SDK's IMAGE_LOAD_CONFIG_DIRECTORY32/64 have.
#ifdef _WIN64
static_assert(sizeof(LoadConfigDirectory) == 0x140, "the x64 load configuration of the current SDK");
static_assert(offsetof(LoadConfigDirectory, DependentLoadFlags) == 0x4E, "DependentLoadFlags");
static_assert(offsetof(LoadConfigDirectory, GuardFlags) == 0x90, "GuardFlags");
#else
static_assert(sizeof(LoadConfigDirectory) == 0xC0, "the x86 load configuration of the current SDK");
static_assert(offsetof(LoadConfigDirectory, DependentLoadFlags) == 0x36, "DependentLoadFlags");
static_assert(offsetof(LoadConfigDirectory, SEHandlerTable) == 0x40, "SEHandlerTable");
static_assert(offsetof(LoadConfigDirectory, GuardFlags) == 0x58, "GuardFlags");
#endif

// Made at compile time: the loader reads it before any of the program's
// initialisation has run.
constexpr LoadConfigDirectory MakeLoadConfig()
{
    LoadConfigDirectory directory{};
    directory.Size = sizeof directory;
    directory.DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32;
    return directory;
}

}  // namespace

// NOLINTNEXTLINE(bugprone-reserved-identifier): the name the linker looks for
extern "C" constexpr LoadConfigDirectory _load_config_used = MakeLoadConfig();
