// Kernel calls of the simulated machine: process, files, locale, last error,
// system message texts, local memory and the string helpers.
#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/platform.h"
#include "platform/sim/caller_buffer.h"
#include "platform/sim/machine.h"

namespace sim {

bool Machine::FolderExists(const std::u16string& path) const
{
    const std::u16string folder = PathKey(path);
    if (folder.empty()) return false;
    const auto added = files_.find(folder);
    if (added != files_.end() && (added->second & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
    const std::u16string prefix = folder.back() == u'\\' ? folder : folder + u'\\';
    const auto holds = [&prefix](const std::u16string& inside) {
        return inside.compare(0, prefix.size(), prefix) == 0;
    };
    const auto firstInside = files_.lower_bound(prefix);
    if (firstInside != files_.end() && holds(firstInside->first)) return true;
    return holds(PathKey(modulePath)) || holds(PathKey(systemDirectory) + u'\\');
}

namespace {

constexpr UINT kLmemZeroInit = 0x40;  // LMEM_ZEROINIT
constexpr DWORD kSupportedFormatFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

// Memory the machine hands out as LocalAlloc does; the machine frees what
// is left when it goes, and LiveAllocations() shows what leaked.
void* AllocateLocal(Machine& m, SIZE_T bytes, bool zeroed)
{
    void* memory = zeroed ? std::calloc(bytes == 0 ? 1 : bytes, 1) : std::malloc(bytes == 0 ? 1 : bytes);
    if (memory != nullptr) m.Allocations().insert(memory);
    return memory;
}

std::u16string MemoryText(Machine& m, const void* memory)
{
    if (memory == nullptr) return u"(null)";
    return m.Allocations().count(const_cast<void*>(memory)) != 0 ? u"(local memory)" : u"(bad pointer)";
}

// Windows keeps the texts of Win32 errors under their HRESULT form too.
const std::u16string* SystemText(const Machine& m, DWORD messageId)
{
    auto it = m.systemTexts.find(messageId);
    if (it == m.systemTexts.end() && (messageId & 0xFFFF0000U) == 0x80070000U)
        it = m.systemTexts.find(messageId & 0xFFFFU);
    return it == m.systemTexts.end() ? nullptr : &it->second;
}

// "C:\Tools\a.inf" lies in "C:\Tools"; a bare name lies in the current
// folder, which always exists.
std::optional<std::u16string> ContainingFolder(const std::u16string& path)
{
    const std::size_t separator = path.find_last_of(u'\\');
    if (separator == std::u16string::npos) return std::nullopt;
    return path.substr(0, separator);
}

// Either separator as "\\"; "C:\Tools\" names the folder itself, "C:\"
// keeps its separator. Letter case stays as it is.
std::u16string WithBackslashes(const char16_t* fileName)
{
    std::u16string path(fileName);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    if (path.size() > 3 && path.back() == u'\\') path.pop_back();
    return path;
}

}  // namespace
}  // namespace sim

namespace platform {

using sim::Machine;

UINT SetErrorMode(UINT mode)
{
    Machine& m = Machine::Current();
    m.Enter("SetErrorMode", [&] { return sim::Arguments{sim::Hex(mode)}; });  // cannot fail
    const UINT previous = m.errorMode;
    m.errorMode = mode;
    return previous;
}

LPCWSTR GetCommandLineW()
{
    Machine& m = Machine::Current();
    m.Enter("GetCommandLineW");  // cannot fail
    return m.commandLine.c_str();
}

// Windows Vista and later: a path that does not fit is cut to size - 1
// characters and terminated, the result is `size` and the last error
// ERROR_INSUFFICIENT_BUFFER. Only the program's own module is known.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetModuleFileNameW", [&] { return sim::Arguments{m.handles.Label(module), sim::Number(size)}; }))
        return 0;
    if (module != nullptr) return m.Fail(ERROR_MOD_NOT_FOUND, 0);
    if (fileName == nullptr && size != 0) return m.Fail(ERROR_INVALID_PARAMETER, 0);
    const std::u16string& path = m.modulePath;
    if (path.size() < size) {
        sim::CopyTextToCaller("GetModuleFileNameW", fileName, size, path.data(), path.size());
        return static_cast<DWORD>(path.size());
    }
    if (size != 0) sim::CopyTextToCaller("GetModuleFileNameW", fileName, size, path.data(), size - 1);
    return m.Fail(ERROR_INSUFFICIENT_BUFFER, size);
}

// A missing file is ERROR_FILE_NOT_FOUND while its folder exists and
// ERROR_PATH_NOT_FOUND when the folder is missing too; an empty name is no
// path at all.
DWORD GetFileAttributesW(LPCWSTR fileName)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetFileAttributesW", [&] { return sim::Arguments{sim::Text(fileName)}; }))
        return INVALID_FILE_ATTRIBUTES;
    if (fileName == nullptr || *fileName == u'\0') {
        return m.Fail(ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    }
    const std::u16string path = sim::PathKey(fileName);
    if (const std::optional<DWORD> attributes = m.FileAttributes(path)) return *attributes;
    const std::optional<std::u16string> folder = sim::ContainingFolder(path);
    const DWORD error = !folder || m.FolderExists(*folder) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    return m.Fail(error, INVALID_FILE_ATTRIBUTES);
}

BOOL SetThreadLocale(LCID locale)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetThreadLocale", [&] { return sim::Arguments{sim::Hex(locale)}; })) return FALSE;
    if ((LANGIDFROMLCID(locale) & 0x3FF) == 0) {  // no language: not a locale a thread can have
        return m.Fail(ERROR_INVALID_PARAMETER);
    }
    m.threadLocale = locale;
    return TRUE;
}

LCID GetThreadLocale()
{
    Machine& m = Machine::Current();
    m.Enter("GetThreadLocale");  // cannot fail
    return m.threadLocale;
}

// A fault injected here makes the call report the fault's error.
DWORD GetLastError()
{
    Machine& m = Machine::Current();
    m.Enter("GetLastError");
    return m.lastError;
}

void SetLastError(DWORD error)
{
    Machine& m = Machine::Current();
    m.Enter("SetLastError", [&] { return sim::Arguments{sim::Hex(error)}; });
    m.lastError = error;
}

// Only the form the program uses: a system text in a buffer the call
// allocates, inserts left alone. An empty text counts as none, since 0 is
// the call's failure value.
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                     void* arguments)
{
    Machine& m = Machine::Current();
    if (m.Enter("FormatMessageW", [&] {
            return sim::Arguments{sim::Hex(flags), source == nullptr ? u"(null)" : u"(source)", sim::Hex(messageId),
                                  sim::Hex(languageId), sim::Number(size)};
        }))
        return 0;
    if (flags != sim::kSupportedFormatFlags || arguments != nullptr)
        throw std::logic_error("sim: FormatMessageW models only FROM_SYSTEM | ALLOCATE_BUFFER | IGNORE_INSERTS");
    if (buffer == nullptr) return m.Fail(ERROR_INVALID_PARAMETER, 0);
    auto* receiver = reinterpret_cast<LPWSTR*>(buffer);
    *receiver = nullptr;
    const std::u16string* text = sim::SystemText(m, messageId);
    if (text == nullptr || text->empty()) return m.Fail(ERROR_MR_MID_NOT_FOUND, 0);
    const std::size_t units = std::max<std::size_t>(text->size() + 1, size);
    auto* memory = static_cast<char16_t*>(sim::AllocateLocal(m, units * sizeof(char16_t), false));
    if (memory == nullptr) return m.Fail(ERROR_NOT_ENOUGH_MEMORY, 0);
    text->copy(memory, text->size());
    memory[text->size()] = u'\0';
    *receiver = memory;
    return static_cast<DWORD>(text->size());
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes)
{
    Machine& m = Machine::Current();
    if (m.Enter("LocalAlloc", [&] {
            return sim::Arguments{sim::Hex(flags), sim::Number(static_cast<std::int64_t>(bytes))};
        }))
        return nullptr;
    if ((flags & ~sim::kLmemZeroInit) != LMEM_FIXED) throw std::logic_error("sim: LocalAlloc models only fixed memory");
    HLOCAL memory = sim::AllocateLocal(m, bytes, (flags & sim::kLmemZeroInit) != 0);
    return memory != nullptr ? memory : m.Fail(ERROR_NOT_ENOUGH_MEMORY, memory);
}

