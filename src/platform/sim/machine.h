// A simulated Windows machine for host builds and unit tests.
//
// A test makes one Machine (it becomes the current one), sets up the state it
// needs, runs program logic, and asserts on the boxes shown, the calls made
// and the state afterwards. Every platform call is logged, and any call can be
// made to fail with a chosen last error (by function name, call number and
// argument). The sim keeps the real error contracts: a bad handle fails with
// ERROR_INVALID_HANDLE, an enumeration past the end with ERROR_NO_MORE_ITEMS.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/device_tree.h"
#include "platform/sim/inf_world.h"
#include "platform/sim/service_database.h"
#include "platform/sim/session.h"
#include "platform/sim/text.h"
#include "platform/sim/vocabulary.h"
#include "platform/sim/win32_constants.h"
#include "platform/win32_types.h"

namespace sim {

using namespace platform;  // NOLINT(google-build-using-namespace): the sim speaks Win32 throughout

using Arguments = std::vector<std::u16string>;

struct CallRecord {
    std::string_view function;  // kept for the whole process
    std::vector<std::u16string> arguments;
    std::size_t liveAllocations = 0;  // local memory held when the call was made
};

// A number for each platform function's name, the same for the whole
// process; FunctionId takes the name as the literal a sim function passes.
std::size_t FunctionIdByName(std::string_view name);
std::size_t FunctionId(const char* function);
std::string_view FunctionName(std::size_t id);

struct MessageBoxRecord {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
};

// Objects behind handles. Each handle has its own label, which the call log
// shows instead of the raw handle value.
class HandleTable {
public:
    void* Add(HandleKind kind, std::u16string label, std::shared_ptr<void> object);
    template <typename T>
    T* Find(void* handle, HandleKind kind) const
    {
        auto it = entries_.find(handle);
        if (it == entries_.end() || it->second.kind != kind) return nullptr;
        return static_cast<T*>(it->second.object.get());
    }
    bool Remove(void* handle, HandleKind kind);
    std::u16string Label(const void* handle) const;
    std::size_t OpenCount() const { return entries_.size(); }
    std::size_t OpenCount(HandleKind kind) const;

private:
    struct Entry {
        HandleKind kind;
        std::u16string label;
        std::shared_ptr<void> object;
    };
    std::map<const void*, Entry> entries_;
    std::uintptr_t next_ = 0x1000;
};

// A library that LoadLibraryExW can find, with the functions it exports.
struct Library {
    std::u16string path;  // full path, e.g. C:\windows\system32\newdev.dll
    // By name; the names are literals (the machine's export tables, the
    // tests' own), so the keys need not own them.
    std::map<std::string_view, FARPROC> exports;
};

class Machine;

// SETUPAPI, SHELL32 and USER32, which the program loads from the system
// folder at the first call that needs them: in the system folder, each with
// the functions of platform.h that it exports. The constructor adds them.
void AddSystemLibraries(Machine& machine);

class Machine {
public:
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    static Machine& Current();

    // Call log and fault injection. Every sim function starts with Enter():
    // it logs the call and answers whether it fails (the last error is then
    // already set and the function returns its failure value): by a fault,
    // or because the system library of a function that the program loads at
    // its first call is missing or lacks it (ERROR_MOD_NOT_FOUND,
    // ERROR_PROC_NOT_FOUND).
    // `function` is the name as a literal of the calling sim function.
    // The arguments, as the log shows them, come from `makeArguments`, which
    // is called only when they are wanted: building them is most of what a
    // call costs, and the fuzzer never reads them.
    bool Enter(const char* function) { return Record(FunctionId(function), {}); }
    template <typename MakeArguments>
    bool Enter(const char* function, MakeArguments makeArguments)
    {
        const std::size_t id = FunctionId(function);
        return Record(id, ArgumentsWanted(id) ? makeArguments() : Arguments{});
    }
    // Whether calls are logged with their arguments. Without, a fault that
    // names an argument still sees the arguments of its function's calls.
    bool recordArguments = true;
    void FailCall(Fault fault);
    // A sim function's own refusal: sets the last error, returns the
    // function's failure value (FALSE unless given).
    BOOL Fail(DWORD error) { return Fail(error, FALSE); }
    template <typename Result>
    Result Fail(DWORD error, Result result)
    {
        lastError = error;
        return result;
    }
    const std::vector<CallRecord>& Calls() const { return calls_; }
    std::vector<std::string> CallNames() const;
    // The calls to the given functions only, in order, as "Name(arg1, arg2)".
    std::vector<std::string> CallsTo(const std::set<std::string>& functions) const;
    unsigned CallCount(const std::string& function) const;

    // Process
    std::u16string commandLine;  // the whole line, program name first
    std::u16string modulePath = u"C:\\Tools\\OstrelSetup.exe";
    std::u16string systemDirectory = u"C:\\windows\\system32";
    std::u16string currentDirectory = u"C:\\Tools";  // what GetFullPathNameW puts before a relative path
    UINT errorMode = 0;
    DWORD lastError = 0;

