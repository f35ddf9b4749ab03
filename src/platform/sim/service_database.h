// The simulated service database: services by name, their state, and the
// handles open on them.
#pragma once

#include <map>
#include <string>

#include "platform/win32_types.h"

namespace sim {

struct Service {
    std::u16string name;
    bool running = false;
    bool markedForDelete = false;
};

struct ServiceDatabase {
    // Keyed by the name folded to lower case: service names ignore case.
    std::map<std::u16string, Service> byName;

    void Add(const std::u16string& name, bool running = false);
    Service* Find(const std::u16string& name);
    bool Exists(const std::u16string& name) const;
};

}  // namespace sim
