#include <algorithm>
#include <iterator>
#include <string_view>

#include "app/command_line.h"
#include "messages/messages.h"
#include "platform/platform.h"

namespace ostrel {

namespace {

struct OptionState {
    const char16_t* cursor;  // right after the option word
    InfPathBuffer& infPath;
    int& rebootOption;
};

struct Option {
    std::u16string_view word;  // with its trailing blank
    bool (*apply)(OptionState& state);
};

bool SetRebootOption(OptionState& state)
{
    state.rebootOption = 1;
    return true;
}

bool UseGerman(OptionState& /*state*/)
{
    platform::SetThreadLocale(platform::LOCALE_GERMAN_AUSTRIA);
    return true;
}

bool UseEnglish(OptionState& /*state*/)
{
    platform::SetThreadLocale(platform::LOCALE_ENGLISH_US);
    return true;
}

const char16_t* FindOrEnd(const char16_t* text, char16_t wanted)
{
    while (*text != u'\0' && *text != wanted) ++text;
    return text;
}

// From the character that closed the name: over a closing quotation mark,
// then over the one separator after it. A closing quotation mark may be the
// last character of the line, and the line's end is never passed.
const char16_t* PassSeparator(const char16_t* closing)
{
    const char16_t* cursor = closing;
    if (*cursor == kQuotationMark) ++cursor;
    if (*cursor != u'\0') ++cursor;
    return cursor;
}

bool RefuseCommandLine()
{
    ShowCatalogueMessage(kMsgInvalidCommandLine, platform::MB_ICONERROR);
    return false;
}

// The name ends at the next blank, or, when it begins with a quotation mark,
// at the next quotation mark. A name must be closed and must fit InfPath.
bool ReadInfPathOption(OptionState& state)
{
    const char16_t* name = state.cursor;
    char16_t closing = kBlank;
    if (*name == kQuotationMark) {
        ++name;
        closing = kQuotationMark;
    }
    const char16_t* end = FindOrEnd(name, closing);
    const auto length = static_cast<std::size_t>(end - name);
    if (*end == u'\0' || length >= kInfPathCapacity) return RefuseCommandLine();

    std::copy(name, end, state.infPath);
    state.infPath[length] = u'\0';
    state.cursor = PassSeparator(end);
    return true;
}

constexpr Option kOptions[] = {
    {u"/reboot ", SetRebootOption},
    {u"/de ", UseGerman},
    {u"/en ", UseEnglish},
    {u"/f ", ReadInfPathOption},
};

const Option* FindOption(const char16_t* text)
{
    const auto* found = std::find_if(std::begin(kOptions), std::end(kOptions),
                                     [text](const Option& option) { return StartsWithWord(text, option.word); });
    return found == std::end(kOptions) ? nullptr : found;
}

}  // namespace

const char16_t* ReadOptions(const char16_t* commandLine, InfPathBuffer& infPath, int& rebootOption)
{
    OptionState state{commandLine, infPath, rebootOption};
    while (*state.cursor != u'\0') {
        state.cursor = SkipBlanks(state.cursor);
        const Option* option = FindOption(state.cursor);
        if (option == nullptr) break;
        state.cursor += option->word.size();
        if (!option->apply(state)) return nullptr;
    }
    return state.cursor;
}

}  // namespace ostrel
