// What a file handle of the simulated machine stands for: the file (or
// named pipe) CreateFileW opened, the access it was opened with, and where
// ReadFile reads next. console.cpp opens them, files.cpp reads, seeks and
// locks them.
#pragma once

#include <string>

#include "platform/win32_types.h"

namespace sim {

class Machine;

struct FileObject {
    // cppcheck-suppress unusedStructMember ; read through HandleTable::Find
    std::u16string path;
    platform::DWORD access = 0;
    platform::LONGLONG position = 0;
    bool pipe = false;
};

// The bytes of the file at `path` (any spelling of it), or null.
std::string* ContentsOf(Machine& m, const std::u16string& path);

}  // namespace sim
