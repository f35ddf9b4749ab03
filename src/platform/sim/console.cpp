// What an unattended run writes to on the simulated machine: the window
// station it asks about, its standard handles, the console of its parent,
// log files, and the local time that stamps them.
//
// Every handle the program opens goes through the handle table, so a test
// sees what it left open; CloseHandle closes all of those kinds.
#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/platform.h"
#include "platform/sim/caller_buffer.h"
#include "platform/sim/file_object.h"
#include "platform/sim/machine.h"

namespace sim {

namespace {

constexpr DWORD kWriteAccess = GENERIC_WRITE | FILE_APPEND_DATA;

struct Console {};

const HandleKind kClosableKinds[] = {HandleKind::file, HandleKind::console, HandleKind::process, HandleKind::thread,
                                     HandleKind::token};

bool HasConsole(const Machine& m)
{
    return m.consoleAttached || m.stdOutput == StdTarget::console || m.stdError == StdTarget::console;
}

// Where a standard handle leads now; nowhere for any other handle.
StdTarget TargetOf(const Machine& m, HANDLE handle)
{
    if (handle == StdOutputHandle() && !m.sessionHandles.stdOutputClosed) return m.stdOutput;
    if (handle == StdErrorHandle() && !m.sessionHandles.stdErrorClosed) return m.stdError;
    return StdTarget::none;
}

bool IsConsole(const Machine& m, HANDLE handle)
{
    return m.handles.Find<Console>(handle, HandleKind::console) != nullptr || TargetOf(m, handle) == StdTarget::console;
}

// How the log shows a handle, the process's own ones included.
std::u16string Label(const Machine& m, HANDLE handle)
{
    if (handle == WindowStationHandle()) return u"window station";
    if (handle == StdOutputHandle()) return u"stdout";
    if (handle == StdErrorHandle()) return u"stderr";
    return m.handles.Label(handle);
}

bool IsPipePath(const std::u16string& path) { return FoldCase(path).rfind(u"\\\\.\\pipe\\", 0) == 0; }

HANDLE OpenPipe(Machine& m, const std::u16string& path, DWORD access)
{
    const std::u16string folded = FoldCase(path);
    const bool made = std::any_of(m.pipes.begin(), m.pipes.end(),
                                  [&](const std::u16string& pipe) { return FoldCase(pipe) == folded; });
    if (!made) return m.Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    m.fileBytes[path];
    m.lastError = ERROR_SUCCESS;
    return m.handles.Add(HandleKind::file, u"pipe:" + path,
                         std::make_shared<FileObject>(FileObject{path, access, 0, true}));
}

std::u16string FolderOf(const std::u16string& path)
{
    const std::size_t separator = path.find_last_of(u'\\');
    return separator == std::u16string::npos ? std::u16string() : path.substr(0, separator);
}

std::u16string DispositionName(DWORD disposition)
{
    if (disposition == OPEN_EXISTING) return u"OPEN_EXISTING";
    if (disposition == OPEN_ALWAYS) return u"OPEN_ALWAYS";
    return Number(disposition);
}

HANDLE OpenConsoleOutput(Machine& m)
{
    if (!HasConsole(m)) return m.Fail(ERROR_INVALID_HANDLE, INVALID_HANDLE_VALUE);
    return m.handles.Add(HandleKind::console, u"CONOUT$", std::make_shared<Console>());
}

// A file that exists (in the file table, or with contents a test put there)
// is opened; OPEN_ALWAYS makes a missing one in an existing folder.
HANDLE OpenDiskFile(Machine& m, const std::u16string& path, DWORD access, DWORD disposition)
{
    // The image of a running program cannot be written to.
    if ((access & kWriteAccess) != 0 && PathKey(path) == PathKey(m.modulePath))
        return m.Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    if (ContentsOf(m, path) != nullptr && !m.FileAttributes(path)) m.AddFile(path);
    const std::optional<DWORD> attributes = m.FileAttributes(path);
    if ((attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) || (!attributes && m.FolderExists(path)))
        return m.Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    const std::u16string folder = FolderOf(path);
    if (!attributes) {
        if (!folder.empty() && !m.FolderExists(folder)) return m.Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
        if (disposition != OPEN_ALWAYS) return m.Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
        m.AddFile(path);
    }
    if (ContentsOf(m, path) == nullptr) m.fileBytes[path];
    // Windows reports an OPEN_ALWAYS that found the file, on success.
    m.lastError = attributes && disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    return m.handles.Add(HandleKind::file, u"file:" + path,
                         std::make_shared<FileObject>(FileObject{path, access, 0, false}));
}

}  // namespace

std::string* ContentsOf(Machine& m, const std::u16string& path)
{
    // Mostly the file is named as it was when it was made: no key to make then.
    const auto same = m.fileBytes.find(path);
    if (same != m.fileBytes.end()) return &same->second;
    const std::u16string identity = m.FileIdentity(path);
    auto it = std::find_if(m.fileBytes.begin(), m.fileBytes.end(),
                           [&](const auto& entry) { return m.FileIdentity(entry.first) == identity; });
    return it == m.fileBytes.end() ? nullptr : &it->second;
}

}  // namespace sim

