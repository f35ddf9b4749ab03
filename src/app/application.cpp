#include "app/application.h"

#include "app/command_line.h"
#include "platform/platform.h"

namespace ostrel {

namespace {

// Built before the entry code runs, as the one application object must be.
const OstrelSetupApp theApp;

// The text after the program's name, which the framework hands the object.
const char16_t* heldCommandLine = nullptr;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): one run

bool IsBlankOrControl(char16_t c) { return c != u'\0' && c <= kBlank; }

}  // namespace

const Application& TheApp() { return theApp; }

const char16_t* Application::CommandLine() { return heldCommandLine != nullptr ? heldCommandLine : u""; }

void Application::SetCommandLine(const char16_t* text) { heldCommandLine = text; }

const char16_t* SkipProgramName(const char16_t* commandLine)
{
    const char16_t* cursor = commandLine;
    if (*cursor == kQuotationMark) {
        ++cursor;
        while (*cursor != u'\0' && *cursor != kQuotationMark) ++cursor;
        if (*cursor == kQuotationMark) ++cursor;
    } else {
        while (*cursor > kBlank) ++cursor;
    }
    while (IsBlankOrControl(*cursor)) ++cursor;
    return cursor;
}

int RunApplication(const Application& app)
{
    // No system box for a drive without a medium or a file it cannot find:
    // every failure is the program's to report.
    const platform::UINT previousMode = platform::SetErrorMode(0);
    platform::SetErrorMode(previousMode | platform::SEM_FAILCRITICALERRORS | platform::SEM_NOOPENFILEERRORBOX);
    // Libraries loaded by name come from the system folder only, never from
    // beside the program. Older systems lack the call; they keep their order.
    platform::SetDefaultDllDirectories(platform::LOAD_LIBRARY_SEARCH_SYSTEM32);

    Application::SetCommandLine(SkipProgramName(platform::GetCommandLineW()));
    return app.RunSetup();
}

}  // namespace ostrel
