// The message layer and the error report: every message goes to the run's
// sink and, when there is one, into the log as it was shown.
#include "base/error_names.h"
#include "messages/message_sink.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "run/output.h"
#include "run/run_context.h"
#include "run/run_log.h"

namespace ostrel {

namespace {

constexpr char16_t kLineFeed = u'\n';

// A box whose caller named no icon gets the one its buttons suggest.
platform::UINT WithDefaultIcon(platform::UINT type)
{
    if ((type & platform::MB_ICONMASK) != 0) return type;
    switch (type & platform::MB_TYPEMASK) {
        case platform::MB_OK:
        case platform::MB_OKCANCEL: return type | platform::MB_ICONEXCLAMATION;
        case platform::MB_YESNOCANCEL:
        case platform::MB_YESNO: return type | platform::MB_ICONQUESTION;
        default: return type;
    }
}

const char* IconWord(platform::UINT type)
{
    switch (type & platform::MB_ICONMASK) {
        case platform::MB_ICONERROR: return "error: ";
        case platform::MB_ICONEXCLAMATION: return "warning: ";
        case platform::MB_ICONQUESTION: return "question: ";
        default: return "message: ";
    }
}

// A failure's entry ends with its code, for a person to look up.
void LogMessage(const RunContext& run, const char16_t* text, platform::UINT type, const Result& failure)
{
    if (run.log == nullptr) return;
    Text line;
    line.append(IconWord(type));
    line.append(text);
    if (failure.Failed()) {
        line.append("\ncode: ");
        AppendErrorCode(line, failure.Error());
    }
    run.log->Line(line.failed() ? text : line.c_str());
}

int Show(RunContext& run, const char16_t* text, platform::UINT type, const Result& failure)
{
    const platform::UINT shownType = WithDefaultIcon(type);
    LogMessage(run, text, shownType, failure);
    return run.sink.Show(text, shownType);
}

}  // namespace

int BoxSink::Show(const char16_t* text, platform::UINT type)
{
    return platform::MessageBoxW(nullptr, text, caption_, type);
}

int QuietSink::Show(const char16_t* text, platform::UINT /*type*/)
{
    errors_.WriteEntry(text);
    return platform::IDOK;
}

int ShowMessage(RunContext& run, const char16_t* text, platform::UINT type)
{
    return Show(run, text, type, Result::Done());
}

int ShowCatalogueMessage(RunContext& run, unsigned id, platform::UINT type)
{
    Text text;
    LoadCatalogueText(id, text);
    return ShowMessage(run, text.c_str(), type);
}

Result ReportText(RunContext& run, Result failure, const char16_t* text)
{
    if (!failure.Failed() || failure.Reported()) return failure;
    run.outcome.RecordFailure(failure.Error());
    Show(run, text, platform::MB_OK | platform::MB_ICONERROR, failure);
    return failure.AsReported();
}

Result ReportAlone(RunContext& run, Result failure, unsigned id)
{
    if (!failure.Failed() || failure.Reported()) return failure;
    Text text;
    LoadCatalogueText(id, text);
    return ReportText(run, failure, text.c_str());
}

Result Report(RunContext& run, Result failure, unsigned id, const char16_t* insert1, const char16_t* insert2)
{
    if (!failure.Failed() || failure.Reported()) return failure;
    const char16_t* const inserts[] = {insert1, insert2};
    Text report;
    FormatCatalogueMessage(report, id, inserts, 2);
    report.append(kLineFeed);
    Text noReason;
    if (failure.Error() == platform::ERROR_SUCCESS) LoadCatalogueText(kMsgNoReasonGiven, noReason);
    const char16_t* reason =
        failure.Error() == platform::ERROR_SUCCESS ? noReason.c_str() : GetSystemErrorText(failure.Error());
    report.append(reason);
    // No memory to compose the report: the reason alone still tells the
    // user what failed.
    return ReportText(run, failure, report.failed() ? reason : report.c_str());
}

}  // namespace ostrel
