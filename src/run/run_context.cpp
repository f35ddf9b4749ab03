#include "run/run_context.h"

#include "platform/last_error.h"
#include "run/run_log.h"

namespace ostrel {

void RunContext::Trace(std::initializer_list<const char16_t*> pieces) const
{
    if (log == nullptr) return;
    // Composing takes memory, which must not change the last error of a
    // call that failed just before.
    const platform::last_error_guard kept;
    Text line;
    for (const char16_t* piece : pieces) line.append(piece);
    log->Line(line);
}

void RunContext::Trace(const Text& line) const
{
    if (log != nullptr) log->Line(line);
}

}  // namespace ostrel
