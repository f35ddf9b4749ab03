// The action table: keyword, operation and the message for an empty
// argument list.
#pragma once

#include <string_view>

#include "platform/win32_types.h"

namespace ostrel {

// Every operation gets the same three arguments; the service operations use
// the argument alone. Non-zero means "go on with the next argument".
using Operation = int (*)(const char16_t* infPath, const char16_t* argument, platform::BOOL* rebootNeeded);

struct Action {
    std::u16string_view keyword;  // two words, one blank between and one after
    Operation operation;
    unsigned emptyListMessage;
};

// The first action whose keyword `text` begins with, letter case aside; null
// when there is none.
const Action* FindAction(const char16_t* text);

}  // namespace ostrel
