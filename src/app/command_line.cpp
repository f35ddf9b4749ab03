#include "app/command_line.h"

#include <algorithm>

namespace ostrel {

namespace {

char16_t
    TokenBuffer[kTokenCapacity];  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): one argument at a time

bool EndsArgument(char16_t c) { return c == u'\0' || c == kBlank; }

}  // namespace

bool StartsWithWord(const char16_t* text, std::string_view word)
{
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (text[i] == u'\0' || FoldLetter(text[i]) != FoldLetter(static_cast<char16_t>(word[i]))) return false;
    }
    return true;
}

bool EqualsWord(const char16_t* text, std::string_view word)
{
    return StartsWithWord(text, word) && text[word.size()] == u'\0';
}

const char16_t* SkipBlanks(const char16_t* text)
{
    while (*text == kBlank) ++text;
    return text;
}

std::size_t ArgumentLength(const char16_t* position)
{
    const char16_t* end = position;
    while (!EndsArgument(*end)) ++end;
    return static_cast<std::size_t>(end - position);
}

const char16_t* CopyToken(const char16_t* position)
{
    const std::size_t length = ArgumentLength(position);
    if (length >= kTokenCapacity) return nullptr;
    std::copy(position, position + length, TokenBuffer);
    TokenBuffer[length] = u'\0';
    return TokenBuffer;
}

const char16_t* NextToken(const char16_t* position)
{
    const char16_t* cursor = position;
    while (!EndsArgument(*cursor)) ++cursor;
    if (*cursor == u'\0') return nullptr;
    cursor = SkipBlanks(cursor);
    return *cursor == u'\0' ? nullptr : cursor;
}

}  // namespace ostrel
