// Device operations by hardware ID: enable, disable, remove, install.
//
// Each takes the run and one hardware ID; kGoOn means "go on with the next
// ID". A restart that a change needs is recorded in the run.
#pragma once

#include "run/run_context.h"

namespace ostrel {

Next EnableDevice(RunContext& run, const char16_t* hardwareId);
Next DisableDevice(RunContext& run, const char16_t* hardwareId);
Next RemoveDevice(RunContext& run, const char16_t* hardwareId);
Next InstallDevice(RunContext& run, const char16_t* hardwareId);
Next UpdateDeviceDriver(RunContext& run, const char16_t* hardwareId);

}  // namespace ostrel
