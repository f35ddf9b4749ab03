// The stages of RunSetup that can be looked at one by one.
#pragma once

#include "app/actions.h"
#include "app/command_line.h"
#include "platform/win32_types.h"

namespace ostrel {

// The program's own path, cut at its last dot and given ".inf". Left empty
// when the path was cut short or ".inf" does not fit, so that the INF test
// reports it.
void SetDefaultInfPath(InfPathBuffer& infPath);

// Calls the action's operation for each argument from `first` on, left to
// right, until one returns 0. An argument too long for TokenBuffer is
// refused with message 6 and ends the walk like a failure.
void WalkArguments(const Action& action, const char16_t* first, const char16_t* infPath,
                   platform::BOOL* rebootNeeded);

// The action at `cursor` over its arguments; without one, the default
// installation when nothing is left, else message 6.
void RunAction(const char16_t* cursor, const char16_t* infPath, platform::BOOL* rebootNeeded);

// The restart prompt with "/reboot", else message 7; nothing when no
// operation asked for a restart.
void RestartIfNeeded(platform::BOOL rebootNeeded, int rebootOption);

}  // namespace ostrel
