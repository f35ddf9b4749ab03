// The stages of RunSetup that can be looked at one by one.
#pragma once

#include "app/actions.h"
#include "app/command_line.h"
#include "run/run_context.h"

namespace ostrel {

// The program's own path, cut at its last dot and given ".inf". Left empty
// when the path was cut short or ".inf" does not fit, so that the INF test
// reports it.
void SetDefaultInfPath(InfPathBuffer& infPath);

// Whether the process's window station is one a person sees; a service or a
// task in session 0 has none. Unknown, with the failed call's error, when
// the system cannot say.
enum class Visibility { Visible, Invisible, Unknown };
Visibility LookAtWindowStation(platform::DWORD& error);

// "help" or "/?": the usage text in a box, or on the standard output where
// nobody can see a box.
bool IsHelp(const char16_t* commandLine);
void ShowUsage(bool visible, const char16_t* caption);

// A command-line message: shown, logged with where and why, and 1639 as
// the outcome.
Result RefuseCommandLine(RunContext& run, unsigned message, const CommandLineFault& fault);

// Calls the action's operation for each argument from `first` on, left to
// right, until one fails. An argument too long for TokenBuffer is refused
// with kMsgInvalidCommandLine and ends the walk like a failure (RunAction
// has measured every argument before the first operation, so that this
// does not happen half-way).
void WalkArguments(RunContext& run, const Action& action, const char16_t* first);

// The action at `cursor` over its arguments, once the whole line is found
// sound (every argument fits TokenBuffer); without one, the default
// installation when nothing is left, else kMsgInvalidCommandLine.
void RunAction(RunContext& run, const char16_t* cursor);

}  // namespace ostrel
