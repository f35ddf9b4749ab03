#include <algorithm>
#include <string_view>

#include "app/run_setup.h"

#include "app/application.h"
#include "app/hand_over.h"
#include "app/quiet_scan.h"
#include "app/restart.h"
#include "app/run_log_stages.h"
#include "app/usage_text.h"
#include "base/numbers.h"
#include "inf/inf.h"
#include "messages/message_sink.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "run/output.h"
#include "run/run_log.h"

namespace ostrel {

namespace {

constexpr std::u16string_view kInfExtension = u".inf";
// How long a quiet run waits, at most, for each thing to settle, unless
// "/wait" says otherwise.
constexpr unsigned long kQuietWaitSeconds = 120;
// How much of the text at a command-line fault the log shows.
constexpr std::size_t kFaultExcerptUnits = 40;
constexpr char kOverlongArgument[] = "an argument of 256 characters or more";

std::size_t LastDot(const char16_t* path, std::size_t length)
{
    for (std::size_t i = length; i > 0; --i) {
        if (path[i - 1] == u'.') return i - 1;
    }
    return length;
}

// The column in the whole line, as the log's header shows it: the text the
// options are read from is its end.
std::size_t Column(const RunContext& run, const char16_t* at)
{
    const std::size_t whole = TextLength(platform::GetCommandLineW());
    const std::size_t tail = TextLength(run.commandLine);
    return (whole > tail ? whole - tail : 0) + static_cast<std::size_t>(at - run.commandLine) + 1;
}

void TraceFault(const RunContext& run, const CommandLineFault& fault)
{
    if (run.log == nullptr || fault.at == nullptr) return;
    Text line;
    line.append("command line refused at column ");
    AppendNumber(line, Column(run, fault.at));
    line.append(", ");
    line.append(fault.what);
    line.append(": \"");
    const std::size_t length = TextLength(fault.at, kFaultExcerptUnits);
    line.append(fault.at, length);
    line.append(fault.at[length] == u'\0' ? "\"" : "...\"");
    run.Trace(line);
}

// Everything after the options: the INF test, the action, the restart.
void Perform(RunContext& run, const char16_t* cursor, const CommandLineFault& fault, int rebootOption)
{
    if (cursor == nullptr) {
        static_cast<void>(RefuseCommandLine(run, kMsgInvalidCommandLine, fault));
        return;
    }
    if (platform::GetFileAttributesW(run.infPath) == platform::INVALID_FILE_ATTRIBUTES) {
        static_cast<void>(Report(run, Result::LastError(), kMsgOpenInfFailed));
        return;
    }
    RunAction(run, cursor);
    RestartIfNeeded(run, rebootOption);
}

// Nobody may have to answer a box nobody sees: where the system cannot
// say whether the window station is visible, the run is quiet too.
Quietness WhyQuiet(bool asked)
{
    if (asked) return {QuietReason::Asked};
    platform::DWORD error = platform::ERROR_SUCCESS;
    switch (LookAtWindowStation(error)) {
        case Visibility::Visible: return {QuietReason::None};
        case Visibility::Invisible: return {QuietReason::InvisibleWindowStation};
        case Visibility::Unknown: break;
    }
    return {QuietReason::VisibilityUnknown, error};
}

// Every argument measured before the first is acted on: a fault found
// half-way would leave the work before it done and the run reported as
// refused.
Result CheckArguments(RunContext& run, const char16_t* first)
{
    for (const char16_t* position = first; position != nullptr; position = NextToken(position)) {
        if (ArgumentLength(position) >= kTokenCapacity)
            return RefuseCommandLine(run, kMsgInvalidCommandLine, {position, kOverlongArgument});
    }
    return Result::Done();
}

}  // namespace

// A path without a dot gets ".inf" appended. A path cut short by the buffer,
// or one with no room left for ".inf", leaves InfPath empty rather than
// naming a wrong file.
void SetDefaultInfPath(InfPathBuffer& infPath)
{
    const platform::DWORD length =
        platform::GetModuleFileNameW(nullptr, infPath, static_cast<platform::DWORD>(kInfPathCapacity));
    const bool wholePath = length != 0 && length < kInfPathCapacity;
    const std::size_t dot = wholePath ? LastDot(infPath, length) : kInfPathCapacity;
    if (dot + kInfExtension.size() >= kInfPathCapacity) {
        infPath[0] = u'\0';
        return;
    }
    std::copy(kInfExtension.begin(), kInfExtension.end(), infPath + dot);
    infPath[dot + kInfExtension.size()] = u'\0';
}

Visibility LookAtWindowStation(platform::DWORD& error)
{
    const platform::HANDLE station = platform::GetProcessWindowStation();
    if (station == nullptr) {
        error = Result::LastError().Error();
        return Visibility::Unknown;
    }
    platform::USEROBJECTFLAGS flags{};
    platform::DWORD needed = 0;
    if (!platform::GetUserObjectInformationW(station, platform::UOI_FLAGS, &flags, sizeof flags, &needed)) {
        error = Result::LastError().Error();
        return Visibility::Unknown;
    }
    return (flags.dwFlags & platform::WSF_VISIBLE) != 0 ? Visibility::Visible : Visibility::Invisible;
}

bool IsHelp(const char16_t* commandLine) { return EqualsWord(commandLine, "help") || EqualsWord(commandLine, "/?"); }

void ShowUsage(bool visible, const char16_t* caption)
{
    if (!visible) {
        StandardStream output(platform::STD_OUTPUT_HANDLE);
        output.WriteEntry(UsageText());
        return;
    }
    BoxSink boxes(caption);
    RunContext run(boxes, u"");
    ShowMessage(run, UsageText(), platform::MB_OK | platform::MB_ICONINFORMATION);
}

Result RefuseCommandLine(RunContext& run, unsigned message, const CommandLineFault& fault)
{
    TraceFault(run, fault);
    return ReportAlone(run, Result::Failure(platform::ERROR_INVALID_COMMAND_LINE), message);
}

void WalkArguments(RunContext& run, const Action& action, const char16_t* first)
{
    for (const char16_t* position = first; position != nullptr; position = NextToken(position)) {
        const char16_t* argument = CopyToken(position);
        if (argument == nullptr) {
            static_cast<void>(RefuseCommandLine(run, kMsgInvalidCommandLine, {position, kOverlongArgument}));
            return;
        }
        if (action.operation(run, argument).Failed()) return;
    }
}

void RunAction(RunContext& run, const char16_t* cursor)
{
    const Action* action = FindAction(cursor);
    if (action == nullptr) {
        if (*cursor == u'\0')
            static_cast<void>(RunDefaultInstall(run));
        else
            static_cast<void>(RefuseCommandLine(run, kMsgInvalidCommandLine, {cursor, DescribeUnknownWord(cursor)}));
        return;
    }
    const char16_t* arguments = cursor + action->keyword.size();
    if (!action->TakesArguments() && *SkipBlanks(arguments) != u'\0') {
        static_cast<void>(RefuseCommandLine(run, kMsgInvalidCommandLine,
                                            {SkipBlanks(arguments), "an argument after an action that takes none"}));
        return;
    }
    if (action->TakesArguments() && *arguments == u'\0') {
        static_cast<void>(RefuseCommandLine(run, action->emptyListMessage, {arguments, "an action without arguments"}));
        return;
    }
    if (CheckArguments(run, arguments).Failed()) return;
    if (action->changesDevices && run.devicesNeed64BitProgram) {
        static_cast<void>(ReportAlone(run, Result::Failure(platform::ERROR_IN_WOW64), kMsgDevicesNeed64BitProgram));
        return;
    }
    if (action->before != nullptr && action->before(run).Failed()) return;
    WalkArguments(run, *action, arguments);
    if (action->after != nullptr) action->after(run);
}

int OstrelSetupApp::RunSetup() const
{
    InfPathBuffer infPath;
    SetDefaultInfPath(infPath);

    const char16_t* commandLine = CommandLine();
    if (IsHelp(commandLine)) {
        platform::DWORD error = platform::ERROR_SUCCESS;
        ShowUsage(LookAtWindowStation(error) == Visibility::Visible, Name());
        return 0;
    }

    // Looked for first: quiet holds even when the options cannot all be read.
    const bool quietAsked = AsksForQuiet(commandLine);
    Options options(infPath);
    CommandLineFault fault;
    const char16_t* cursor = ReadOptions(commandLine, options, fault);
    const Quietness quiet = WhyQuiet(quietAsked || options.quiet);

    StandardStream errors(platform::STD_ERROR_HANDLE);
    BoxSink boxes(Name());
    QuietSink quietSink(errors);
    MessageSink& sink =
        quiet.reason == QuietReason::None ? static_cast<MessageSink&>(boxes) : static_cast<MessageSink&>(quietSink);
    RunContext run(sink, infPath);
    run.quiet = quiet.reason != QuietReason::None;
    // A quiet run's exit code must describe a settled machine; a person's
    // run waits only when asked to.
    run.waitSeconds = options.hasWait ? options.waitSeconds : (run.quiet ? kQuietWaitSeconds : 0);
    run.commandLine = commandLine;

    RunLog log;
    if (options.hasLog && OpenLog(run, log, options.logPath).Failed()) return FinishRun(run, errors);
    WriteLogHeader(run, quiet, cursor != nullptr);
    if (cursor != nullptr) {
        SiblingPath sibling{};
        const Sibling found = LookForSibling(sibling);
        if (found == Sibling::Found) {
            const Result handedOver = HandOver(run, sibling, commandLine);
            if (handedOver.Failed()) return FinishRun(run, errors);
            // The 64-bit program has written its own closing lines.
            SayLogFailure(run, errors);
            return static_cast<int>(run.outcome.ExitCode());
        }
        run.devicesNeed64BitProgram = found == Sibling::Missing;
    }
    Perform(run, cursor, fault, options.rebootOption);
    return FinishRun(run, errors);
}

}  // namespace ostrel