// Null on success; the memory itself when it is not the machine's.
HLOCAL LocalFree(HLOCAL memory)
{
    Machine& m = Machine::Current();
    if (m.Enter("LocalFree", [&] { return sim::Arguments{sim::MemoryText(m, memory)}; })) return memory;
    if (memory == nullptr) return nullptr;
    if (m.Allocations().erase(memory) == 0) return m.Fail(ERROR_INVALID_HANDLE, memory);
    std::free(memory);
    return nullptr;
}

// A path that does not begin with a drive and a separator is joined to the
// current folder; "." and ".." steps are resolved as Windows resolves them.
DWORD GetFullPathNameW(LPCWSTR fileName, DWORD bufferLength, LPWSTR buffer, LPWSTR* filePart)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetFullPathNameW", [&] { return sim::Arguments{sim::Text(fileName), sim::Number(bufferLength)}; }))
        return 0;
    if (fileName == nullptr || *fileName == u'\0') return m.Fail(ERROR_INVALID_NAME, 0);
    std::u16string path = sim::WithBackslashes(fileName);
    if (path.size() < 3 || path[1] != u':' || path[2] != u'\\') path = m.currentDirectory + u'\\' + path;
    std::u16string full;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find(u'\\', start), path.size());
        const std::u16string step = path.substr(start, end - start);
        if (step == u"..") {
            if (full.find(u'\\') != std::u16string::npos) full.erase(full.find_last_of(u'\\'));
        } else if (step != u"." && !step.empty()) {
            full += (full.empty() ? u"" : u"\\") + step;
        }
        start = end + 1;
    }
    // The dots and blanks a name ends in are no part of it.
    if (path.back() != u'\\')
        while ((full.back() == u'.' || full.back() == u' ') && full.find_last_of(u'\\') + 1 != full.size())
            full.pop_back();
    if (buffer == nullptr || bufferLength <= full.size()) return static_cast<DWORD>(full.size() + 1);
    sim::CopyTextToCaller("GetFullPathNameW", buffer, bufferLength, full.data(), full.size());
    if (filePart != nullptr) *filePart = buffer + full.find_last_of(u'\\') + 1;
    return static_cast<DWORD>(full.size());
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetSystemDirectoryW", [&] { return sim::Arguments{sim::Number(size)}; })) return 0;
    const std::u16string& folder = m.systemDirectory;
    if (buffer == nullptr || size <= folder.size()) return static_cast<UINT>(folder.size() + 1);
    sim::CopyTextToCaller("GetSystemDirectoryW", buffer, size, folder.data(), folder.size());
    return static_cast<UINT>(folder.size());
}

