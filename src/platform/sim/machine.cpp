#include "platform/sim/machine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <stdexcept>
#include <unordered_map>

namespace sim {

namespace {
Machine* current = nullptr;

// Every platform function's name, once for the process. The deque keeps each
// name where it is as more come.
std::deque<std::string>& FunctionNames()
{
    static std::deque<std::string> names;
    return names;
}

// The call log's storage outlives its machine: the fuzzers make a machine for
// every input, and a log of thousands of calls would otherwise be grown from
// nothing, in fresh pages, every time.
std::vector<CallRecord>& SpareCallLog()
{
    static std::vector<CallRecord> spare;
    return spare;
}

}  // namespace

std::size_t FunctionIdByName(std::string_view name)
{
    std::deque<std::string>& names = FunctionNames();
    for (std::size_t id = 0; id < names.size(); ++id)
        if (names[id] == name) return id;
    names.emplace_back(name);
    return names.size() - 1;
}

// A sim function names itself with a literal: the same address at every
// call, so the name is compared once for the process, not at every call.
std::size_t FunctionId(const char* function)
{
    static std::unordered_map<const char*, std::size_t> byAddress;
    const auto known = byAddress.find(function);
    if (known != byAddress.end()) return known->second;
    const std::size_t id = FunctionIdByName(function);
    byAddress.emplace(function, id);
    return id;
}

std::string_view FunctionName(std::size_t id) { return FunctionNames()[id]; }

void* HandleTable::Add(HandleKind kind, std::u16string label, std::shared_ptr<void> object)
{
    void* handle = reinterpret_cast<void*>(next_);
    next_ += 4;
    entries_[handle] = Entry{kind, std::move(label), std::move(object)};
    return handle;
}

bool HandleTable::Remove(void* handle, HandleKind kind)
{
    auto it = entries_.find(handle);
    if (it == entries_.end() || it->second.kind != kind) return false;
    entries_.erase(it);
    return true;
}

std::u16string HandleTable::Label(const void* handle) const
{
    if (handle == nullptr) return u"(null)";
    if (handle == INVALID_HANDLE_VALUE) return u"INVALID_HANDLE_VALUE";
    auto it = entries_.find(handle);
    if (it == entries_.end()) return u"(bad handle " + Hex(reinterpret_cast<std::uintptr_t>(handle)) + u")";
    return it->second.label;
}

std::size_t HandleTable::OpenCount(HandleKind kind) const
{
    return static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.second.kind == kind; }));
}

