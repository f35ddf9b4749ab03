// The log file's calls on the simulated machine: which file a handle is,
// reading and seeking in it, and byte-range locks; and the machine's clock.
//
// Locks are exclusive only (the program takes no other kind) and are
// checked against each other, whoever holds them; a lock of another
// process lets go at its time, which the clock reaches only through Sleep.
#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/platform.h"
#include "platform/sim/caller_buffer.h"
#include "platform/sim/file_object.h"
#include "platform/sim/machine.h"

namespace sim {

namespace {

constexpr DWORD kLockAccess = GENERIC_READ | GENERIC_WRITE;

// A disk file opened by the program; null (the last error set) for any
// other handle.
FileObject* DiskFile(Machine& m, HANDLE handle)
{
    auto* open = m.handles.Find<FileObject>(handle, HandleKind::file);
    if (open == nullptr) {
        m.Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (open->pipe) {
        m.Fail(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    return open;
}

ULONGLONG Join(DWORD low, DWORD high) { return (ULONGLONG{high} << 32) | low; }

bool Overlaps(const FileLock& lock, const std::u16string& file, ULONGLONG offset, ULONGLONG length)
{
    return lock.file == file && offset < lock.offset + lock.length && lock.offset < offset + length;
}

}  // namespace
}  // namespace sim

namespace platform {

using sim::Machine;

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetFileInformationByHandle", [&] { return sim::Arguments{m.handles.Label(file)}; })) return FALSE;
    const sim::FileObject* open = sim::DiskFile(m, file);
    if (open == nullptr) return FALSE;
    if (information == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    const std::u16string identity = m.FileIdentity(open->path);
    const std::string* contents = sim::ContentsOf(m, open->path);
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwFileAttributes = m.FileAttributes(open->path).value_or(FILE_ATTRIBUTE_NORMAL);
    // One volume per drive letter.
    information->dwVolumeSerialNumber = 0x1CE50000U + (identity.empty() ? 0U : identity[0]);
    information->nFileSizeLow = contents == nullptr ? 0 : static_cast<DWORD>(contents->size());
    information->nNumberOfLinks = 1;
    information->nFileIndexLow = m.FileIndex(identity);
    return TRUE;
}

// Synchronous reads from the file pointer, which they move on.
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void* overlapped)
{
    Machine& m = Machine::Current();
    if (m.Enter("ReadFile", [&] { return sim::Arguments{m.handles.Label(file), sim::Number(bytesToRead)}; }))
        return FALSE;
    if (overlapped != nullptr) throw std::logic_error("sim: ReadFile models no overlapped reads");
    sim::FileObject* open = sim::DiskFile(m, file);
    if (open == nullptr) return FALSE;
    if ((open->access & GENERIC_READ) == 0) return m.Fail(ERROR_ACCESS_DENIED);
    if (bytesRead == nullptr || (buffer == nullptr && bytesToRead != 0)) return m.Fail(ERROR_INVALID_PARAMETER);
    const std::string* contents = sim::ContentsOf(m, open->path);
    const auto size = static_cast<LONGLONG>(contents == nullptr ? 0 : contents->size());
    const auto count =
        static_cast<DWORD>(std::max<LONGLONG>(0, std::min<LONGLONG>(bytesToRead, size - open->position)));
    if (count != 0) {
        sim::CopyToCaller("ReadFile", static_cast<BYTE*>(buffer), bytesToRead,
                          reinterpret_cast<const BYTE*>(contents->data() + open->position), count);
    }
    open->position += count;
    *bytesRead = count;
    return TRUE;
}

BOOL SetFilePointerEx(HANDLE file, LONGLONG distance, LONGLONG* newPointer, DWORD moveMethod)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetFilePointerEx", [&] {
            return sim::Arguments{m.handles.Label(file), sim::Number(distance), sim::Number(moveMethod)};
        }))
        return FALSE;
    sim::FileObject* open = sim::DiskFile(m, file);
    if (open == nullptr) return FALSE;
    const std::string* contents = sim::ContentsOf(m, open->path);
    LONGLONG base = 0;
    if (moveMethod == FILE_CURRENT) {
        base = open->position;
    } else if (moveMethod == FILE_END) {
        base = contents == nullptr ? 0 : static_cast<LONGLONG>(contents->size());
    } else if (moveMethod != FILE_BEGIN) {
        return m.Fail(ERROR_INVALID_PARAMETER);
    }
    if (base + distance < 0) return m.Fail(ERROR_NEGATIVE_SEEK);
    open->position = base + distance;
    if (newPointer != nullptr) *newPointer = open->position;
    return TRUE;
}

