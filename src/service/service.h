// Service control by name: done, or unchanged when the service already was
// in the state asked for (or a stop was on its way); a failure has been
// reported. With a log the run says what the service reports; with a wait
// bound it waits until the service is running or stopped.
#pragma once

#include "run/run_context.h"

namespace ostrel {

Result StartNamedService(RunContext& run, const char16_t* serviceName);
Result StopNamedService(RunContext& run, const char16_t* serviceName);
Result RemoveNamedService(RunContext& run, const char16_t* serviceName);

}  // namespace ostrel
