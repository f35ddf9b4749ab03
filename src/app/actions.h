// The action table: keyword, operation and the message for an empty
// argument list.
#pragma once

#include <string_view>

#include "run/run_context.h"

namespace ostrel {

// Every operation gets the run and one argument. The walk over the
// arguments goes on unless the result is a failure.
using Operation = Result (*)(RunContext& run, const char16_t* argument);

struct Action {
    // Two words, one blank between and one after; an action that takes no
    // arguments has no blank after its keyword, which ends the line or is
    // followed by blanks alone.
    std::string_view keyword;
    // Called once with an empty argument for an action without arguments.
    Operation operation;
    unsigned emptyListMessage;  // 0: the action takes no arguments
    bool changesDevices;        // refused to a 32-bit program on 64-bit Windows
    // Before the first argument, once the command line is accepted: a
    // failure (reported) ends the run with nothing done.
    Result (*before)(RunContext& run) = nullptr;
    // After the walk over the arguments, however it ended.
    void (*after)(RunContext& run) = nullptr;

    bool TakesArguments() const { return emptyListMessage != 0; }
};

// The first action whose keyword `text` begins with, letter case aside; null
// when there is none.
const Action* FindAction(const char16_t* text);

}  // namespace ostrel
