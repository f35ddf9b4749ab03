// Installing from the INF file: the whole file through the shell's "install"
// verb, or named sections through a file queue.
#pragma once

#include "platform/win32_types.h"

namespace ostrel {

void RunDefaultInstall(const char16_t* infPath);
int InstallInfSection(const char16_t* infPath, const char16_t* sectionName, platform::BOOL* rebootNeeded);

}  // namespace ostrel
