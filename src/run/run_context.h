// The run: what every operation is handed instead of loose arguments and
// globals. It knows where messages go, the log, the INF file, and the
// outcome so far (a needed restart included).
#pragma once

#include <cstddef>
#include <type_traits>

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

    // One line for the log, made of `pieces`: the program's own ASCII words
    // (narrow) and UTF-16 texts, in any order; nothing without a log. Each
    // piece goes as its address alone, and which of them are narrow as one
    // number for the line: a log line is written at many places, and a flag
    // for each piece at each place would cost more than the line's words.
    template <typename... Pieces>
    void Trace(const Pieces&... pieces) const
    {
        static_assert(sizeof...(Pieces) <= 32, "one bit of the mask for each piece");
        static_assert(((IsNarrowPiece<Pieces> || std::is_convertible_v<const Pieces&, const char16_t*>)&&...),
                      "a piece is a narrow or a UTF-16 text");
        const void* const texts[] = {static_cast<const void*>(pieces)...};
        TracePieces(texts, sizeof...(Pieces), NarrowMask<Pieces...>());
    }
    void Trace(const Text& line) const;

private:
    template <typename Piece>
    static constexpr bool IsNarrowPiece = std::is_convertible_v<const Piece&, const char*>;

    template <typename... Pieces>
    static constexpr unsigned long NarrowMask()
    {
        constexpr bool narrow[] = {IsNarrowPiece<Pieces>...};
        unsigned long mask = 0;
        for (std::size_t i = 0; i < sizeof...(Pieces); ++i)
            if (narrow[i]) mask |= 1UL << i;
        return mask;
    }

    // Bit i of `narrowMask` set: texts[i] is narrow.
    void TracePieces(const void* const* texts, std::size_t count, unsigned long narrowMask) const;
};

}  // namespace ostrel