namespace platform {

using sim::Machine;

HANDLE GetProcessWindowStation()
{
    Machine& m = Machine::Current();
    if (m.Enter("GetProcessWindowStation")) return nullptr;
    return sim::WindowStationHandle();
}

// Only UOI_FLAGS is modelled, the one thing the program asks.
BOOL GetUserObjectInformationW(HANDLE object, int index, void* info, DWORD length, DWORD* lengthNeeded)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetUserObjectInformationW", [&] {
            return sim::Arguments{sim::Label(m, object), sim::Number(index), sim::Number(length)};
        }))
        return FALSE;
    if (object != sim::WindowStationHandle()) return m.Fail(ERROR_INVALID_HANDLE);
    if (index != UOI_FLAGS) throw std::logic_error("sim: GetUserObjectInformationW models only UOI_FLAGS");
    if (lengthNeeded != nullptr) *lengthNeeded = sizeof(USEROBJECTFLAGS);
    if (info == nullptr || length < sizeof(USEROBJECTFLAGS)) return m.Fail(ERROR_INSUFFICIENT_BUFFER);
    const USEROBJECTFLAGS flags{FALSE, FALSE, m.windowStationVisible ? WSF_VISIBLE : 0};
    sim::CopyToCaller("GetUserObjectInformationW", static_cast<BYTE*>(info), length,
                      reinterpret_cast<const BYTE*>(&flags), sizeof flags);
    return TRUE;
}

DWORD GetFileType(HANDLE file)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetFileType", [&] { return sim::Arguments{sim::Label(m, file)}; })) return 0;  // FILE_TYPE_UNKNOWN
    if (const auto* open = m.handles.Find<sim::FileObject>(file, sim::HandleKind::file))
        return open->pipe ? FILE_TYPE_PIPE : FILE_TYPE_DISK;
    if (sim::IsConsole(m, file)) return FILE_TYPE_CHAR;
    switch (sim::TargetOf(m, file)) {
        case sim::StdTarget::file: return FILE_TYPE_DISK;
        case sim::StdTarget::pipe: return FILE_TYPE_PIPE;
        default: break;
    }
    m.lastError = ERROR_INVALID_HANDLE;
    return 0;
}

HANDLE GetStdHandle(DWORD stdHandle)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetStdHandle", [&] { return sim::Arguments{sim::Number(static_cast<std::int32_t>(stdHandle))}; }))
        return INVALID_HANDLE_VALUE;
    if (stdHandle == STD_OUTPUT_HANDLE) return m.stdOutput == sim::StdTarget::none ? nullptr : sim::StdOutputHandle();
    if (stdHandle == STD_ERROR_HANDLE) return m.stdError == sim::StdTarget::none ? nullptr : sim::StdErrorHandle();
    return nullptr;  // standard input: a program started without one
}

BOOL AttachConsole(DWORD processId)
{
    Machine& m = Machine::Current();
    if (m.Enter("AttachConsole", [&] { return sim::Arguments{sim::Number(static_cast<std::int32_t>(processId))}; }))
        return FALSE;
    if (sim::HasConsole(m)) return m.Fail(ERROR_ACCESS_DENIED);
    if (processId != ATTACH_PARENT_PROCESS || !m.parentHasConsole) return m.Fail(ERROR_INVALID_HANDLE);
    m.consoleAttached = true;
    return TRUE;
}

BOOL GetConsoleMode(HANDLE console, DWORD* mode)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetConsoleMode", [&] { return sim::Arguments{sim::Label(m, console)}; })) return FALSE;
    if (!sim::IsConsole(m, console)) return m.Fail(ERROR_INVALID_HANDLE);
    if (mode == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    *mode = 0x3;  // ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT
    return TRUE;
}

BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD charsToWrite, DWORD* charsWritten, void* /*reserved*/)
{
    Machine& m = Machine::Current();
    if (m.Enter("WriteConsoleW", [&] { return sim::Arguments{sim::Label(m, console), sim::Number(charsToWrite)}; }))
        return FALSE;
    if (!sim::IsConsole(m, console)) return m.Fail(ERROR_INVALID_HANDLE);
    if (buffer == nullptr && charsToWrite != 0) return m.Fail(ERROR_INVALID_PARAMETER);
    if (charsToWrite != 0) m.consoleText.append(static_cast<const char16_t*>(buffer), charsToWrite);
    if (charsWritten != nullptr) *charsWritten = charsToWrite;
    return TRUE;
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, void* /*securityAttributes*/,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE /*templateFile*/)
{
    Machine& m = Machine::Current();
    if (m.Enter("CreateFileW", [&] {
            return sim::Arguments{sim::Text(fileName), sim::Hex(desiredAccess), sim::Hex(shareMode),
                                  sim::DispositionName(creationDisposition), sim::Hex(flagsAndAttributes)};
        }))
        return INVALID_HANDLE_VALUE;
    if (fileName == nullptr || *fileName == u'\0') return m.Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    if (creationDisposition != OPEN_EXISTING && creationDisposition != OPEN_ALWAYS)
        throw std::logic_error("sim: CreateFileW models only OPEN_EXISTING and OPEN_ALWAYS");
    if (sim::FoldCase(fileName) == u"conout$") return sim::OpenConsoleOutput(m);
    if (sim::IsPipePath(fileName)) return sim::OpenPipe(m, fileName, desiredAccess);
    return sim::OpenDiskFile(m, fileName, desiredAccess, creationDisposition);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, void* overlapped)
{
    Machine& m = Machine::Current();
    if (m.Enter("WriteFile", [&] { return sim::Arguments{sim::Label(m, file), sim::Number(bytesToWrite)}; }))
        return FALSE;
    if (overlapped != nullptr) throw std::logic_error("sim: WriteFile models no overlapped writes");
    if (buffer == nullptr && bytesToWrite != 0) return m.Fail(ERROR_INVALID_PARAMETER);
    if (bytesWritten != nullptr) *bytesWritten = 0;
    const char* bytes = static_cast<const char*>(buffer);
    const auto* open = m.handles.Find<sim::FileObject>(file, sim::HandleKind::file);
    if (open != nullptr) {
        if ((open->access & sim::kWriteAccess) == 0) return m.Fail(ERROR_ACCESS_DENIED);
        std::string* contents = sim::ContentsOf(m, open->path);
        if (contents == nullptr) contents = &m.fileBytes[open->path];  // removed by the test meanwhile
        contents->append(bytes, bytesToWrite);
    } else if (sim::TargetOf(m, file) == sim::StdTarget::file || sim::TargetOf(m, file) == sim::StdTarget::pipe) {
        (file == sim::StdOutputHandle() ? m.stdOutputBytes : m.stdErrorBytes).append(bytes, bytesToWrite);
    } else if (sim::IsConsole(m, file)) {
        // Bytes in the console's code page; the tests write ASCII.
        for (DWORD i = 0; i < bytesToWrite; ++i) m.consoleText.push_back(static_cast<unsigned char>(bytes[i]));
    } else {
        return m.Fail(ERROR_INVALID_HANDLE);
    }
    if (bytesWritten != nullptr) *bytesWritten = bytesToWrite;
    return TRUE;
}

// The current-process pseudo handle (INVALID_HANDLE_VALUE too) may be
// closed and stays usable.
BOOL CloseHandle(HANDLE object)
{
    Machine& m = Machine::Current();
    if (m.Enter("CloseHandle", [&] { return sim::Arguments{sim::Label(m, object)}; })) return FALSE;
    if (object == sim::CurrentProcess()) return TRUE;
    if (sim::TargetOf(m, object) != sim::StdTarget::none) {
        (object == sim::StdOutputHandle() ? m.sessionHandles.stdOutputClosed : m.sessionHandles.stdErrorClosed) = true;
        return TRUE;
    }
    // Closing a file lets go of the locks taken through it.
    m.fileLocks.erase(std::remove_if(m.fileLocks.begin(), m.fileLocks.end(),
                                     [object](const sim::FileLock& lock) { return lock.owner == object; }),
                      m.fileLocks.end());
    for (const sim::HandleKind kind : sim::kClosableKinds)
        if (m.handles.Remove(object, kind)) return TRUE;
    return m.Fail(ERROR_INVALID_HANDLE);
}

void GetLocalTime(SYSTEMTIME* time)
{
    Machine& m = Machine::Current();
    m.Enter("GetLocalTime");  // cannot fail
    *time = m.localTime;
}

}  // namespace platform
