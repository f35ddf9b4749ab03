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
    unsigned openHandles = 0;  // a service marked for delete goes when the last one closes
};

struct ServiceDatabase {
    // Keyed by the name folded to lower case: service names ignore case.
    std::map<std::u16string, Service> byName;

    void Add(const std::u16string& name, bool running = false);
    Service* Find(const std::u16string& name);
    const Service* Find(const std::u16string& name) const;
    bool Exists(const std::u16string& name) const;
    bool IsRunning(const std::u16string& name) const;
    // Removes a service marked for delete once nothing holds it any more.
    void RemoveIfReleased(const std::u16string& name);
};

}  // namespace sim
