// The log's first and last lines, and opening it.
#include "app/run_log_stages.h"

#include "app/bitness.h"
#include "base/numbers.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "run/run_log.h"

#ifndef OSTREL_VERSION
#define OSTREL_VERSION "unknown"
#endif

namespace ostrel {

namespace {

const char16_t* Bitness()
{
    platform::USHORT nativeMachine = platform::IMAGE_FILE_MACHINE_UNKNOWN;
    if (RunsUnderWow64(nativeMachine)) return u"32-bit program on 64-bit Windows";
    return sizeof(void*) == 8 ? u"64-bit program on 64-bit Windows" : u"32-bit program on 32-bit Windows";
}

const char16_t* Elevation()
{
    platform::HANDLE token = nullptr;
    if (!platform::OpenProcessToken(platform::GetCurrentProcess(), platform::TOKEN_QUERY, &token)) return u"unknown";
    const platform::unique_kernel_handle owned(token);
    platform::TOKEN_ELEVATION elevation{};
    platform::DWORD length = 0;
    if (!platform::GetTokenInformation(token, platform::TokenElevation, &elevation, sizeof elevation, &length))
        return u"unknown";
    return elevation.TokenIsElevated != 0 ? u"yes" : u"no";
}

const char16_t* QuietText(QuietReason quiet)
{
    switch (quiet) {
        case QuietReason::Asked: return u"yes, asked for";
        case QuietReason::InvisibleWindowStation: return u"yes, the window station is not visible";
        case QuietReason::None: break;
    }
    return u"no";
}

}  // namespace

Result OpenLog(RunContext& run, RunLog& log, const char16_t* path)
{
    const Result opened = log.Open(path);
    if (opened.Failed()) return Report(run, opened, kMsgOpenLogFailed, path);
    run.log = &log;
    return opened;
}

void WriteLogHeader(const RunContext& run, QuietReason quiet)
{
    if (run.log == nullptr) return;
    char16_t user[platform::UNLEN + 1] = {};
    platform::DWORD userUnits = platform::UNLEN + 1;
    if (!platform::GetUserNameW(user, &userUnits)) user[0] = u'\0';
    run.Trace({u"OstrelSetup " OSTREL_VERSION u", ", Bitness()});
    run.Trace({u"user: ", user[0] != u'\0' ? user : u"(unknown)", u", elevated: ", Elevation()});
    run.Trace({u"quiet: ", QuietText(quiet)});
    run.Trace({u"command line: ", platform::GetCommandLineW()});
    run.Trace({u"INF file: ", run.infPath});
}

int FinishRun(const RunContext& run)
{
    const platform::DWORD outcome = run.outcome.ExitCode();
    const platform::DWORD exitCode = run.quiet ? outcome : 0;
    if (run.log != nullptr) {
        Text line;
        line.append(u"exit code: ");
        AppendNumber(line, exitCode);
        if (exitCode != outcome) {
            line.append(u" (a quiet run would end with ");
            AppendNumber(line, outcome);
            line.append(u")");
        }
        run.Trace(line);
    }
    return static_cast<int>(exitCode);
}

}  // namespace ostrel