BOOL LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD bytesLow, DWORD bytesHigh, OVERLAPPED* overlapped)
{
    Machine& m = Machine::Current();
    if (m.Enter("LockFileEx", [&] {
            return sim::Arguments{
                m.handles.Label(file), sim::Hex(flags), sim::Hex(sim::Join(bytesLow, bytesHigh)),
                overlapped == nullptr ? u"(null)" : sim::Hex(sim::Join(overlapped->Offset, overlapped->OffsetHigh))};
        }))
        return FALSE;
    const sim::FileObject* open = sim::DiskFile(m, file);
    if (open == nullptr) return FALSE;
    if ((open->access & sim::kLockAccess) == 0) return m.Fail(ERROR_ACCESS_DENIED);
    if (reserved != 0 || overlapped == nullptr || sim::Join(bytesLow, bytesHigh) == 0)
        return m.Fail(ERROR_INVALID_PARAMETER);
    if ((flags & LOCKFILE_EXCLUSIVE_LOCK) == 0) throw std::logic_error("sim: LockFileEx models exclusive locks only");
    const sim::FileLock wanted{m.FileIdentity(open->path), sim::Join(overlapped->Offset, overlapped->OffsetHigh),
                               sim::Join(bytesLow, bytesHigh), file};
    const bool held = std::any_of(m.fileLocks.begin(), m.fileLocks.end(), [&](const sim::FileLock& lock) {
        return sim::Overlaps(lock, wanted.file, wanted.offset, wanted.length) &&
               (lock.owner != nullptr || m.tickCount < lock.until);
    });
    if (held) {
        if ((flags & LOCKFILE_FAIL_IMMEDIATELY) == 0) throw std::logic_error("sim: LockFileEx would wait");
        return m.Fail(ERROR_LOCK_VIOLATION);
    }
    m.fileLocks.push_back(wanted);
    return TRUE;
}

BOOL UnlockFileEx(HANDLE file, DWORD reserved, DWORD bytesLow, DWORD bytesHigh, OVERLAPPED* overlapped)
{
    Machine& m = Machine::Current();
    if (m.Enter("UnlockFileEx", [&] {
            return sim::Arguments{
                m.handles.Label(file), sim::Hex(sim::Join(bytesLow, bytesHigh)),
                overlapped == nullptr ? u"(null)" : sim::Hex(sim::Join(overlapped->Offset, overlapped->OffsetHigh))};
        }))
        return FALSE;
    if (sim::DiskFile(m, file) == nullptr) return FALSE;
    if (reserved != 0 || overlapped == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    const ULONGLONG offset = sim::Join(overlapped->Offset, overlapped->OffsetHigh);
    const ULONGLONG length = sim::Join(bytesLow, bytesHigh);
    const auto mine = std::find_if(m.fileLocks.begin(), m.fileLocks.end(), [&](const sim::FileLock& lock) {
        return lock.owner == file && lock.offset == offset && lock.length == length;
    });
    if (mine == m.fileLocks.end()) return m.Fail(ERROR_NOT_LOCKED);
    m.fileLocks.erase(mine);
    return TRUE;
}

void Sleep(DWORD milliseconds)
{
    Machine& m = Machine::Current();
    m.Enter("Sleep", [&] { return sim::Arguments{sim::Number(milliseconds)}; });  // cannot fail
    m.sleeps.push_back(milliseconds);
    m.tickCount += milliseconds;
}

ULONGLONG GetTickCount64()
{
    Machine& m = Machine::Current();
    m.Enter("GetTickCount64");  // cannot fail
    return m.tickCount;
}

}  // namespace platform
