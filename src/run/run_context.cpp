#include "run/run_context.h"

#include "platform/last_error.h"
#include "run/run_log.h"

namespace ostrel {

void RunContext::TracePieces(const void* const* texts, std::size_t count, unsigned long narrowMask) const
{
    if (log == nullptr) return;
    // Composing takes memory, which must not change the last error of a
    // call that failed just before.
    const platform::last_error_guard kept;
    Text line;
    for (std::size_t i = 0; i < count; ++i) {
        if ((narrowMask >> i & 1) != 0)
            line.append(static_cast<const char*>(texts[i]));
        else
            line.append(static_cast<const char16_t*>(texts[i]));
    }
    log->Line(line);
}

void RunContext::Trace(const Text& line) const
{
    if (log != nullptr) log->Line(line);
}

}  // namespace ostrel
