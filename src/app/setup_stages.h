// The stages of RunSetup that can be looked at one by one.
#pragma once

#include "app/actions.h"
#include "app/command_line.h"
#include "platform/win32_types.h"
#include "run/run_context.h"

namespace ostrel {

class RunLog;

// Why a run is quiet: asked for, or nobody can see a box.
enum class QuietReason { None, Asked, InvisibleWindowStation };

// The program's own path, cut at its last dot and given ".inf". Left empty
// when the path was cut short or ".inf" does not fit, so that the INF test
// reports it.
void SetDefaultInfPath(InfPathBuffer& infPath);

// Whether the process's window station is one a person sees; a service or a
// task in session 0 has none. When the system cannot say, a person is
// assumed, as before quiet runs existed.
bool WindowStationIsVisible();

// "help" or "/?": the usage text in a box, or on the standard output where
// nobody can see a box.
bool IsHelp(const char16_t* commandLine);
void ShowUsage(bool visible, const char16_t* caption);

// Opens the log of "/log"; when it cannot, reports why and returns false.
bool OpenLog(RunContext& run, RunLog& log, const char16_t* path);
// The log's first lines: the program, the user, why quiet, the command line.
void WriteLogHeader(const RunContext& run, QuietReason quiet);

// A command-line message: shown, logged with where and why, and 1639 as
// the outcome.
Next RefuseCommandLine(RunContext& run, unsigned message, const CommandLineFault& fault);

// Calls the action's operation for each argument from `first` on, left to
// right, until one returns kStop. An argument too long for TokenBuffer is
// refused with kMsgInvalidCommandLine and ends the walk like a failure.
void WalkArguments(RunContext& run, const Action& action, const char16_t* first);

// The action at `cursor` over its arguments; without one, the default
// installation when nothing is left, else kMsgInvalidCommandLine.
void RunAction(RunContext& run, const char16_t* cursor);

// Nothing when no operation asked for a restart. Otherwise, for a person:
// the restart prompt with "/reboot", else kMsgRebootRequired. In a quiet
// run: kMsgRebootRequired without "/reboot", else the restart itself,
// started without asking.
void RestartIfNeeded(RunContext& run, int rebootOption);

// The exit code of the run (0 for a person's), written to the log.
int FinishRun(const RunContext& run);

// The 64-bit program beside a 32-bit one on 64-bit Windows.
enum class Sibling { NotNeeded, Found, Missing };
constexpr std::size_t kSiblingPathCapacity = 1024;
using SiblingPath = char16_t[kSiblingPathCapacity];

// NotNeeded unless this is a 32-bit program under WOW64 on a machine that
// runs x64 programs; then whether x64\OstrelSetup.exe lies beside it
// (its path in `path`).
Sibling LookForSibling(SiblingPath& path);
// "<sibling>" /f "<INF file>" and the command line after the program's
// name, unchanged; false, with the last error set, without memory for it or
// when it is longer than Windows takes.
bool ComposeChildCommandLine(Text& line, const char16_t* sibling, const char16_t* infPath, const char16_t* rest);
// Runs the sibling with the same command line and the INF file named, waits
// for it, and returns its exit code; when it cannot be started, reports why
// and returns the run's own.
int HandOver(RunContext& run, const char16_t* sibling, const char16_t* commandLine);

}  // namespace ostrel
