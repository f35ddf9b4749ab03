// The new-device library, newdev.dll, loaded from the system folder only.
#pragma once

#include "platform/win32_types.h"

namespace ostrel {

// A bare name would be looked for in the program's own folder first, where
// a planted newdev.dll beside a downloaded setup package would run with the
// installer's rights. Null, with the thread's last error set, when it does
// not load.
platform::HMODULE LoadNewDeviceLibrary();

}  // namespace ostrel
