#include "platform/sim/machine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace sim {

namespace {
Machine* current = nullptr;
}  // namespace

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
        {ERROR_NOT_ENOUGH_MEMORY, u"Not enough memory resources are available to process this command.\r\n"},
        {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
        {ERROR_MOD_NOT_FOUND, u"The specified module could not be found.\r\n"},
        {ERROR_PROC_NOT_FOUND, u"The specified procedure could not be found.\r\n"},
        {ERROR_NO_MORE_ITEMS, u"No more data is available.\r\n"},
        {ERROR_SERVICE_ALREADY_RUNNING, u"An instance of the service is already running.\r\n"},
        {ERROR_SERVICE_DOES_NOT_EXIST, u"The specified service does not exist as an installed service.\r\n"},
        {ERROR_SERVICE_NOT_ACTIVE, u"The service has not been started.\r\n"},
        {ERROR_SERVICE_MARKED_FOR_DELETE, u"The specified service has been marked for deletion.\r\n"},
    };
}

Machine::~Machine()
{
    for (void* memory : allocations_) std::free(memory);
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

bool Machine::Enter(const char* function, std::vector<std::u16string> arguments)
{
    const unsigned number = ++callCounts_[function];
    calls_.push_back(CallRecord{function, arguments, allocations_.size()});
    if (!BindSystemFunction(function)) return true;
    for (const Fault& fault : faults_) {
        if (fault.function != function) continue;
        if (fault.callNumber != 0 && fault.callNumber != number) continue;
        if (fault.argument && std::find(arguments.begin(), arguments.end(), *fault.argument) == arguments.end())
            continue;
        lastError = fault.error;
        return true;
    }
    return false;
}

std::vector<std::string> Machine::CallNames() const
{
    std::vector<std::string> names;
    names.reserve(calls_.size());
    for (const CallRecord& call : calls_) names.push_back(call.function);
    return names;
}

std::vector<std::string> Machine::CallsTo(const std::set<std::string>& functions) const
{
    std::vector<std::string> result;
    for (const CallRecord& call : calls_) {
        if (functions.count(call.function) == 0) continue;
        std::string line = call.function + "(";
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
    auto it = callCounts_.find(function);
    return it == callCounts_.end() ? 0 : it->second;
}

void Machine::AddFile(const std::u16string& path, DWORD attributes) { files_[FoldCase(path)] = attributes; }

void Machine::AddInf(const std::u16string& path, InfFile inf)
{
    AddFile(path);
    infs.byPath[FoldCase(path)] = std::move(inf);
}

const InfFile* InfWorld::Find(const std::u16string& path) const
{
    auto it = byPath.find(FoldCase(path));
    return it == byPath.end() ? nullptr : &it->second;
}

void Machine::RemoveFile(const std::u16string& path) { files_.erase(FoldCase(path)); }

std::optional<DWORD> Machine::FileAttributes(const std::u16string& path) const
{
    auto it = files_.find(FoldCase(path));
    if (it == files_.end()) return std::nullopt;
    return it->second;
}

}  // namespace sim
