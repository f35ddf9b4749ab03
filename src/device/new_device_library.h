// The new-device library, newdev.dll, loaded from the system folder only.
#pragma once

#include "base/result.h"
#include "platform/unique_handle.h"

namespace ostrel {

// A bare name would be looked for in the program's own folder first, where
// a planted newdev.dll beside a downloaded setup package would run with the
// installer's rights. `library` owns it once it is loaded.
Result LoadNewDeviceLibrary(platform::unique_library& library);

}  // namespace ostrel
