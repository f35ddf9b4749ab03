// The message-box layer and the error report.
#include "app/application.h"
#include "messages/messages.h"
#include "platform/platform.h"

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

}  // namespace

int ShowMessage(const char16_t* text, platform::UINT type)
{
    return platform::MessageBoxW(nullptr, text, TheApp().Name(), WithDefaultIcon(type));
}

int ShowCatalogueMessage(unsigned id, platform::UINT type)
{
    Text text;
    LoadCatalogueText(id, text);
    return ShowMessage(text.c_str(), type);
}

int ReportError(unsigned id, const char16_t* insert1, const char16_t* insert2)
{
    // Loading and formatting the catalogue text call the system and may
    // change the last error, so it is read before anything else.
    const platform::DWORD error = platform::GetLastError();
    const char16_t* const inserts[] = {insert1, insert2};
    Text report;
    FormatCatalogueMessage(report, id, inserts, 2);
    report.append(kLineFeed);
    const char16_t* systemText = GetSystemErrorText(error);
    report.append(systemText);
    // No memory to compose the report: the system's text alone still tells
    // the user what failed, and its buffer needs none.
    ShowMessage(report.failed() ? systemText : report.c_str(), platform::MB_OK | platform::MB_ICONERROR);
    return 0;
}

}  // namespace ostrel
