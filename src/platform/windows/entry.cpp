// The Windows entry point of OstrelSetup.exe (Unicode, graphical subsystem).
#include <cstdlib>

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

// libstdc++'s default terminate handler prints the demangled type of the
// active exception to stderr, which a GUI program does not have, and links
// the whole C++ demangler for it (about a quarter of the executable). Ending
// the same way without the message keeps the program small. It has to be
// defined here, in an object of the executable itself: an archive member
// would be passed over before libstdc++ asks for the symbol.
namespace __gnu_cxx {  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
void __verbose_terminate_handler();  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
