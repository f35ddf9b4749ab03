// INF files as the Setup API sees them: class, sections, driver models, and
// the file queues that install sections. Files themselves are registered with
// Machine::AddFile; this holds what the Setup API reads from them.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32_types.h"

namespace sim {

struct InfSection {
    std::vector<std::u16string> files;  // destination paths the section copies
    std::vector<std::pair<std::u16string, std::u16string>> registryValues;  // key\name, value
};

struct InfFile {
    platform::GUID classGuid{};  // all zero when [Version] names no ClassGuid
    std::u16string className;
    std::map<std::u16string, InfSection> sections;  // keyed by folded section name
    std::set<std::u16string> models;                // hardware IDs (folded) with a driver here
};

struct InfWorld {
    std::map<std::u16string, InfFile> byPath;  // keyed by folded path

    const InfFile* Find(const std::u16string& path) const;
};

}  // namespace sim
