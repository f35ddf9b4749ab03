#include "run/run_context.h"

#include "platform/platform.h"
#include "run/run_log.h"

namespace ostrel {

void RunContext::Trace(std::initializer_list<const char16_t*> pieces) const
{
    if (log == nullptr) return;
    // Composing takes memory; a failure reported after the line must still
    // find its own last error.
    const platform::DWORD kept = platform::GetLastError();
    Text line;
    for (const char16_t* piece : pieces) line.append(piece);
    log->Line(line);
    platform::SetLastError(kept);
}

void RunContext::Trace(const Text& line) const
{
    if (log != nullptr) log->Line(line);
}

}  // namespace ostrel
