// The log's first and last lines, and opening it.
#include "app/run_log_stages.h"

#include "app/bitness.h"
#include "app/hand_over.h"
#include "base/numbers.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "run/output.h"
#include "run/run_log.h"

#ifndef OSTREL_VERSION
#define OSTREL_VERSION "unknown"
#endif

namespace ostrel {

namespace {

const char* Bitness()
{
    platform::USHORT nativeMachine = platform::IMAGE_FILE_MACHINE_UNKNOWN;
    if (RunsUnderWow64(nativeMachine)) return "32-bit program on 64-bit Windows";
    return sizeof(void*) == 8 ? "64-bit program on 64-bit Windows" : "32-bit program on 32-bit Windows";
}

const char* Elevation()
{
    platform::HANDLE token = nullptr;
    if (!platform::OpenProcessToken(platform::GetCurrentProcess(), platform::TOKEN_QUERY, &token)) return "unknown";
    const platform::unique_kernel_handle owned(token);
    platform::TOKEN_ELEVATION elevation{};
    platform::DWORD length = 0;
    if (!platform::GetTokenInformation(token, platform::TokenElevation, &elevation, sizeof elevation, &length))
        return "unknown";
    return elevation.TokenIsElevated != 0 ? "yes" : "no";
}

void TraceQuiet(const RunContext& run, const Quietness& quiet)
{
    switch (quiet.reason) {
        case QuietReason::Asked: run.Trace("quiet: yes, asked for"); return;
        case QuietReason::InvisibleWindowStation: run.Trace("quiet: yes, the window station is not visible"); return;
        case QuietReason::VisibilityUnknown:
            run.Trace("quiet: yes, whether the window station is visible cannot be told (error ",
                      Decimal(quiet.error).c_str(), ")");
            return;
        case QuietReason::None: break;
    }
    run.Trace("quiet: no");
}

// The files whose bytes the run depends on: a log appended to one of them
// would break a driver package's signature or the program itself.
Result CheckRunFiles(const RunContext& run, const RunLog& log, bool& isRunFile)
{
    SiblingPath program{};
    const platform::DWORD length =
        platform::GetModuleFileNameW(nullptr, program, static_cast<platform::DWORD>(kSiblingPathCapacity));
    if (length == 0 || length >= kSiblingPathCapacity) program[0] = u'\0';
    SiblingPath sibling{};
    if (!BuildSiblingPath(sibling)) sibling[0] = u'\0';
    for (const char16_t* file :
         {run.infPath, static_cast<const char16_t*>(program), static_cast<const char16_t*>(sibling)}) {
        if (file[0] == u'\0') continue;
        const Result compared = log.IsFile(file, isRunFile);
        if (compared.Failed() || isRunFile) return compared;
    }
    return Result::Done();
}

}  // namespace

Result OpenLog(RunContext& run, RunLog& log, const char16_t* path)
{
    const Result opened = log.Open(path);
    if (opened.Failed()) return Report(run, opened, kMsgOpenLogFailed, path);
    bool isRunFile = false;
    const Result checked = CheckRunFiles(run, log, isRunFile);
    if (checked.Failed()) return Report(run, checked, kMsgOpenLogFailed, path);
    if (isRunFile) {
        Text text;
        FormatCatalogueMessage(text, kMsgLogIsARunFile, path);
        return ReportText(run, Result::Failure(platform::ERROR_INVALID_COMMAND_LINE), text.c_str());
    }
    run.log = &log;
    return opened;
}

void WriteLogHeader(const RunContext& run, const Quietness& quiet, bool optionsRead)
{
    if (run.log == nullptr) return;
    char16_t user[platform::UNLEN + 1] = {};
    platform::DWORD userUnits = platform::UNLEN + 1;
    if (!platform::GetUserNameW(user, &userUnits)) user[0] = u'\0';
    run.Trace("OstrelSetup " OSTREL_VERSION ", ", Bitness());
    if (user[0] != u'\0')
        run.Trace("user: ", user, ", elevated: ", Elevation());
    else
        run.Trace("user: (unknown), elevated: ", Elevation());
    TraceQuiet(run, quiet);
    run.Trace("command line: ", platform::GetCommandLineW());
    // A refused "/f" leaves InfPath at whatever it was before.
    if (optionsRead) run.Trace("INF file: ", run.infPath);
}

// The log itself cannot tell: its message goes to standard error, in a
// person's run too, where a box about a record would only stand in the way.
void SayLogFailure(RunContext& run, StandardStream& errors)
{
    if (run.log == nullptr || !run.log->WriteFailed()) return;
    const platform::DWORD error = run.log->WriteError();
    Text text;
    FormatCatalogueMessage(text, kMsgWriteLogFailed, run.log->Path());
    text.append(u'\n');
    const char16_t* systemText = GetSystemErrorText(error);
    text.append(systemText);
    errors.WriteEntry(text.failed() ? systemText : text.c_str());
    run.outcome.RecordLogFailure(error);
    run.log = nullptr;  // said once
}

int FinishRun(RunContext& run, StandardStream& errors)
{
    const platform::DWORD outcome = run.outcome.ExitCode();
    const platform::DWORD exitCode = run.quiet ? outcome : 0;
    if (run.log != nullptr) {
        Text line;
        line.append("exit code: ");
        AppendNumber(line, exitCode);
        if (exitCode != outcome) {
            line.append(" (a quiet run would end with ");
            AppendNumber(line, outcome);
            line.append(")");
        }
        run.Trace(line);
    }
    // Also the last line's write: a failed one changes the exit code that
    // line could not show.
    SayLogFailure(run, errors);
    return static_cast<int>(run.quiet ? run.outcome.ExitCode() : 0);
}

}  // namespace ostrel
