// Waiting until Plug and Play has no device installation pending, so that
// a quiet run's exit code describes a settled machine.
#pragma once

#include "base/result.h"
#include "run/run_context.h"

namespace ostrel {

// Before a device action's first device call: waits up to the run's bound.
// While installations are still pending at its end, nothing is done: the
// failure (ERROR_INSTALL_ALREADY_RUNNING, which deployment systems retry) is
// reported. A run that waits for nothing, or a system that cannot wait,
// goes on at once.
Result WaitBeforeDeviceAction(RunContext& run);

// After the walk of "install device": the same wait, so that the exit code
// comes after what the installs started; a timeout is only logged.
void WaitAfterInstall(RunContext& run);
// After "rescan": the same, for what the devices it found start to install.
void WaitAfterRescan(RunContext& run);

}  // namespace ostrel
