// Service control by name: done, or unchanged when the service already was
// in the state asked for; a failure has been reported.
#pragma once

#include "run/run_context.h"

namespace ostrel {

Result StartNamedService(RunContext& run, const char16_t* serviceName);
Result StopNamedService(RunContext& run, const char16_t* serviceName);
Result RemoveNamedService(RunContext& run, const char16_t* serviceName);

}  // namespace ostrel
