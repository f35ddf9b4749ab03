// The INF file's setup class, which every device operation works in.
#pragma once

#include "platform/win32_types.h"
#include "run/run_context.h"

namespace ostrel {

struct InfClass {
    platform::GUID guid{};
    char16_t name[platform::MAX_CLASS_NAME_LEN]{};
};

// Reads the class of the run's INF file. A failure has been reported: the
// class lookup's error with the system's text, or that the file names no
// class GUID.
Result LookUpInfClass(RunContext& run, InfClass& infClass);

}  // namespace ostrel
