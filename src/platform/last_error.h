// Keeps the thread's last error across code that must not disturb it: the
// release of a handle, a line written to the log or to standard error
// between a failing call and the report of its error.
#pragma once

#include "platform/platform.h"

namespace platform {

class last_error_guard {
public:
    last_error_guard() noexcept : kept_(GetLastError()) {}
    last_error_guard(const last_error_guard&) = delete;
    last_error_guard& operator=(const last_error_guard&) = delete;
    ~last_error_guard() { SetLastError(kept_); }

private:
    DWORD kept_;
};

}  // namespace platform
