// The log of a run ("/log <file>"): appended to, never truncated, UTF-8,
// one line per event with the local time to the millisecond. Each line is
// written as it happens, so a run that is killed leaves what it did.
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
    // the open when it cannot.
    Result Open(const char16_t* path);
    bool IsOpen() const { return file_.is_valid(); }

    // One line; line ends inside `text` start indented continuation lines.
    // The thread's last error is left as it was.
    void Line(const char16_t* text);
    void Line(const Text& text) { Line(text.c_str()); }

private:
    platform::unique_file_handle file_;
};

// "2026-12-08 11:34:06.789", the form every log line begins with.
void AppendTimestamp(Text& text, const platform::SYSTEMTIME& time);

}  // namespace ostrel
