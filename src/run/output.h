// Text out to a console, a file or a pipe: consoles take UTF-16, files and
// pipes UTF-8, and every line ends in CR LF as Windows tools expect.
#pragma once

#include <cstddef>

#include "base/text.h"
#include "platform/unique_handle.h"

namespace ostrel {

// Collects units and writes them in blocks; a pair of surrogates is never
// split between two writes. Once a write fails, the rest is dropped: a
// broken pipe must not stop the run.
class UnitWriter {
public:
    UnitWriter(platform::HANDLE handle, bool console) : handle_(handle), console_(console) {}
    UnitWriter(const UnitWriter&) = delete;
    UnitWriter& operator=(const UnitWriter&) = delete;
    ~UnitWriter() { Flush(); }

    void Put(const char16_t* units, std::size_t count);
    void Put(const char16_t* terminated);
    void Put(char16_t unit) { Put(&unit, 1); }
    // Writes what is collected; false when this or an earlier write failed.
    bool Flush();

private:
    void WriteBlock(std::size_t count);
    void WriteBytes(const char* bytes, std::size_t count);

    static constexpr std::size_t kBlockUnits = 256;
    platform::HANDLE handle_;
    bool console_;
    bool failed_ = false;
    std::size_t used_ = 0;
    char16_t units_[kBlockUnits] = {};
};

// Puts `text` into `out` (anything with Put(units, count)) with each line
// end in it (CR, LF or CR LF) as CR LF followed by `continuation`; line
// ends at its very end are left out, an empty line in the middle stays.
template <typename Out>
void PutLines(Out& out, const char16_t* text, const char16_t* continuation)
{
    const auto isLineEnd = [](char16_t unit) { return unit == u'\r' || unit == u'\n'; };
    bool lineEnded = false;
    for (const char16_t* cursor = text; *cursor != u'\0';) {
        if (isLineEnd(*cursor)) {
            if (*cursor == u'\r' && cursor[1] == u'\n') ++cursor;
            if (lineEnded) out.Put(u"\r\n", 2);
            lineEnded = true;
            ++cursor;
            continue;
        }
        if (lineEnded) {
            out.Put(u"\r\n", 2);
            out.Put(continuation, TextLength(continuation));
            lineEnded = false;
        }
        // The line's units up to its end, at once.
        const char16_t* end = cursor;
        while (*end != u'\0' && !isLineEnd(*end)) ++end;
        out.Put(cursor, static_cast<std::size_t>(end - cursor));
        cursor = end;
    }
}

// UTF-8 of `count` units; an unpaired surrogate becomes U+FFFD. `out` has
// room for 3 bytes per unit. Returns the number of bytes.
std::size_t EncodeUtf8(const char16_t* units, std::size_t count, char* out);

// A standard handle of the process (STD_ERROR_HANDLE, STD_OUTPUT_HANDLE).
// A GUI program started from a console has none unless they were
// redirected; it then writes to its parent's console, when there is one.
class StandardStream {
public:
    explicit StandardStream(platform::DWORD which) : which_(which) {}
    StandardStream(const StandardStream&) = delete;
    StandardStream& operator=(const StandardStream&) = delete;
    ~StandardStream() = default;

    // Writes `text` as one entry ending in CR LF; nothing when there is
    // nowhere to write.
    void WriteEntry(const char16_t* text);

private:
    bool Connect();

    platform::DWORD which_;
    bool tried_ = false;
    bool console_ = false;
    platform::HANDLE handle_ = nullptr;
    platform::unique_file_handle ownedConsole_;  // CONOUT$ opened after attaching
};

}  // namespace ostrel
