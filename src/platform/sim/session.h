// What an unattended run meets on the simulated machine: where its standard
// handles lead, the processes it starts, the restarts it asks for. The state
// itself lives in Machine; console.cpp and process.cpp work on it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/win32_types.h"

namespace sim {

// The process's own handles: its window station and standard handles are
// never the program's to close, so they stay out of the handle table and a
// count of what the program left open. Odd values, which the table never
// hands out.
inline platform::HANDLE WindowStationHandle() { return reinterpret_cast<platform::HANDLE>(std::uintptr_t{0x7001}); }
inline platform::HANDLE StdOutputHandle() { return reinterpret_cast<platform::HANDLE>(std::uintptr_t{0x7005}); }
inline platform::HANDLE StdErrorHandle() { return reinterpret_cast<platform::HANDLE>(std::uintptr_t{0x7009}); }

// GetCurrentProcess's pseudo handle: the same value as INVALID_HANDLE_VALUE,
// and never in the handle table.
inline platform::HANDLE CurrentProcess() { return platform::INVALID_HANDLE_VALUE; }

// Where a standard handle of the process leads. A GUI program started from
// Explorer or a console without redirection has none.
enum class StdTarget { none, console, file, pipe };

// One CreateProcessW call that Windows carried out.
struct ProcessStart {
    std::optional<std::u16string> applicationName;
    std::optional<std::u16string> commandLine;  // exactly as passed
    platform::BOOL inheritHandles = platform::FALSE;
    platform::DWORD creationFlags = 0;
    platform::DWORD startupFlags = 0;  // STARTUPINFOW::dwFlags
    platform::HANDLE stdInput = nullptr;
    platform::HANDLE stdOutput = nullptr;
    platform::HANDLE stdError = nullptr;
};

// One InitiateSystemShutdownExW call that Windows accepted.
struct ShutdownRequest {
    std::optional<std::u16string> message;
    platform::DWORD timeout = 0;
    platform::BOOL forceAppsClosed = platform::FALSE;
    platform::BOOL reboot = platform::FALSE;
    platform::DWORD reason = 0;
};

// A byte range of a file held locked: by one of the program's own handles,
// or by another process, which lets go at a time of the machine's clock.
struct FileLock {
    std::u16string file;  // Machine::FileIdentity
    platform::ULONGLONG offset = 0;
    platform::ULONGLONG length = 0;
    platform::HANDLE owner = nullptr;  // null: another process's lock
    platform::ULONGLONG until = ~platform::ULONGLONG{0};
};

// Standard handles the program closed: they lead nowhere after that, though
// GetStdHandle still gives them, as on Windows.
struct SessionHandles {
    bool stdOutputClosed = false;
    bool stdErrorClosed = false;
};

}  // namespace sim
