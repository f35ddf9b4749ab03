// The symbolic names of the error codes the program can meet, for the lines
// a person looks up: the Setup API's own codes (0xE000xxxx), for which the
// system usually has no text, and the Win32 codes its calls leave.
#pragma once

#include <cstddef>

#include "base/text.h"
#include "platform/win32_types.h"

namespace ostrel {

constexpr std::size_t kErrorNameUnits = 48;  // the longest name and its terminator fit
using ErrorNameBuffer = char16_t[kErrorNameUnits];

// Writes "ERROR_NO_SUCH_DEVINST" for 0xE000020B into `name`; false, and the
// empty name, for a code not in the table.
bool ErrorName(platform::DWORD code, ErrorNameBuffer& name) noexcept;

// Appends the code as a log line gives it, in hexadecimal and decimal and by
// its name when it has one: "0xE000020B (3758096907, ERROR_NO_SUCH_DEVINST)".
bool AppendErrorCode(Text& text, platform::DWORD code);

}  // namespace ostrel
