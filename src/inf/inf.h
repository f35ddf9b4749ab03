// Installing from the INF file: the whole file (its default installation
// section), or named sections, through a file queue.
#pragma once

#include "run/run_context.h"

namespace ostrel {

// A person's run hands the file to the shell's "install" verb; a quiet run
// installs its DefaultInstall section itself, since the verb prompts.
Result RunDefaultInstall(RunContext& run);
Result InstallInfSection(RunContext& run, const char16_t* sectionName);
// The quiet default installation: the architecture's variant of the
// DefaultInstall section, its files, the rest, its services, a restart scan.
Result InstallDefaultSection(RunContext& run);

}  // namespace ostrel
