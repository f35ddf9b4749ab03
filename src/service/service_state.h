// What a service reports, and waiting for it to get where it was asked to
// go.
#pragma once

#include "base/result.h"
#include "platform/win32_types.h"
#include "run/run_context.h"

namespace ostrel {

// The name Windows' own tools show for a state ("STOP_PENDING"), in ASCII.
const char* ServiceStateName(platform::DWORD state);

// The service's status now (SERVICE_QUERY_STATUS access).
Result QueryServiceState(platform::SC_HANDLE service, platform::SERVICE_STATUS_PROCESS& status);

// Waits, at most the run's wait bound, while the service is on its way to
// `goal` (RUNNING: while START_PENDING; STOPPED: while not STOPPED), asking
// as Windows' own tools ask: every tenth of the service's wait hint
// (between a quarter second and ten seconds), and no longer once the
// service's checkpoint has not moved for longer than a wait hint it gave.
// `status` holds what the service last reported; a failure is that of
// QueryServiceStatusEx.
Result WaitForServiceState(const RunContext& run, platform::SC_HANDLE service, platform::DWORD goal,
                           platform::SERVICE_STATUS_PROCESS& status);

}  // namespace ostrel
