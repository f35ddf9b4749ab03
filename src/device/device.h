// Device operations by hardware ID: enable, disable, remove, install.
//
// Each takes the INF file's path, one hardware ID and the run's restart
// flag; non-zero means "go on with the next ID".
#pragma once

#include "platform/win32_types.h"

namespace ostrel {

int EnableDevice(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded);
int DisableDevice(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded);
int RemoveDevice(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded);
int InstallDevice(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded);
int UpdateDeviceDriver(const char16_t* infPath, const char16_t* hardwareId, platform::BOOL* rebootNeeded);

}  // namespace ostrel
