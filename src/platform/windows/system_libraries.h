// The system libraries that only some runs need, loaded at the first call
// that needs them rather than when the program starts.
//
// A stop of a service needs neither the Setup API, nor the shell, nor (when
// quiet) USER32, and loading them, with all they pull in, costs more than
// the run's own work. So the program imports none of them: each wrapper of
// their functions asks for its function's address here and calls through
// it. The library is loaded once; the address is asked for at each call,
// which costs little beside the call itself and keeps no slot per function
// in the executable. A library that does not load, or lacks the function,
// makes the wrapper fail as the call itself fails, with the system's error
// (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND) as the thread's last error.
#pragma once

#include <windows.h>

namespace platform::win {

enum class SystemLibrary : unsigned char { setupApi, shell, user };

// The address of `function` in `library`, which is loaded from the system
// folder at the first need (never from beside the program) and kept loaded.
// Null, with the last error set, when it cannot be had; a later call tries
// again.
::FARPROC Resolve(SystemLibrary library, const char* function);

// Resolve's answer as the SDK's own type of the function, calling
// convention included: the 32-bit program calls the system's stdcall
// functions as such.
template <typename Function>
Function Bind(SystemLibrary library, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(Resolve(library, name)));
}

}  // namespace platform::win

// The function `name` of the SDK, from `library` (a SystemLibrary): the one
// place where a wrapper names what it calls.
#define OSTREL_SYSTEM_FUNCTION(library, name) \
    ::platform::win::Bind<decltype(&::name)>(::platform::win::SystemLibrary::library, #name)
