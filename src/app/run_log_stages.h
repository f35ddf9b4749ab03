// The log's first and last lines, and opening it.
#pragma once

#include "base/result.h"
#include "platform/win32_types.h"
#include "run/run_context.h"

namespace ostrel {

class RunLog;
class StandardStream;

// Why a run is quiet: asked for, nobody can see a box, or nobody can say
// whether anybody can (`error` is then the failed call's).
enum class QuietReason { None, Asked, InvisibleWindowStation, VisibilityUnknown };
struct Quietness {
    QuietReason reason = QuietReason::None;
    platform::DWORD error = platform::ERROR_SUCCESS;
};

// Opens the log of "/log"; when it cannot, or when it is one of the files
// the run works with (the INF file, the program, its 64-bit sibling), the
// failure is reported and nothing is written to it.
Result OpenLog(RunContext& run, RunLog& log, const char16_t* path);
// The log's first lines: the program, the user, why quiet, the command
// line, and the INF file once the options, "/f" among them, were all read.
void WriteLogHeader(const RunContext& run, const Quietness& quiet, bool optionsRead);
// A failed log write, said once on `errors` and recorded in the outcome.
void SayLogFailure(RunContext& run, StandardStream& errors);
// The run's last line and the log failure, if any; the exit code of the
// run (0 for a person's).
int FinishRun(RunContext& run, StandardStream& errors);

}  // namespace ostrel
