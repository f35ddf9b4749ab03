// Which Windows the program runs on, as far as its bitness matters.
#pragma once

#include "platform/win32_types.h"

namespace ostrel {

// Whether this is a 32-bit program under WOW64, and the machine Windows
// itself runs on (`nativeMachine`). Windows 10 1709 and later say what the
// machine is; before them, WOW64 meant x64 in practice.
bool RunsUnderWow64(platform::USHORT& nativeMachine);

// Whether Windows on `nativeMachine` runs x64 programs: ARM64 Windows does too.
bool RunsX64Programs(platform::USHORT nativeMachine);

}  // namespace ostrel
