// The Windows entry point of OstrelSetup.exe (Unicode, graphical subsystem).
// It belongs to the executable, not to the platform library: the one file of
// the platform folder that calls the program above it.
//
// The program needs nothing of a C runtime's start-up: no arguments parsed
// into argv (it reads its command line itself, through the platform layer,
// so that the simulated machine can hand it one as well), no constructors to
// run (its one object is built at compile time), no thread-local data, no
// handlers at exit. So the linker is told to start here, and the runtime's
// start-up code, its relocation fixer and their messages stay out of the
// executable.
#include "app/application.h"

#include <windows.h>

// Nothing below throws (the Windows build has no exceptions); the process
// ends with the run's exit code.
extern "C" void WINAPI OstrelEntry() { ExitProcess(static_cast<UINT>(ostrel::RunApplication(ostrel::TheApp()))); }
