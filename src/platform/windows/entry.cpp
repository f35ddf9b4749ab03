// The Windows entry point of OstrelSetup.exe (Unicode, graphical subsystem).
#include "app/application.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*show*/)
{
    // The application reads the command line itself, through the platform
    // layer, so that the simulated machine can hand it one as well.
    try {
        return ostrel::RunApplication(ostrel::TheApp());
    } catch (...) {
        // Only running out of memory throws. The exit code is 0 on every
        // path, and an exception leaving wWinMain would end the process
        // through abort() with a crash report instead.
        return 0;
    }
}
