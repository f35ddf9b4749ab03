// Libraries of the system folder that the device actions load when they
// need them: newdev.dll, cfgmgr32.dll.
#pragma once

#include "base/result.h"
#include "platform/unique_handle.h"

namespace ostrel {

// The configuration manager: pending installations, device states, rescans.
inline constexpr char16_t kConfigManagerLibrary[] = u"cfgmgr32.dll";
// Device installation: driver updates, and the uninstall of a package in use.
inline constexpr char16_t kNewDevLibrary[] = u"newdev.dll";

// Loads `name` (a bare file name) from the system folder only. A bare name
// would be looked for in the program's own folder first, where a planted
// DLL beside a downloaded setup package would run with the installer's
// rights. `library` owns it once it is loaded.
Result LoadSystemLibrary(const char16_t* name, platform::unique_library& library);

// The function `name` of a loaded library; the failure of the lookup when
// the library lacks it.
Result FindFunction(const platform::unique_library& library, const char* name, platform::FARPROC& function);

// FindFunction in the system library `name`, loaded into `library` unless
// it holds it already.
Result FindSystemFunction(const char16_t* name, platform::unique_library& library, const char* function,
                          platform::FARPROC& address);

}  // namespace ostrel