    // Files: full paths, compared without regard to case.
    void AddFile(const std::u16string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
    void AddFolder(const std::u16string& path) { AddFile(path, FILE_ATTRIBUTE_DIRECTORY); }
    void RemoveFile(const std::u16string& path);
    std::optional<DWORD> FileAttributes(const std::u16string& path) const;
    // A folder exists when it was added, or when a file, the program or the
    // system folder lies in it (so a test need not add every folder).
    bool FolderExists(const std::u16string& path) const;
    // An INF file: the file itself, what the Setup API reads from it, and the
    // sources of its sections' files beside it, as a package brings them;
    // those a section lists as missing are not there.
    void AddInf(const std::u16string& path, InfFile inf);

    // Locale. FindResourceW follows the UI language, as on Windows Vista and
    // later; the thread locale only changes what the program asks for.
    LCID threadLocale = LOCALE_ENGLISH_US;
    LANGID uiLanguage = 0x0409;

    // The module's string tables: block number and language to the raw block.
    std::map<std::pair<WORD, LANGID>, std::vector<std::uint8_t>> stringBlocks;
    // Reads the string tables of a compiled resource file (.res), as the
    // resource compiler makes it for the Windows build; the constructor reads
    // the project's own. Throws, changing nothing, on a malformed file.
    void LoadStringTables(const std::string& resPath);

    // System message texts by code; FormatMessageW fails with
    // ERROR_MR_MID_NOT_FOUND (317) for codes that have none.
    std::map<DWORD, std::u16string> systemTexts;

    // Local memory still allocated (LocalAlloc minus LocalFree).
    std::size_t LiveAllocations() const { return allocations_.size(); }
    std::set<void*>& Allocations() { return allocations_; }

    // Message boxes, recorded instead of shown; each answers `boxAnswer`.
    std::vector<MessageBoxRecord> boxes;
    int boxAnswer = IDOK;

    // Shell: the value ShellExecuteW returns, and the installs it started.
    std::intptr_t shellResult = 42;
    std::vector<std::u16string> shellInstalls;

    // Libraries LoadLibraryExW can find.
    std::vector<Library> libraries;
    // Paths, in load order: each LoadLibraryExW that found one, and each
    // system library at the first call that needed it.
    std::vector<std::u16string> loadedLibraries;
    // Every library of that file name, wherever it lies ("user32.dll").
    void RemoveLibrary(const std::u16string& fileName);
    // The library of that file name in the system folder, or null.
    Library* SystemLibrary(const std::u16string& fileName);
    bool hasSetDefaultDllDirectories = true;
    DWORD defaultDllDirectories = 0;

    // Restart prompts shown (SetupPromptReboot without ScanOnly); never restarts.
    unsigned restartPrompts = 0;

    HandleTable handles;
    ServiceDatabase services;
    DeviceTree devices;
    InfWorld infs;

    // ---- Unattended runs, processes and rights (console.cpp, process.cpp) ----
    // Where GetStdHandle leads, and what WriteFile put through a file or pipe there.
    StdTarget stdOutput = StdTarget::none;
    StdTarget stdError = StdTarget::none;
    std::string stdOutputBytes;
    std::string stdErrorBytes;
    std::u16string consoleText;  // all that WriteConsoleW (or WriteFile) wrote to a console
    // Contents of files, by path (any case); CreateFileW creates an entry, WriteFile appends.
    std::map<std::u16string, std::string> fileBytes;
    // Named pipes a server has made (\\.\pipe\...): CreateFileW opens them,
    // WriteFile appends to their fileBytes entry.
    std::set<std::u16string> pipes;
    // Other spellings that Windows resolves to an existing file (a hard
    // link, a short name): the alias's path to the file's.
    std::map<std::u16string, std::u16string> fileLinks;
    // Which file `path` names, however it is spelt: its canonical path,
    // through fileLinks.
    std::u16string FileIdentity(const std::u16string& path) const;
    std::vector<FileLock> fileLocks;
    // GetTickCount64's milliseconds: only Sleep moves the clock on, so a
    // wait takes no real time.
    ULONGLONG tickCount = 86400000;
    std::vector<DWORD> sleeps;  // each Sleep's milliseconds, in order
    std::vector<ProcessStart> processStarts;
    std::vector<ShutdownRequest> shutdowns;  // the restarts Windows accepted
    std::u16string userName = u"Tester";
    SessionHandles sessionHandles;
    DWORD childExitCode = 0;  // of each process started from now on
    SYSTEMTIME localTime{2026, 12, 2, 8, 11, 37, 19, 0};
    // The program's own architecture (picks .NTx86 / .NTamd64 sections) and
    // Windows's; whether it runs under WOW64 is devices.wow64.
    USHORT processMachine = IMAGE_FILE_MACHINE_AMD64;
    USHORT nativeMachine = IMAGE_FILE_MACHINE_AMD64;
    bool hasIsWow64Process2 = true;
    // Visible unless the program runs as a service or a task with no desktop.
    bool windowStationVisible = true;
    // AttachConsole(ATTACH_PARENT_PROCESS) succeeds only with a parent console;
    // a console standard handle counts as attached too.
    bool parentHasConsole = false;
    bool consoleAttached = false;
    bool elevated = true;
    bool holdsShutdownPrivilege = true;
    bool shutdownPrivilegeEnabled = false;

private:
    // Functions are known by a number of the process's own (FunctionId in
    // machine.cpp), so that logging a call copies and compares no names.
    bool Record(std::size_t function, Arguments arguments);
    bool ArgumentsWanted(std::size_t function) const;
    bool BindSystemFunction(std::size_t function);
    bool FaultFires(std::size_t function, unsigned number, const std::vector<std::u16string>& arguments);

    std::vector<CallRecord> calls_;
    std::vector<Fault> faults_;
    std::vector<std::size_t> faultFunctions_;  // each fault's function
    std::vector<unsigned> callCounts_;         // by function
    std::vector<bool> boundFunctions_;         // of the system libraries, found once and kept
    std::map<std::u16string, DWORD> files_;    // key: path folded to lower case
    std::set<void*> allocations_;
    std::map<std::u16string, DWORD> fileIndices_;  // identity -> file index, as GetFileInformationByHandle gives it

public:
    // The file index of an identity, the same for every handle on it.
    DWORD FileIndex(const std::u16string& identity);
};

}  // namespace sim
