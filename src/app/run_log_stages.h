// The log's first and last lines, and opening it.
#pragma once

#include "base/result.h"
#include "run/run_context.h"

namespace ostrel {

class RunLog;

// Why a run is quiet: asked for, or nobody can see a box.
enum class QuietReason { None, Asked, InvisibleWindowStation };

// Opens the log of "/log"; when it cannot, the failure is reported.
Result OpenLog(RunContext& run, RunLog& log, const char16_t* path);
// The log's first lines: the program, the user, why quiet, the command line.
void WriteLogHeader(const RunContext& run, QuietReason quiet);
// The exit code of the run (0 for a person's), written to the log.
int FinishRun(const RunContext& run);

}  // namespace ostrel
