// The symbolic names of the error codes the program can meet, for the lines
// a person looks up: the Setup API's own codes (0xE000xxxx), for which the
// system usually has no text, and the Win32 codes its calls leave.
#pragma once

#include "base/text.h"
#include "platform/win32_types.h"

namespace ostrel {

// "ERROR_NO_SUCH_DEVINST" for 0xE000020B; null for a code not in the table.
const char16_t* ErrorName(platform::DWORD code) noexcept;

// Appends the code as a log line gives it, in hexadecimal and decimal and by
// its name when it has one: "0xE000020B (3758096907, ERROR_NO_SUCH_DEVINST)".
bool AppendErrorCode(Text& text, platform::DWORD code);

}  // namespace ostrel
