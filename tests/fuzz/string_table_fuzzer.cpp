// The string-table lookup over arbitrary bytes as the resource block: the
// first byte picks the entry, the rest is the block, exactly as long as the
// resource would be, so that any read past it is caught.
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "messages/messages.h"
#include "platform/sim/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    sim::Machine m;
    const unsigned entry = data[0] % 16U;
    const std::vector<std::uint8_t> block(data + 1, data + size);
    {
        ostrel::Text text;
        const bool found = ostrel::ReadStringTableEntry(block.empty() ? nullptr : block.data(),
                                                        static_cast<platform::DWORD>(block.size()), entry, text);
        // A text has a count in front of it: at least one unit before it.
        ostrel_fuzz::Require(found ? !text.empty() && 2 * (text.size() + 1) <= block.size() : text.empty(),
                             "an entry is a text that lies within its block, or none");
    }
    ostrel_fuzz::Require(m.LiveAllocations() == 0, "the lookup leaves no local memory behind");
    return 0;
}
