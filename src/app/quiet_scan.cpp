#include "app/quiet_scan.h"

#include <string_view>

#include "app/actions.h"
#include "app/command_line.h"

namespace ostrel {

namespace {

constexpr char16_t kTab = u'\t';
constexpr char16_t kSlash = u'/';

bool SeparatesWords(char16_t c) { return c == kBlank || c == kTab || c == kQuotationMark; }

bool EndsOptionWord(char16_t c) { return c == u'\0' || c == kBlank || c == kTab || c == kSlash; }

constexpr std::string_view kQuietWords[] = {"/quiet", "/q"};

bool IsQuietWord(const char16_t* at)
{
    for (const std::string_view word : kQuietWords)
        if (StartsWithWord(at, word) && EndsOptionWord(at[word.size()])) return true;
    return false;
}

}  // namespace

bool AsksForQuiet(const char16_t* commandLine)
{
    bool quoted = false;
    bool wordStart = true;
    bool optionWord = false;  // in a word that began with a slash
    for (const char16_t* at = commandLine; *at != u'\0'; ++at) {
        if (*at == kQuotationMark) quoted = !quoted;
        if (quoted || SeparatesWords(*at)) {
            wordStart = true;
            optionWord = false;
            continue;
        }
        if (wordStart && FindAction(at) != nullptr) return false;
        if (*at == kSlash && (wordStart || optionWord)) {
            if (IsQuietWord(at)) return true;
            optionWord = true;
        }
        wordStart = false;
    }
    return false;
}

}  // namespace ostrel
