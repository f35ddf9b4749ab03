// Service control by name: kGoOn when the service is (or already was) in
// the state asked for, kStop after a failure that has been shown.
#pragma once

#include "run/run_context.h"

namespace ostrel {

Next StartNamedService(RunContext& run, const char16_t* serviceName);
Next StopNamedService(RunContext& run, const char16_t* serviceName);
Next RemoveNamedService(RunContext& run, const char16_t* serviceName);

}  // namespace ostrel
