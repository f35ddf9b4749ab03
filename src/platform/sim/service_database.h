// The simulated service database: services by name, their state, how they
// answer a start or a stop, and the handles open on them.
#pragma once

#include <map>
#include <string>

#include "platform/sim/win32_constants.h"

namespace sim {

// A service that never gets where it was asked to go.
constexpr platform::ULONGLONG kForever = ~platform::ULONGLONG{0};

struct Service {
    std::u16string name;
    platform::DWORD state = platform::SERVICE_STOPPED;
    bool markedForDelete = false;
    unsigned openHandles = 0;  // a service marked for delete goes when the last one closes

    // How the service answers: how long it stays START_PENDING after a
    // start and STOP_PENDING after a stop (0: it is there at once,
    // kForever: never), the wait hint it reports meanwhile, how often its
    // checkpoint moves on (0: never), and an exit code it stops with
    // instead of running (0: it runs).
    platform::ULONGLONG startMs = 0;
    platform::ULONGLONG stopMs = 0;
    platform::DWORD waitHint = 0;
    platform::ULONGLONG checkPointEveryMs = 0;
    platform::DWORD startFailure = 0;
    bool acceptsStop = true;

    // While pending: since when, until when, and what follows.
    platform::ULONGLONG pendingSince = 0;
    platform::ULONGLONG pendingUntil = 0;
    platform::DWORD settlesTo = platform::SERVICE_STOPPED;
    // Reported once STOPPED; a service that has not run since the machine
    // started says so.
    platform::DWORD exitCode = platform::ERROR_SERVICE_NEVER_STARTED;

    bool Pending() const { return state == platform::SERVICE_START_PENDING || state == platform::SERVICE_STOP_PENDING; }
    // Puts the service into `pendingState` from `now` on for `duration`
    // milliseconds, after which it is `endState` (at once for 0).
    void BeginPending(platform::DWORD pendingState, platform::DWORD endState, platform::ULONGLONG now,
                      platform::ULONGLONG duration);
    // What the service has come to by `now`.
    void Settle(platform::ULONGLONG now);
    // What QueryServiceStatusEx and ControlService report at `now`.
    platform::SERVICE_STATUS_PROCESS Status(platform::ULONGLONG now) const;
};

struct ServiceDatabase {
    // Keyed by the name folded to lower case: service names ignore case.
    std::map<std::u16string, Service> byName;

    void Add(const std::u16string& name, bool running = false);
    Service* Find(const std::u16string& name);
    const Service* Find(const std::u16string& name) const;
    bool Exists(const std::u16string& name) const;
    // Not STOPPED when last looked at: running, or on its way to or from it.
    bool IsRunning(const std::u16string& name) const;
    // The state when last looked at; 0 for a service that does not exist.
    platform::DWORD StateOf(const std::u16string& name) const;
    // Removes a service marked for delete once nothing holds it any more
    // and it has stopped.
    void RemoveIfReleased(const std::u16string& name);
};

}  // namespace sim
