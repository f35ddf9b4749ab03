// Device operations by hardware ID: enable, disable, remove, install.
//
// Each takes the run and one hardware ID. A restart that a change needs is
// recorded in the run's outcome.
#pragma once

#include "run/run_context.h"

namespace ostrel {

Result EnableDevice(RunContext& run, const char16_t* hardwareId);
Result DisableDevice(RunContext& run, const char16_t* hardwareId);
Result RemoveDevice(RunContext& run, const char16_t* hardwareId);
Result InstallDevice(RunContext& run, const char16_t* hardwareId);
Result UpdateDeviceDriver(RunContext& run, const char16_t* hardwareId);

}  // namespace ostrel
