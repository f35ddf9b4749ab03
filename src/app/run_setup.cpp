#include <algorithm>
#include <string_view>

#include "app/run_setup.h"

#include "app/application.h"
#include "app/hand_over.h"
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

std::size_t LastDot(const char16_t* path, std::size_t length)
{
    for (std::size_t i = length; i > 0; --i) {
        if (path[i - 1] == u'.') return i - 1;
    }
    return length;
}

void TraceFault(const RunContext& run, const CommandLineFault& fault)
{
    if (run.log == nullptr || fault.at == nullptr) return;
    Text line;
    line.append(u"command line refused at column ");
    AppendNumber(line, static_cast<unsigned long long>(fault.at - run.commandLine) + 1);
    line.append(u", ");
    line.append(fault.what);
    line.append(u": \"");
    const std::size_t length = TextLength(fault.at, kFaultExcerptUnits);
    line.append(fault.at, length);
    line.append(fault.at[length] == u'\0' ? u"\"" : u"...\"");
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

QuietReason WhyQuiet(const Options& options)
{
    if (options.quiet) return QuietReason::Asked;
    return WindowStationIsVisible() ? QuietReason::None : QuietReason::InvisibleWindowStation;
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

bool WindowStationIsVisible()
{
    const platform::HANDLE station = platform::GetProcessWindowStation();
    platform::USEROBJECTFLAGS flags{};
    platform::DWORD needed = 0;
    if (station == nullptr ||
        !platform::GetUserObjectInformationW(station, platform::UOI_FLAGS, &flags, sizeof flags, &needed))
        return true;
    return (flags.dwFlags & platform::WSF_VISIBLE) != 0;
}

bool IsHelp(const char16_t* commandLine) { return EqualsWord(commandLine, u"help") || EqualsWord(commandLine, u"/?"); }

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
            static_cast<void>(
                RefuseCommandLine(run, kMsgInvalidCommandLine, {position, u"an argument of 256 characters or more"}));
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
                                            {SkipBlanks(arguments), u"an argument after an action that takes none"}));
        return;
    }
    if (action->TakesArguments() && *arguments == u'\0') {
        static_cast<void>(
            RefuseCommandLine(run, action->emptyListMessage, {arguments, u"an action without arguments"}));
        return;
    }
    if (action->changesDevices && run.devicesNeed64BitProgram) {
        static_cast<void>(ReportAlone(run, Result::Failure(platform::ERROR_IN_WOW64), kMsgDevicesNeed64BitProgram));
        return;
    }
    if (action->before != nullptr && action->before(run).Failed()) return;
    WalkArguments(run, *action, arguments);
    if (action->after != nullptr) action->after(run);
}

int OstrelSetupApp::RunSetup()
{
    InfPathBuffer infPath;
    SetDefaultInfPath(infPath);

    const char16_t* commandLine = CommandLine();
    if (IsHelp(commandLine)) {
        ShowUsage(WindowStationIsVisible(), Name());
        return 0;
    }

    Options options(infPath);
    CommandLineFault fault;
    const char16_t* cursor = ReadOptions(commandLine, options, fault);
    const QuietReason quiet = WhyQuiet(options);

    StandardStream errors(platform::STD_ERROR_HANDLE);
    BoxSink boxes(Name());
    QuietSink quietSink(errors);
    MessageSink& sink =
        quiet == QuietReason::None ? static_cast<MessageSink&>(boxes) : static_cast<MessageSink&>(quietSink);
    RunContext run(sink, infPath);
    run.quiet = quiet != QuietReason::None;
    // A quiet run's exit code must describe a settled machine; a person's
    // run waits only when asked to.
    run.waitSeconds = options.hasWait ? options.waitSeconds : (run.quiet ? kQuietWaitSeconds : 0);
    run.commandLine = commandLine;

    RunLog log;
    if (options.hasLog && OpenLog(run, log, options.logPath).Failed()) return FinishRun(run);
    WriteLogHeader(run, quiet);
    if (cursor != nullptr) {
        SiblingPath sibling{};
        const Sibling found = LookForSibling(sibling);
        if (found == Sibling::Found) {
            // The 64-bit program has written its own closing lines.
            const Result handedOver = HandOver(run, sibling, commandLine);
            return handedOver.Failed() ? FinishRun(run) : static_cast<int>(run.outcome.ExitCode());
        }
        run.devicesNeed64BitProgram = found == Sibling::Missing;
    }
    Perform(run, cursor, fault, options.rebootOption);
    return FinishRun(run);
}

}  // namespace ostrel
