// Dynamic loading on the simulated machine, the new-device library, and the
// system libraries that the program loads at the first call that needs them.
//
// LoadLibraryExW searches as Windows does: a name with a path is that file;
// a bare name is looked for in the folders the LOAD_LIBRARY_SEARCH_* flags
// name, or, without them, in those SetDefaultDllDirectories set, or, without
// that either, in the classic order that starts at the program's own folder.
// Each successful load gets a handle of its own, which FreeLibrary closes;
// the program loads a library once per use, so sharing one module handle
// between loads, as Windows does, would show nothing more.

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace sim {

namespace {

constexpr DWORD kSearchDllLoadDir = 0x100;
constexpr DWORD kSearchApplicationDir = 0x200;
constexpr DWORD kSearchUserDirs = 0x400;
constexpr DWORD kSearchDefaultDirs = 0x1000;
constexpr DWORD kSearchFlags =
    kSearchDllLoadDir | kSearchApplicationDir | kSearchUserDirs | LOAD_LIBRARY_SEARCH_SYSTEM32 | kSearchDefaultDirs;

constexpr DWORD kInstallFlagForce = 0x1;
constexpr DWORD kKnownInstallFlags = 0x7;  // FORCE, READONLY, NONINTERACTIVE

struct LoadedLibrary {
    std::u16string path;
};

std::u16string FolderOf(const std::u16string& path)
{
    const std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

std::u16string WindowsFolder(const Machine& m) { return FolderOf(m.systemDirectory); }

// The folders a bare name is looked for in, in order.
std::vector<std::u16string> SearchFolders(const Machine& m, DWORD searchFlags)
{
    const std::u16string application = FolderOf(m.modulePath);
    if (searchFlags == 0) return {application, m.systemDirectory, WindowsFolder(m)};
    if ((searchFlags & kSearchDefaultDirs) != 0) return {application, m.systemDirectory};
    std::vector<std::u16string> folders;
    if ((searchFlags & kSearchApplicationDir) != 0) folders.push_back(application);
    if ((searchFlags & LOAD_LIBRARY_SEARCH_SYSTEM32) != 0) folders.push_back(m.systemDirectory);
    return folders;
}

const Library* FindLibrary(const Machine& m, const std::u16string& path)
{
    auto it = std::find_if(m.libraries.begin(), m.libraries.end(),
                           [&](const Library& library) { return SameFolded(library.path, path); });
    return it == m.libraries.end() ? nullptr : &*it;
}

const Library* Locate(const Machine& m, const std::u16string& name, DWORD searchFlags)
{
    if (name.find_first_of(u"\\/") != std::u16string::npos) return FindLibrary(m, name);
    for (std::u16string path : SearchFolders(m, searchFlags)) {
        path += u'\\';
        path += name;
        if (const Library* library = FindLibrary(m, path)) return library;
    }
    return nullptr;
}

// What the system's newdev.dll does for UpdateDriverForPlugAndPlayDevicesW:
// install the INF's driver on every present device that lists the ID among
// its hardware or compatible IDs and for which the INF has a model.
struct UpdateOutcome {
    bool installed = false;
    bool notBetter = false;
    bool restart = false;
};

bool InfHasModelFor(const InfFile& inf, const Device& device)
{
    return std::any_of(inf.models.begin(), inf.models.end(), [&](const std::u16string& model) {
        return MultiStringHolds(device.hardwareIds, model) || MultiStringHolds(device.compatibleIds, model);
    });
}

UpdateOutcome UpdateMatchingDevices(Machine& m, const std::u16string& id, const std::u16string& infPath,
                                    const InfFile& inf, DWORD flags)
{
    UpdateOutcome outcome;
    for (auto& [devInst, device] : m.devices.byDevInst) {
        if (!device.registered || !device.present) continue;
        if (!MultiStringHolds(device.hardwareIds, id) && !MultiStringHolds(device.compatibleIds, id)) continue;
        if (!InfHasModelFor(inf, device)) continue;
        if (device.betterDriverInPlace && (flags & kInstallFlagForce) == 0) {
            outcome.notBetter = true;
            continue;
        }
        // Windows stages the package first and installs it from the store.
        DeviceTree::InstallDriver(device, infPath, m.devices.Stage(infPath), inf);
        device.betterDriverInPlace = false;
        outcome.installed = true;
        outcome.restart = outcome.restart || device.restartAfterDriverInstall;
    }
    return outcome;
}

BOOL PLATFORM_API UpdateDriverForPlugAndPlayDevicesW(HWND parent, LPCWSTR hardwareId, LPCWSTR fullInfPath,
                                                     DWORD installFlags, BOOL* rebootRequired)
{
    Machine& m = Machine::Current();
    if (m.Enter("UpdateDriverForPlugAndPlayDevicesW", [&] {
            return sim::Arguments{m.handles.Label(parent), Text(hardwareId), Text(fullInfPath), Hex(installFlags),
                                  rebootRequired == nullptr ? u"(null)" : u"(BOOL*)"};
        }))
        return FALSE;
    if ((installFlags & ~kKnownInstallFlags) != 0) return m.Fail(ERROR_INVALID_FLAGS);
    if (hardwareId == nullptr || *hardwareId == 0 || fullInfPath == nullptr || *fullInfPath == 0) {
        return m.Fail(ERROR_INVALID_PARAMETER);
    }
    if (m.devices.wow64) return m.Fail(ERROR_IN_WOW64);
    // The answer is written whatever follows, as Windows does.
    if (rebootRequired != nullptr) *rebootRequired = FALSE;
    const InfFile* inf = m.infs.Find(fullInfPath);
    if (!m.FileAttributes(fullInfPath) || inf == nullptr) return m.Fail(ERROR_FILE_NOT_FOUND);
    const UpdateOutcome outcome = UpdateMatchingDevices(m, hardwareId, fullInfPath, *inf, installFlags);
    if (!outcome.installed) return m.Fail(outcome.notBetter ? ERROR_NO_MORE_ITEMS : ERROR_NO_SUCH_DEVINST);
    if (rebootRequired != nullptr) *rebootRequired = outcome.restart ? TRUE : FALSE;
    return TRUE;
}

// Answers at once when nothing is pending or the wait outlasts it; the
// simulated clock does not move, so a shorter wait times out.
DWORD PLATFORM_API CMP_WaitNoPendingInstallEvents(DWORD timeout)
{
    Machine& m = Machine::Current();
    if (m.Enter("CMP_WaitNoPendingInstallEvents", [&] { return sim::Arguments{Number(timeout)}; })) return WAIT_FAILED;
    DWORD& pending = m.devices.pendingInstallationMs;
    if (pending != 0 && timeout != INFINITE && timeout < pending) return WAIT_TIMEOUT;
    pending = 0;
    return WAIT_OBJECT_0;
}

template <typename Function>
FARPROC Address(Function* function)
{
    return reinterpret_cast<FARPROC>(function);
}

struct SystemExport {
    std::string_view function;
    const char16_t* library;
    FARPROC address;
};

constexpr char16_t kSetupApi[] = u"setupapi.dll";
constexpr char16_t kShell[] = u"shell32.dll";
constexpr char16_t kUser[] = u"user32.dll";

// The functions of platform.h that those libraries export, by name.
const SystemExport kSystemExports[] = {
    {"GetProcessWindowStation", kUser, Address(&GetProcessWindowStation)},
    {"GetUserObjectInformationW", kUser, Address(&GetUserObjectInformationW)},
    {"MessageBoxW", kUser, Address(&MessageBoxW)},
    {"SetupCloseFileQueue", kSetupApi, Address(&SetupCloseFileQueue)},
    {"SetupCloseInfFile", kSetupApi, Address(&SetupCloseInfFile)},
    {"SetupCommitFileQueueW", kSetupApi, Address(&SetupCommitFileQueueW)},
    {"SetupCopyOEMInfW", kSetupApi, Address(&SetupCopyOEMInfW)},
    {"SetupDefaultQueueCallbackW", kSetupApi, Address(&SetupDefaultQueueCallbackW)},
    {"SetupDiCallClassInstaller", kSetupApi, Address(&SetupDiCallClassInstaller)},
    {"SetupDiCreateDeviceInfoList", kSetupApi, Address(&SetupDiCreateDeviceInfoList)},
    {"SetupDiCreateDeviceInfoW", kSetupApi, Address(&SetupDiCreateDeviceInfoW)},
    {"SetupDiDestroyDeviceInfoList", kSetupApi, Address(&SetupDiDestroyDeviceInfoList)},
    {"SetupDiEnumDeviceInfo", kSetupApi, Address(&SetupDiEnumDeviceInfo)},
    {"SetupDiGetActualSectionToInstallW", kSetupApi, Address(&SetupDiGetActualSectionToInstallW)},
    {"SetupDiGetClassDevsW", kSetupApi, Address(&SetupDiGetClassDevsW)},
    {"SetupDiGetDeviceInstallParamsW", kSetupApi, Address(&SetupDiGetDeviceInstallParamsW)},
    {"SetupDiGetDeviceInstanceIdW", kSetupApi, Address(&SetupDiGetDeviceInstanceIdW)},
    {"SetupDiGetDeviceRegistryPropertyW", kSetupApi, Address(&SetupDiGetDeviceRegistryPropertyW)},
    {"SetupDiGetINFClassW", kSetupApi, Address(&SetupDiGetINFClassW)},
    {"SetupDiOpenDevRegKey", kSetupApi, Address(&SetupDiOpenDevRegKey)},
    {"SetupDiRemoveDevice", kSetupApi, Address(&SetupDiRemoveDevice)},
    {"SetupDiSetClassInstallParamsW", kSetupApi, Address(&SetupDiSetClassInstallParamsW)},
    {"SetupDiSetDeviceInstallParamsW", kSetupApi, Address(&SetupDiSetDeviceInstallParamsW)},
    {"SetupDiSetDeviceRegistryPropertyW", kSetupApi, Address(&SetupDiSetDeviceRegistryPropertyW)},
    {"SetupInitDefaultQueueCallback", kSetupApi, Address(&SetupInitDefaultQueueCallback)},
    {"SetupInitDefaultQueueCallbackEx", kSetupApi, Address(&SetupInitDefaultQueueCallbackEx)},
    {"SetupInstallFilesFromInfSectionW", kSetupApi, Address(&SetupInstallFilesFromInfSectionW)},
    {"SetupInstallFromInfSectionW", kSetupApi, Address(&SetupInstallFromInfSectionW)},
    {"SetupInstallServicesFromInfSectionW", kSetupApi, Address(&SetupInstallServicesFromInfSectionW)},
    {"SetupOpenFileQueue", kSetupApi, Address(&SetupOpenFileQueue)},
    {"SetupOpenInfFileW", kSetupApi, Address(&SetupOpenInfFileW)},
    {"SetupPromptReboot", kSetupApi, Address(&SetupPromptReboot)},
    {"SetupTermDefaultQueueCallback", kSetupApi, Address(&SetupTermDefaultQueueCallback)},
    {"SetupUninstallOEMInfW", kSetupApi, Address(&SetupUninstallOEMInfW)},
    {"ShellExecuteW", kShell, Address(&ShellExecuteW)},
};

const SystemExport* FindSystemExport(std::string_view function)
{
    auto it = std::find_if(std::begin(kSystemExports), std::end(kSystemExports),
                           [&](const SystemExport& entry) { return entry.function == function; });
    return it == std::end(kSystemExports) ? nullptr : &*it;
}

std::u16string FileNameOf(const std::u16string& path)
{
    const std::size_t slash = path.find_last_of(u"\\/");
    return FoldCase(slash == std::u16string::npos ? path : path.substr(slash + 1));
}

}  // namespace

void AddSystemLibraries(Machine& machine)
{
    for (const char16_t* name : {kSetupApi, kShell, kUser}) {
        Library library{machine.systemDirectory + u'\\' + name, {}};
        for (const SystemExport& entry : kSystemExports)
            if (entry.library == name) library.exports[entry.function] = entry.address;
        machine.libraries.push_back(std::move(library));
    }
}

void Machine::RemoveLibrary(const std::u16string& fileName)
{
    const std::u16string wanted = FoldCase(fileName);
    libraries.erase(std::remove_if(libraries.begin(), libraries.end(),
                                   [&](const Library& library) { return FileNameOf(library.path) == wanted; }),
                    libraries.end());
}

Library* Machine::SystemLibrary(const std::u16string& fileName)
{
    const std::u16string wanted = systemDirectory + u'\\' + fileName;
    auto it = std::find_if(libraries.begin(), libraries.end(),
                           [&](const Library& library) { return SameFolded(library.path, wanted); });
    return it == libraries.end() ? nullptr : &*it;
}

// The Windows backend loads the library from the system folder at the first
// call of one of its functions, and resolves each function once; a library
// it cannot load or a function it cannot find fails the call.
bool Machine::BindSystemFunction(std::size_t function)
{
    // Which functions the system libraries export is the same for every
    // machine: looked up once for the process.
    static std::vector<std::optional<const SystemExport*>> exports;
    if (exports.size() <= function) exports.resize(function + 1);
    if (!exports[function]) exports[function] = FindSystemExport(FunctionName(function));
    const SystemExport* entry = *exports[function];
    if (boundFunctions_.size() <= function) boundFunctions_.resize(function + 1, false);
    if (entry == nullptr || boundFunctions_[function]) return true;
    const Library* library = SystemLibrary(entry->library);
    if (library == nullptr) {
        lastError = ERROR_MOD_NOT_FOUND;
        return false;
    }
    if (std::find(loadedLibraries.begin(), loadedLibraries.end(), library->path) == loadedLibraries.end())
        loadedLibraries.push_back(library->path);
    if (library->exports.count(entry->function) == 0) {
        lastError = ERROR_PROC_NOT_FOUND;
        return false;
    }
    boundFunctions_[function] = true;
    return true;
}

void AddPendingInstallWait(Machine& machine, const std::u16string& name)
{
    const auto wait = reinterpret_cast<FARPROC>(&CMP_WaitNoPendingInstallEvents);
    if (Library* present = machine.SystemLibrary(name)) {
        present->exports["CMP_WaitNoPendingInstallEvents"] = wait;
        return;
    }
    Library library{machine.systemDirectory + u"\\" + name, {}};
    library.exports["CMP_WaitNoPendingInstallEvents"] = wait;
    machine.libraries.push_back(std::move(library));
}

void AddNewDevLibrary(Machine& machine, bool withUpdateFunction)
{
    Library library{machine.systemDirectory + u"\\newdev.dll", {}};
    if (withUpdateFunction)
        library.exports["UpdateDriverForPlugAndPlayDevicesW"] =
            reinterpret_cast<FARPROC>(&UpdateDriverForPlugAndPlayDevicesW);
    machine.libraries.push_back(std::move(library));
}

}  // namespace sim

namespace platform {

using sim::Machine;

HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE reserved, DWORD flags)
{
    Machine& m = Machine::Current();
    if (m.Enter("LoadLibraryExW", [&] {
            return sim::Arguments{sim::Text(fileName), m.handles.Label(reserved), sim::Hex(flags)};
        }))
        return nullptr;
    const DWORD searchFlags = flags & sim::kSearchFlags;
    // The LOAD_LIBRARY_SEARCH_* flags came with SetDefaultDllDirectories;
    // a system without the one refuses the others.
    if (fileName == nullptr || reserved != nullptr || (searchFlags != 0 && !m.hasSetDefaultDllDirectories)) {
        return m.Fail(ERROR_INVALID_PARAMETER, nullptr);
    }
    const sim::Library* library = sim::Locate(m, fileName, searchFlags != 0 ? searchFlags : m.defaultDllDirectories);
    if (library == nullptr) return m.Fail(ERROR_MOD_NOT_FOUND, nullptr);
    m.loadedLibraries.push_back(library->path);
    return m.handles.Add(sim::HandleKind::library, library->path,
                         std::make_shared<sim::LoadedLibrary>(sim::LoadedLibrary{library->path}));
}

FARPROC GetProcAddress(HMODULE module, const char* procName)
{
    Machine& m = Machine::Current();
    const bool byOrdinal = (reinterpret_cast<ULONG_PTR>(procName) >> 16) == 0;
    if (m.Enter("GetProcAddress", [&] {
            return sim::Arguments{m.handles.Label(module), byOrdinal ? u"(ordinal)" : sim::U16(procName)};
        }))
        return nullptr;
    const sim::LoadedLibrary* loaded = m.handles.Find<sim::LoadedLibrary>(module, sim::HandleKind::library);
    if (loaded == nullptr) return m.Fail(ERROR_INVALID_HANDLE, nullptr);
    const sim::Library* library = sim::FindLibrary(m, loaded->path);
    if (byOrdinal || library == nullptr || library->exports.count(procName) == 0) {
        return m.Fail(ERROR_PROC_NOT_FOUND, nullptr);
    }
    return library->exports.at(procName);
}

BOOL FreeLibrary(HMODULE module)
{
    Machine& m = Machine::Current();
    if (m.Enter("FreeLibrary", [&] { return sim::Arguments{m.handles.Label(module)}; })) return FALSE;
    if (!m.handles.Remove(module, sim::HandleKind::library)) return m.Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

// Only the flags Windows accepts here; the choice holds for every later
// LoadLibraryExW without search flags of its own.
BOOL SetDefaultDllDirectories(DWORD directoryFlags)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetDefaultDllDirectories", [&] { return sim::Arguments{sim::Hex(directoryFlags)}; })) return FALSE;
    if (!m.hasSetDefaultDllDirectories) return m.Fail(ERROR_PROC_NOT_FOUND);
    const DWORD allowed = sim::kSearchFlags & ~sim::kSearchDllLoadDir;
    if (directoryFlags == 0 || (directoryFlags & ~allowed) != 0) return m.Fail(ERROR_INVALID_PARAMETER);
    m.defaultDllDirectories = directoryFlags;
    return TRUE;
}

}  // namespace platform
