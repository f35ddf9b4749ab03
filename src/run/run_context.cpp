#include "run/run_context.h"

#include "platform/last_error.h"
#include "run/run_log.h"

namespace ostrel {

void RunContext::Trace(std::initializer_list<TextPiece> pieces) const
{
    if (log == nullptr) return;
    // Composing takes memory, which must not change the last error of a
    // call that failed just before.
    const platform::last_error_guard kept;
    Text line;
    for (const TextPiece& piece : pieces) piece.AppendTo(line);
    log->Line(line);
}

void RunContext::Trace(const Text& line) const
{
    if (log != nullptr) log->Line(line);
}

}  // namespace ostrel
