// The run: what every operation is handed instead of loose arguments and
// globals. It knows where messages go, the log, the INF file, and the
// outcome so far (a needed restart included).
#pragma once

#include <initializer_list>

#include "base/result.h"
#include "base/text.h"
#include "platform/win32_types.h"
#include "run/outcome.h"

namespace ostrel {

class MessageSink;
class RunLog;

struct RunContext {
    RunContext(MessageSink& messageSink, const char16_t* inf) : sink(messageSink), infPath(inf) {}

    MessageSink& sink;
    const char16_t* infPath;
    RunLog* log = nullptr;  // null without "/log"
    // No box, no prompt, no window of the system's: nobody is there to answer.
    bool quiet = false;
    // The bound of every wait of the run for something to settle (pending
    // device installations, a service reaching the state asked for), in
    // seconds; 0: the run waits for nothing.
    unsigned long waitSeconds = 0;
    Outcome outcome;
    // A 32-bit program on 64-bit Windows without its 64-bit sibling: Windows
    // would refuse every device change, so none is tried.
    bool devicesNeed64BitProgram = false;
    // The text after the program's name, which the log counts columns in.
    const char16_t* commandLine = u"";

    // One line for the log, made of `pieces`; nothing without a log.
    void Trace(std::initializer_list<TextPiece> pieces) const;
    void Trace(const Text& line) const;
};

}  // namespace ostrel
