// The 32-bit program on 64-bit Windows hands the whole run to the 64-bit
// program beside it.
#pragma once

#include <cstddef>

#include "base/result.h"
#include "base/text.h"
#include "run/run_context.h"

namespace ostrel {

// The 64-bit program beside a 32-bit one on 64-bit Windows.
enum class Sibling { NotNeeded, Found, Missing };
constexpr std::size_t kSiblingPathCapacity = 1024;
using SiblingPath = char16_t[kSiblingPathCapacity];

// "<the program's folder>\x64\OstrelSetup.exe", found by the program's own
// full path; false when that path cannot be had or made.
bool BuildSiblingPath(SiblingPath& path);
// NotNeeded unless this is a 32-bit program under WOW64 on a machine that
// runs x64 programs; then whether x64\OstrelSetup.exe lies beside it
// (its path in `path`).
Sibling LookForSibling(SiblingPath& path);
// "<sibling>" /f "<INF file>" and the command line after the program's
// name, unchanged; a failure without memory for it or when it is longer
// than Windows takes. Nothing is reported here.
Result ComposeChildCommandLine(Text& line, const char16_t* sibling, const char16_t* infPath, const char16_t* rest);
// Runs the sibling with the same command line and the INF file named and
// waits for it; its exit code becomes the run's outcome. When it cannot be
// started, the failure is reported.
Result HandOver(RunContext& run, const char16_t* sibling, const char16_t* commandLine);

}  // namespace ostrel
