// The restart step at the end of a run.
#pragma once

#include "run/run_context.h"

namespace ostrel {

// Nothing when no operation asked for a restart. Otherwise, for a person:
// the restart prompt with "/reboot", else kMsgRebootRequired. In a quiet
// run: kMsgRebootRequired without "/reboot", else the restart itself,
// started without asking.
void RestartIfNeeded(RunContext& run, int rebootOption);

}  // namespace ostrel