// At most maxLength - 1 characters and always the terminator (when
// maxLength is not 0), as Windows does.
LPWSTR lstrcpynW(LPWSTR destination, LPCWSTR source, int maxLength)
{
    Machine& m = Machine::Current();
    if (m.Enter("lstrcpynW", [&] { return sim::Arguments{sim::Text(source), sim::Number(maxLength)}; })) return nullptr;
    if (destination == nullptr || source == nullptr) return m.Fail(ERROR_INVALID_PARAMETER, nullptr);
    if (maxLength > 0) {
        const auto capacity = static_cast<std::size_t>(maxLength);
        std::size_t count = 0;  // the source is read no further than it is copied
        while (count + 1 < capacity && source[count] != u'\0') ++count;
        sim::CopyTextToCaller("lstrcpynW", destination, capacity, source, count);
    } else if (maxLength < 0) {
        // No size to keep to: all of it.
        std::copy_n(source, std::char_traits<char16_t>::length(source) + 1, destination);
    }
    return destination;
}

int lstrlenW(LPCWSTR text)
{
    Machine& m = Machine::Current();
    if (m.Enter("lstrlenW", [&] { return sim::Arguments{sim::Text(text)}; })) return 0;
    if (text == nullptr) return 0;
    return static_cast<int>(std::char_traits<char16_t>::length(text));
}

}  // namespace platform
