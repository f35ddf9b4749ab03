// The log of a run ("/log <file>"): appended to, never truncated, one entry
// per event with the local time to the millisecond.
//
// Deployment tools run many installations at once into one log folder, so
// every entry is composed whole first and written with one WriteFile while
// the run holds the log's lock; an entry of another run may come between
// two of this run's, but none is cut or lost. Each entry is written as it
// happens, so a run that is killed leaves what it did. The text is UTF-8,
// or UTF-16 where the file already begins with a UTF-16 byte-order mark; a
// last line left without its line end gets one before the run's first
// entry.
#pragma once

#include "base/result.h"
#include "base/text.h"
#include "platform/unique_handle.h"

namespace ostrel {

class RunLog {
public:
    RunLog() = default;
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;
    ~RunLog() = default;

    // Opens `path` for appending, creating it when missing; the failure of
    // the open (or of learning which file it is) when it cannot. `path`
    // must outlive the log.
    Result Open(const char16_t* path);
    bool IsOpen() const { return file_.is_valid(); }
    const char16_t* Path() const { return path_; }

    // Whether `path` names the log's own file, however it is spelt: both
    // are compared by volume and file index once opened. A path that cannot
    // be opened names another file. Only disk files are compared; a pipe or
    // device is no file a run works with.
    Result IsFile(const char16_t* path, bool& same) const;

    // One entry; line ends inside `text` start indented continuation lines.
    // Once a write has failed, later entries are dropped. The thread's last
    // error is left as it was.
    void Line(const char16_t* text);
    void Line(const Text& text) { Line(text.c_str()); }

    // Whether a write failed, and the error of the first that did.
    bool WriteFailed() const { return writeFailed_; }
    platform::DWORD WriteError() const { return writeError_; }

private:
    enum class Encoding { Utf8, Utf16LittleEndian, Utf16BigEndian };

    Result Write(const Text& entry);
    Result WriteLocked(const Text& entry);
    Result Lock();
    void Unlock();
    Result LookAtTheEnd();
    Result WriteAll(const char* bytes, std::size_t count);

    platform::unique_file_handle file_;
    const char16_t* path_ = u"";
    bool disk_ = false;  // a disk file: locked, looked at, compared by identity
    platform::DWORD volume_ = 0;
    platform::DWORD indexHigh_ = 0;
    platform::DWORD indexLow_ = 0;
    bool endLookedAt_ = false;
    Encoding encoding_ = Encoding::Utf8;
    bool needsLineEnd_ = false;
    bool writeFailed_ = false;
    platform::DWORD writeError_ = platform::ERROR_SUCCESS;
};

// "2026-12-08 11:34:06.789", the form every log line begins with.
void AppendTimestamp(Text& text, const platform::SYSTEMTIME& time);

}  // namespace ostrel
