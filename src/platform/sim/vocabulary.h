// What a test says to the simulated machine: the kinds of object behind its
// handles, and the faults that make a call fail.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "platform/win32_types.h"

namespace sim {

// The objects a handle can stand for. HandleTable keeps each handle with its
// kind; a test counts the handles of one kind that are still open.
enum class HandleKind {
    serviceManager,
    service,
    deviceInfoSet,
    library,
    inf,
    fileQueue,
    callbackContext,
    file,
    console,  // CONOUT$
    process,
    thread,
    token,
    registryKey,
};

// A fault makes a matching call fail: the call returns its failure value and
// sets the thread's last error to `error`. Built by name:
//   Fault::Every("OpenServiceW")                       every call
//   Fault::Nth("LocalAlloc", 2, ERROR_NOT_ENOUGH_MEMORY) the second call only
//   Fault::On("OpenServiceW", u"Spooler")             calls with that argument
struct Fault {
    std::string function;
    unsigned callNumber = 0;                 // 1-based count of calls to `function`; 0 matches every call
    std::optional<std::u16string> argument;  // only calls that have this argument (as logged)
    // The last error; for the configuration manager's calls, the CONFIGRET
    // they answer.
    platform::DWORD error = platform::ERROR_ACCESS_DENIED;

    static Fault Every(std::string function, platform::DWORD error = platform::ERROR_ACCESS_DENIED)
    {
        return Fault{std::move(function), 0, std::nullopt, error};
    }
    // Calls are counted from the machine's start; number 0 means every call.
    static Fault Nth(std::string function, unsigned number, platform::DWORD error = platform::ERROR_ACCESS_DENIED)
    {
        return Fault{std::move(function), number, std::nullopt, error};
    }
    static Fault On(std::string function, std::u16string argument,
                    platform::DWORD error = platform::ERROR_ACCESS_DENIED)
    {
        return Fault{std::move(function), 0, std::move(argument), error};
    }
};

}  // namespace sim
