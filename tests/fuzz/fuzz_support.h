// What the fuzz targets share: a failed check that the fuzzer records as a
// crash, and UTF-16 text made from raw bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/text.h"

namespace ostrel_fuzz {

// A broken promise of the program: says which, with the calls the program
// made when a machine is given, and aborts so that the fuzzer keeps the input.
inline void Require(bool holds, const char* promise, const std::u16string& context = {},
                    const sim::Machine* machine = nullptr)
{
    if (holds) return;
    if (machine != nullptr) {
        for (const sim::CallRecord& call : machine->Calls()) {
            std::u16string line = sim::U16(std::string(call.function)) + u"(";
            for (const std::u16string& argument : call.arguments) line += argument + u", ";
            (void)std::fprintf(stderr, "  %s)\n", sim::U8(line).c_str());
        }
    }
    (void)std::fprintf(stderr, "broken: %s\n  input: %s\n", promise, sim::U8(context).c_str());
    std::abort();
}

// Little-endian UTF-16 units, any of them (NUL and lone surrogates too); an
// odd last byte is dropped.
inline std::u16string Units(const std::vector<std::uint8_t>& bytes)
{
    std::u16string units(bytes.size() / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), bytes.data(), units.size() * sizeof(char16_t));
    return units;
}

}  // namespace ostrel_fuzz
