// Device operations by hardware ID (enable, disable, remove, restart,
// install, query), the driver store, and the scan for hardware changes.
//
// Each takes the run and one hardware ID; the actions without arguments
// ignore theirs. A restart that a change needs is recorded in the run's
// outcome.
#pragma once

#include "run/run_context.h"

namespace ostrel {

Result EnableDevice(RunContext& run, const char16_t* hardwareId);
Result DisableDevice(RunContext& run, const char16_t* hardwareId);
Result RemoveDevice(RunContext& run, const char16_t* hardwareId);
Result InstallDevice(RunContext& run, const char16_t* hardwareId);
Result UpdateDeviceDriver(RunContext& run, const char16_t* hardwareId);
Result RestartDevice(RunContext& run, const char16_t* hardwareId);

// "add driver": stages the INF file's package in the driver store; the log
// and a quiet run's standard output name it (oemNN.inf).
Result AddDriver(RunContext& run, const char16_t* unused);
// "delete driver": takes the package out of the driver store, and off the
// devices that use it where Windows can move them to another driver.
Result DeleteDriver(RunContext& run, const char16_t* unused);
// "rescan": a synchronous scan for hardware changes from the root.
Result Rescan(RunContext& run, const char16_t* unused);

// "query device": each present device of the class that lists the ID, its
// state and driver, in a box or, quiet, as tab-separated lines on standard
// output under the header that BeginQuery writes. The run's answer: 0 when
// every ID has a started device with this package's driver, else the code
// of the first ID that has none. Bit 29 marks codes of an application's
// own, which no Windows error has.
Result QueryDevice(RunContext& run, const char16_t* hardwareId);
Result BeginQuery(RunContext& run);
constexpr platform::DWORD kQueryNoDevice = 0x20000001;     // no present device lists the ID
constexpr platform::DWORD kQueryOtherDriver = 0x20000002;  // another package's driver, or none
constexpr platform::DWORD kQueryNotStarted = 0x20000003;   // this package's, but disabled, failed or not started

}  // namespace ostrel