Machine::Machine()
{
    if (current != nullptr) throw std::logic_error("only one simulated machine at a time");
    // Becomes current only once it is whole: a string table that fails to
    // load must not leave a dangling machine behind for the next test.
    // The project's own table is read once per process, since the fuzzers
    // make a machine for every input.
    static std::optional<decltype(stringBlocks)> projectBlocks;
    if (!projectBlocks) {
        LoadStringTables(OSTREL_STRING_TABLES);
        projectBlocks = stringBlocks;
    }
    stringBlocks = *projectBlocks;
    calls_.swap(SpareCallLog());
    current = this;
    AddSystemLibraries(*this);
    AddPendingInstallWait(*this);
    AddConfigManager(*this);
    systemTexts = {
        {ERROR_SUCCESS, u"The operation completed successfully.\r\n"},
        {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
        {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.\r\n"},
        {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
        {ERROR_INVALID_HANDLE, u"The handle is invalid.\r\n"},
        {ERROR_BAD_FORMAT, u"An attempt was made to load a program with an incorrect format.\r\n"},
        {ERROR_NOT_ENOUGH_MEMORY, u"Not enough memory resources are available to process this command.\r\n"},
        // What the shell's refusals (0 to 32) are shown with.
        {26, u"The specified disk or diskette cannot be accessed.\r\n"},
        {27, u"The drive cannot find the sector requested.\r\n"},
        {28, u"The printer is out of paper.\r\n"},
        {29, u"The system cannot write to the specified device.\r\n"},
        {30, u"The system cannot read from the specified device.\r\n"},
        {31, u"A device attached to the system is not functioning.\r\n"},
        {32, u"The process cannot access the file because it is being used by another process.\r\n"},
        {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
        {ERROR_MOD_NOT_FOUND, u"The specified module could not be found.\r\n"},
        {ERROR_PROC_NOT_FOUND, u"The specified procedure could not be found.\r\n"},
        {ERROR_FILENAME_EXCED_RANGE, u"The filename or extension is too long.\r\n"},
        {ERROR_NO_MORE_ITEMS, u"No more data is available.\r\n"},
        {ERROR_SERVICE_ALREADY_RUNNING, u"An instance of the service is already running.\r\n"},
        {ERROR_SERVICE_DOES_NOT_EXIST, u"The specified service does not exist as an installed service.\r\n"},
        {ERROR_SERVICE_NOT_ACTIVE, u"The service has not been started.\r\n"},
        {ERROR_SERVICE_MARKED_FOR_DELETE, u"The specified service has been marked for deletion.\r\n"},
        {ERROR_SERVICE_REQUEST_TIMEOUT,
         u"The service did not respond to the start or control request in a timely fashion.\r\n"},
        {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, u"The service cannot accept control messages at this time.\r\n"},
        {ERROR_LOCK_VIOLATION,
         u"The process cannot access the file because another process has locked a portion of the file.\r\n"},
        {ERROR_DISK_FULL, u"There is not enough space on the disk.\r\n"},
        {ERROR_CANCELLED, u"The operation was canceled by the user.\r\n"},
    };
}

Machine::~Machine()
{
    for (void* memory : allocations_) std::free(memory);
    calls_.clear();
    SpareCallLog().swap(calls_);
    current = nullptr;
}

Machine& Machine::Current()
{
    if (current == nullptr) {
        (void)std::fputs("sim: a platform call was made with no simulated machine\n", stderr);
        std::abort();
    }
    return *current;
}

bool Machine::ArgumentsWanted(std::size_t function) const
{
    if (recordArguments) return true;
    for (std::size_t i = 0; i < faults_.size(); ++i)
        if (faultFunctions_[i] == function && faults_[i].argument) return true;
    return false;
}

bool Machine::Record(std::size_t id, Arguments arguments)
{
    if (callCounts_.size() <= id) callCounts_.resize(id + 1, 0);
    const unsigned number = ++callCounts_[id];
    const bool fails = !BindSystemFunction(id) || FaultFires(id, number, arguments);
    calls_.push_back(CallRecord{FunctionName(id), std::move(arguments), allocations_.size()});
    return fails;
}

bool Machine::FaultFires(std::size_t function, unsigned number, const std::vector<std::u16string>& arguments)
{
    for (std::size_t i = 0; i < faults_.size(); ++i) {
        const Fault& fault = faults_[i];
        if (faultFunctions_[i] != function) continue;
        if (fault.callNumber != 0 && fault.callNumber != number) continue;
        if (fault.argument && std::find(arguments.begin(), arguments.end(), *fault.argument) == arguments.end())
            continue;
        lastError = fault.error;
        return true;
    }
    return false;
}

void Machine::FailCall(Fault fault)
{
    faultFunctions_.push_back(FunctionIdByName(fault.function));
    faults_.push_back(std::move(fault));
}

std::vector<std::string> Machine::CallNames() const
{
    std::vector<std::string> names;
    names.reserve(calls_.size());
    for (const CallRecord& call : calls_) names.emplace_back(call.function);
    return names;
}

std::vector<std::string> Machine::CallsTo(const std::set<std::string>& functions) const
{
    std::vector<std::string> result;
    for (const CallRecord& call : calls_) {
        if (functions.count(std::string(call.function)) == 0) continue;
        std::string line = std::string(call.function) + "(";
        for (std::size_t i = 0; i < call.arguments.size(); ++i) {
            if (i != 0) line += ", ";
            line += U8(call.arguments[i]);
        }
        result.push_back(line + ")");
    }
    return result;
}

unsigned Machine::CallCount(const std::string& function) const
{
    const std::size_t id = FunctionIdByName(function);
    return id < callCounts_.size() ? callCounts_[id] : 0;
}

void Machine::AddFile(const std::u16string& path, DWORD attributes) { files_[PathKey(path)] = attributes; }

std::u16string Machine::FileIdentity(const std::u16string& path) const
{
    std::u16string canonical = PathKey(path);
    for (const auto& [alias, file] : fileLinks)
        if (PathKey(alias) == canonical) return PathKey(file);
    return canonical;
}

DWORD Machine::FileIndex(const std::u16string& identity)
{
    const auto found = fileIndices_.find(identity);
    if (found != fileIndices_.end()) return found->second;
    const auto index = static_cast<DWORD>(0x10000 + fileIndices_.size());
    fileIndices_[identity] = index;
    return index;
}

void Machine::AddInf(const std::u16string& path, InfFile inf)
{
    AddFile(path);
    const std::u16string folder = path.substr(0, path.find_last_of(u'\\') + 1);
    for (const auto& [name, section] : inf.sections) {
        for (const std::u16string& target : section.files) {
            const std::u16string source = folder + target.substr(target.find_last_of(u'\\') + 1);
            if (section.missingSources.count(target) == 0)
                AddFile(source);
            else
                RemoveFile(source);
        }
    }
    infs.byPath[PathKey(path)] = std::move(inf);
}

const InfFile* InfWorld::Find(const std::u16string& path) const
{
    auto it = byPath.find(PathKey(path));
    return it == byPath.end() ? nullptr : &it->second;
}

void Machine::RemoveFile(const std::u16string& path) { files_.erase(PathKey(path)); }

// The program's own file is there as long as it runs.
std::optional<DWORD> Machine::FileAttributes(const std::u16string& path) const
{
    const std::u16string identity = FileIdentity(path);
    auto it = files_.find(identity);
    if (it != files_.end()) return it->second;
    if (identity == PathKey(modulePath)) return FILE_ATTRIBUTE_NORMAL;
    return std::nullopt;
}

}  // namespace sim
