// The Windows entry point of OstrelSetup.exe (Unicode, graphical subsystem).
#include "app/application.h"

#include <windows.h>

// Nothing below throws (the Windows build has no exceptions), and
// RunApplication's exit code is 0 on every path.
int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*show*/)
{
    // The application reads the command line itself, through the platform
    // layer, so that the simulated machine can hand it one as well.
    return ostrel::RunApplication(ostrel::TheApp());
}
