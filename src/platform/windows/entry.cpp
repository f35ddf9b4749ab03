// The Windows entry point of OstrelSetup.exe (Unicode, graphical subsystem).
// It belongs to the executable, not to the platform library: the one file of
// the platform folder that calls the program above it.
#include "app/application.h"

#include <windows.h>

// Nothing below throws (the Windows build has no exceptions); the process
// ends with the run's exit code.
int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*show*/)
{
    // The application reads the command line itself, through the platform
    // layer, so that the simulated machine can hand it one as well.
    return ostrel::RunApplication(ostrel::TheApp());
}
