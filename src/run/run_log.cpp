#include "run/run_log.h"

#include "base/numbers.h"
#include "platform/last_error.h"
#include "platform/platform.h"
#include "run/output.h"

namespace ostrel {

namespace {

// As wide as a timestamp and its blank, so continuation lines line up.
constexpr char16_t kContinuation[] = u"                        ";

// The lock is one byte at 2^62, far past the end of any log: it keeps other
// runs from writing at the same time without keeping anyone from reading
// the log or appending to it.
constexpr platform::DWORD kLockOffsetHigh = 0x40000000;
// An entry is written in far less than a millisecond; a run that cannot
// have the lock for this long is stuck behind a holder that is.
constexpr platform::ULONGLONG kLockWaitMilliseconds = 10000;
constexpr platform::DWORD kLockPollMilliseconds = 10;

// The widest an entry's unit gets: three bytes of UTF-8 (a surrogate pair's
// four bytes are two units' six).
constexpr std::size_t kMostBytesPerUnit = 3;
constexpr std::size_t kLineEndUnits = 2;

struct TextOut {
    Text& text;
    void Put(const char16_t* units, std::size_t count) { text.append(units, count); }
};

platform::OVERLAPPED LockRegion()
{
    platform::OVERLAPPED region{};
    region.OffsetHigh = kLockOffsetHigh;
    return region;
}

bool ReadAt(platform::HANDLE file, platform::LONGLONG offset, unsigned char* buffer, platform::DWORD count,
            platform::DWORD& got)
{
    got = 0;
    return platform::SetFilePointerEx(file, offset, nullptr, platform::FILE_BEGIN) != platform::FALSE &&
           platform::ReadFile(file, buffer, count, &got, nullptr) != platform::FALSE;
}

std::size_t EncodeUtf16(const char16_t* units, std::size_t count, bool bigEndian, char* out)
{
    for (std::size_t i = 0; i < count; ++i) {
        const auto low = static_cast<char>(units[i] & 0xFF);
        const auto high = static_cast<char>(units[i] >> 8);
        out[2 * i] = bigEndian ? high : low;
        out[2 * i + 1] = bigEndian ? low : high;
    }
    return 2 * count;
}

}  // namespace

// Appending through FILE_APPEND_DATA puts every write at the end of the
// file; the read access lets the run look at how the file begins and ends,
// and lets it take the lock.
Result RunLog::Open(const char16_t* path)
{
    path_ = path;
    file_.reset(platform::CreateFileW(path, platform::GENERIC_READ | platform::FILE_APPEND_DATA,
                                      platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE, nullptr,
                                      platform::OPEN_ALWAYS, platform::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!IsOpen()) return Result::LastError();
    disk_ = platform::GetFileType(file_.get()) == platform::FILE_TYPE_DISK;
    if (!disk_) return Result::Done();
    platform::BY_HANDLE_FILE_INFORMATION information{};
    if (!platform::GetFileInformationByHandle(file_.get(), &information)) {
        const Result failed = Result::LastError();
        file_.reset();
        return failed;
    }
    volume_ = information.dwVolumeSerialNumber;
    indexHigh_ = information.nFileIndexHigh;
    indexLow_ = information.nFileIndexLow;
    return Result::Done();
}

Result RunLog::IsFile(const char16_t* path, bool& same) const
{
    same = false;
    if (!disk_) return Result::Done();
    const platform::unique_file_handle other(platform::CreateFileW(
        path, 0, platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE, nullptr,
        platform::OPEN_EXISTING, 0, nullptr));
    if (!other) return Result::Done();
    platform::BY_HANDLE_FILE_INFORMATION information{};
    if (!platform::GetFileInformationByHandle(other.get(), &information)) return Result::LastError();
    same = information.dwVolumeSerialNumber == volume_ && information.nFileIndexHigh == indexHigh_ &&
           information.nFileIndexLow == indexLow_;
    return Result::Done();
}

void RunLog::Line(const char16_t* text)
{
    if (!IsOpen() || writeFailed_) return;
    const platform::last_error_guard kept;
    platform::SYSTEMTIME now{};
    platform::GetLocalTime(&now);
    Text entry;
    AppendTimestamp(entry, now);
    entry.append(u' ');
    TextOut out{entry};
    PutLines(out, text, kContinuation);
    entry.append(u"\r\n");
    const Result written = entry.failed() ? Result::Failure(platform::ERROR_NOT_ENOUGH_MEMORY) : Write(entry);
    if (written.Failed()) {
        writeFailed_ = true;
        writeError_ = written.Error();
    }
}

Result RunLog::Write(const Text& entry)
{
    if (!disk_) return WriteLocked(entry);
    const Result locked = Lock();
    if (locked.Failed()) return locked;
    const Result written = WriteLocked(entry);
    Unlock();
    return written;
}

// With the lock held: how the file begins and ends is what it is, and no
// other run writes until the entry is whole.
Result RunLog::WriteLocked(const Text& entry)
{
    if (disk_ && !endLookedAt_) {
        const Result looked = LookAtTheEnd();
        if (looked.Failed()) return looked;
        endLookedAt_ = true;
    }
    const std::size_t units = entry.size() + (needsLineEnd_ ? kLineEndUnits : 0);
    const platform::unique_local_memory memory(platform::LocalAlloc(platform::LMEM_FIXED, units * kMostBytesPerUnit));
    if (!memory) return Result::LastError();
    char* bytes = static_cast<char*>(memory.get());
    std::size_t count = 0;
    const auto encode = [&](const char16_t* text, std::size_t length) {
        if (encoding_ == Encoding::Utf8)
            count += EncodeUtf8(text, length, bytes + count);
        else
            count += EncodeUtf16(text, length, encoding_ == Encoding::Utf16BigEndian, bytes + count);
    };
    if (needsLineEnd_) encode(u"\r\n", kLineEndUnits);
    encode(entry.c_str(), entry.size());
    const Result written = WriteAll(bytes, count);
    if (!written.Failed()) needsLineEnd_ = false;
    return written;
}

// A disk file takes the whole entry in one write; should a write take
// less, the rest follows while the lock is still held.
Result RunLog::WriteAll(const char* bytes, std::size_t count)
{
    while (count != 0) {
        platform::DWORD written = 0;
        if (!platform::WriteFile(file_.get(), bytes, static_cast<platform::DWORD>(count), &written, nullptr))
            return Result::LastError();
        if (written == 0 || written > count) return Result::Failure(platform::ERROR_WRITE_FAULT);
        bytes += written;
        count -= written;
    }
    return Result::Done();
}

// Another run holds the lock only while it writes an entry: asked again
// until it is free, for a while.
Result RunLog::Lock()
{
    platform::OVERLAPPED region = LockRegion();
    const platform::ULONGLONG deadline = platform::GetTickCount64() + kLockWaitMilliseconds;
    for (;;) {
        if (platform::LockFileEx(file_.get(), platform::LOCKFILE_EXCLUSIVE_LOCK | platform::LOCKFILE_FAIL_IMMEDIATELY,
                                 0, 1, 0, &region))
            return Result::Done();
        const Result refused = Result::LastError();
        if (refused.Error() != platform::ERROR_LOCK_VIOLATION || platform::GetTickCount64() >= deadline) return refused;
        platform::Sleep(kLockPollMilliseconds);
    }
}

// A lock that cannot be given back goes with the handle at the run's end.
void RunLog::Unlock()
{
    platform::OVERLAPPED region = LockRegion();
    platform::UnlockFileEx(file_.get(), 0, 1, 0, &region);
}

// The byte-order mark says which text the file holds; the last unit
// whether its last line has ended.
Result RunLog::LookAtTheEnd()
{
    platform::LONGLONG size = 0;
    if (!platform::SetFilePointerEx(file_.get(), 0, &size, platform::FILE_END)) return Result::LastError();
    unsigned char head[2] = {};
    platform::DWORD got = 0;
    if (size >= 2 && !ReadAt(file_.get(), 0, head, 2, got)) return Result::LastError();
    encoding_ = Encoding::Utf8;
    if (got == 2 && head[0] == 0xFF && head[1] == 0xFE) encoding_ = Encoding::Utf16LittleEndian;
    if (got == 2 && head[0] == 0xFE && head[1] == 0xFF) encoding_ = Encoding::Utf16BigEndian;
    const platform::LONGLONG unit = encoding_ == Encoding::Utf8 ? 1 : 2;
    const platform::LONGLONG text = encoding_ == Encoding::Utf8 ? size : size - 2;
    needsLineEnd_ = false;
    if (text < unit) return Result::Done();
    unsigned char tail[2] = {};
    if (!ReadAt(file_.get(), size - unit, tail, static_cast<platform::DWORD>(unit), got)) return Result::LastError();
    const bool ended = encoding_ == Encoding::Utf8                ? tail[0] == '\n'
                       : encoding_ == Encoding::Utf16LittleEndian ? tail[0] == '\n' && tail[1] == 0
                                                                  : tail[0] == 0 && tail[1] == '\n';
    needsLineEnd_ = got == static_cast<platform::DWORD>(unit) && !ended;
    return Result::Done();
}

void AppendTimestamp(Text& text, const platform::SYSTEMTIME& time)
{
    AppendNumber(text, time.wYear, 4);
    text.append(u'-');
    AppendNumber(text, time.wMonth, 2);
    text.append(u'-');
    AppendNumber(text, time.wDay, 2);
    text.append(u' ');
    AppendNumber(text, time.wHour, 2);
    text.append(u':');
    AppendNumber(text, time.wMinute, 2);
    text.append(u':');
    AppendNumber(text, time.wSecond, 2);
    text.append(u'.');
    AppendNumber(text, time.wMilliseconds, 3);
}

}  // namespace ostrel
