// What an unattended run meets on the simulated machine: where its standard
// handles lead, the processes it starts, the restarts it asks for. The state
// itself lives in Machine; console.cpp and process.cpp work on it.
#pragma once

#include <optional>
#include <string>

#include "platform/win32_types.h"

namespace sim {

// Handle kinds, for HandleTable::OpenCount. The standard handles are the
// process's own and never the program's to close; the rest are.
inline constexpr char kFileKind[] = "file";
inline constexpr char kConsoleKind[] = "console";  // CONOUT$ opened by the program
inline constexpr char kStdConsoleKind[] = "std console";
inline constexpr char kStdFileKind[] = "std file";
inline constexpr char kStdPipeKind[] = "std pipe";
inline constexpr char kProcessKind[] = "process";
inline constexpr char kThreadKind[] = "thread";
inline constexpr char kTokenKind[] = "token";
inline constexpr char kWindowStationKind[] = "window station";

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

// Handles that stay the same from call to call, made on first use.
struct SessionHandles {
    platform::HANDLE windowStation = nullptr;
    platform::HANDLE stdOutput = nullptr;
    platform::HANDLE stdError = nullptr;
    StdTarget stdOutputTarget = StdTarget::none;  // what stdOutput was made for
    StdTarget stdErrorTarget = StdTarget::none;
};

}  // namespace sim
