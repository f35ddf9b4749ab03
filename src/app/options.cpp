#include <algorithm>
#include <iterator>
#include <string_view>

#include "app/command_line.h"
#include "platform/platform.h"

namespace ostrel {

namespace {

constexpr std::string_view kLogWord = "/log ";

struct OptionState {
    const char16_t* cursor;  // right after the option word
    Options& options;
    CommandLineFault& fault;
};

struct Option {
    std::string_view word;  // with its trailing blank, unless it may end the line
    bool (*apply)(OptionState& state);
    bool mayEndLine;  // the word alone at the end of the line counts too
};

bool SetRebootOption(OptionState& state)
{
    state.options.rebootOption = 1;
    return true;
}

bool SetQuiet(OptionState& state)
{
    state.options.quiet = true;
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

bool Refuse(OptionState& state, const char16_t* at, const char* what)
{
    state.fault.at = at;
    state.fault.what = what;
    return false;
}

// The name ends at the next blank, or, when it begins with a quotation mark,
// at the next quotation mark. A name must be closed and must fit the buffer.
bool ReadFileName(OptionState& state, InfPathBuffer& name)
{
    const char16_t* start = state.cursor;
    char16_t closing = kBlank;
    if (*start == kQuotationMark) {
        ++start;
        closing = kQuotationMark;
    }
    const char16_t* end = FindOrEnd(start, closing);
    const auto length = static_cast<std::size_t>(end - start);
    if (*end == u'\0') {
        return Refuse(
            state, state.cursor,
            closing == kQuotationMark ? "a quotation mark that is not closed" : "a file name without a blank after it");
    }
    if (length >= kInfPathCapacity) return Refuse(state, state.cursor, "a file name of 260 characters or more");

    std::copy(start, end, name);
    name[length] = u'\0';
    state.cursor = PassSeparator(end);
    return true;
}

bool ReadInfPathOption(OptionState& state) { return ReadFileName(state, state.options.infPath); }

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// A whole number of seconds, 0 to kMostWaitSeconds.
bool ReadWaitOption(OptionState& state)
{
    const char16_t* cursor = state.cursor;
    unsigned long seconds = 0;
    for (; IsDigit(*cursor); ++cursor) {
        seconds = seconds * 10 + static_cast<unsigned long>(*cursor - u'0');
        if (seconds > kMostWaitSeconds) return Refuse(state, state.cursor, "a /wait of more than a day");
    }
    if (cursor == state.cursor || (*cursor != kBlank && *cursor != u'\0'))
        return Refuse(state, state.cursor, "a /wait without a whole number of seconds");
    state.options.hasWait = true;
    state.options.waitSeconds = seconds;
    state.cursor = cursor;
    return true;
}

// A name that cannot be read opens no log: the fault is shown, not logged.
// A second "/log" is a fault: which of the two would the caller look in?
bool ReadLogOption(OptionState& state)
{
    if (state.options.hasLog) return Refuse(state, state.cursor - kLogWord.size(), "a second /log");
    state.options.hasLog = ReadFileName(state, state.options.logPath);
    return state.options.hasLog;
}

constexpr Option kOptions[] = {
    {"/reboot ", SetRebootOption, false}, {"/de ", UseGerman, false},       {"/en ", UseEnglish, false},
    {"/f ", ReadInfPathOption, false},    {kLogWord, ReadLogOption, false}, {"/wait ", ReadWaitOption, false},
    {"/quiet", SetQuiet, true},           {"/q", SetQuiet, true},
};

bool Matches(const char16_t* text, const Option& option)
{
    if (!StartsWithWord(text, option.word)) return false;
    if (!option.mayEndLine) return true;
    const char16_t next = text[option.word.size()];
    return next == kBlank || next == u'\0';
}

const Option* FindOption(const char16_t* text)
{
    const auto* found = std::find_if(std::begin(kOptions), std::end(kOptions),
                                     [text](const Option& option) { return Matches(text, option); });
    return found == std::end(kOptions) ? nullptr : found;
}

}  // namespace

const char16_t* ReadOptions(const char16_t* commandLine, Options& options, CommandLineFault& fault)
{
    OptionState state{commandLine, options, fault};
    while (*state.cursor != u'\0') {
        state.cursor = SkipBlanks(state.cursor);
        const Option* option = FindOption(state.cursor);
        if (option == nullptr) break;
        state.cursor += option->word.size();
        if (!option->apply(state)) return nullptr;
    }
    return state.cursor;
}

const char* DescribeUnknownWord(const char16_t* position)
{
    for (const Option& option : kOptions) {
        if (option.mayEndLine || option.word.back() != kBlank) continue;
        if (EqualsWord(position, option.word.substr(0, option.word.size() - 1))) return "an option without its blank";
    }
    return "an unknown word";
}

}  // namespace ostrel
