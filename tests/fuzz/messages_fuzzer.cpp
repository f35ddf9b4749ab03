// Message composition: placeholders, catalogue texts, system texts and the
// error report, with any catalogue number, language, insert, system text and
// error code, and local memory that may run out at any allocation.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "base/error_names.h"
#include "fuzz_support.h"
#include "messages/message_sink.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace {

using ostrel_fuzz::Require;
using ostrel_fuzz::Units;

constexpr unsigned kInsertSlots = 36;  // one past the 35 placeholders
constexpr std::size_t kMostUnits = 3000;
constexpr std::size_t kErrorTextUnits = 1024;

std::u16string AnyText(FuzzedDataProvider& in)
{
    return Units(in.ConsumeBytes<std::uint8_t>(2 * in.ConsumeIntegralInRange<std::size_t>(0, kMostUnits)));
}

platform::LCID AnyLocale(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: return platform::LOCALE_ENGLISH_US;
        case 1: return platform::LOCALE_GERMAN_AUSTRIA;
        default: return in.ConsumeIntegral<platform::LCID>();
    }
}

// What a report and GetSystemErrorText show of a system text: up to its
// first NUL, cut to the buffer, without a final line feed.
std::u16string ShownSystemText(const std::u16string& text)
{
    std::u16string shown = text.substr(0, text.find(u'\0')).substr(0, kErrorTextUnits - 1);
    if (!shown.empty() && shown.back() == u'\n') shown.pop_back();
    return shown;
}

// The text the system itself has for `code`; none when it has none.
std::optional<std::u16string> SystemsOwnText(platform::DWORD code)
{
    char16_t* text = nullptr;
    const platform::DWORD length =
        platform::FormatMessageW(platform::FORMAT_MESSAGE_ALLOCATE_BUFFER | platform::FORMAT_MESSAGE_IGNORE_INSERTS |
                                     platform::FORMAT_MESSAGE_FROM_SYSTEM,
                                 nullptr, code, 0, reinterpret_cast<platform::LPWSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) return std::nullopt;
    const std::u16string owned(text, length);
    platform::LocalFree(text);
    return owned;
}

bool EndsWith(const std::u16string& text, const std::u16string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    sim::Machine m;
    m.threadLocale = AnyLocale(in);
    m.uiLanguage = platform::LANGIDFROMLCID(AnyLocale(in));
    const auto failingAllocation = in.ConsumeIntegralInRange(0U, 6U);
    if (failingAllocation != 0)
        m.FailCall(sim::Fault::Nth("LocalAlloc", failingAllocation, platform::ERROR_NOT_ENOUGH_MEMORY));

    const unsigned id = in.ConsumeBool() ? in.ConsumeIntegralInRange(0U, 40U) : in.ConsumeIntegral<unsigned>();
    const platform::DWORD code = in.ConsumeIntegral<platform::DWORD>();
    const std::u16string systemText = AnyText(in);
    if (in.ConsumeBool()) m.systemTexts[code] = systemText;
    // Where the system has no text, the code and its name stand in for it.
    const std::optional<std::u16string> ownText = SystemsOwnText(code);
    std::u16string shown;
    if (ownText) {
        shown = ShownSystemText(*ownText);
    } else {
        char hex[16];
        (void)std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
        shown = sim::U16(hex);
        ostrel::ErrorNameBuffer name;
        if (ostrel::ErrorName(code, name)) shown += u" (" + std::u16string(name) + u")";
    }

    std::array<std::u16string, 3> insertTexts = {AnyText(in), AnyText(in), AnyText(in)};
    std::array<const char16_t*, kInsertSlots> inserts{};
    for (const char16_t*& insert : inserts) {
        const auto pick = in.ConsumeIntegralInRange<std::size_t>(0, insertTexts.size());
        insert = pick == insertTexts.size() ? nullptr : insertTexts[pick].c_str();
    }
    const auto insertCount = in.ConsumeIntegralInRange<unsigned>(0, kInsertSlots);
    const std::u16string pattern = AnyText(in);
    {
        ostrel::Text text;
        text.append(pattern.data(), pattern.size());
        ostrel::Text filled;
        ostrel::FillPlaceholders(filled, text, inserts.data(), insertCount);
        ostrel::FormatCatalogueMessage(filled, id, inserts.data(), insertCount);
    }

    {
        ostrel::HResultError error(static_cast<platform::HRESULT>(code));
        const char16_t* text = error.GetHResultText();
        Require(text != nullptr || failingAllocation != 0, "an HRESULT has a text while memory lasts");
    }

    const std::u16string direct = ostrel::GetSystemErrorText(code);
    Require(direct == shown, "the system text is shown up to its terminator, cut to its buffer", systemText);

    ostrel::BoxSink boxes(u"Ostrel Setup Utility");
    ostrel::RunContext run(boxes, u"");
    static_cast<void>(ostrel::Report(run, ostrel::Result::Failure(code), id, inserts[0], inserts[1]));
    Require(m.boxes.size() == 1, "a report is one box", systemText);
    // A call that left no code gets a line of its own, never the system's
    // text for success.
    if (code != platform::ERROR_SUCCESS)
        Require(EndsWith(m.boxes.front().text, shown), "a report ends with the system text", systemText);
    else
        Require(shown.empty() || !EndsWith(m.boxes.front().text, u"\n" + shown),
                "a report without a code never ends with the text for success", systemText);
    Require(m.LiveAllocations() == 0, "composing leaves no local memory behind", systemText);
    return 0;
}
