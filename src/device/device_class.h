// The INF file's setup class, which every device operation works in.
#pragma once

#include "platform/win32_types.h"

namespace ostrel {

struct InfClass {
    platform::GUID guid{};
    char16_t name[platform::MAX_CLASS_NAME_LEN]{};
};

// Reads the class of the INF file at `infPath`. On failure it has shown why
// (message 11 with the system's text, or message 8 when the file names no
// class GUID) and returns false.
bool LookUpInfClass(const char16_t* infPath, InfClass& infClass);

}  // namespace ostrel
