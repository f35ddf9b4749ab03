// Hardware IDs as the device operations compare them.
#pragma once

#include <cstddef>

namespace ostrel {

// The buffer a device's SPDRP_HARDWAREID list is read into: 520 bytes.
constexpr std::size_t kHardwareIdCapacity = 260;
using HardwareIdBuffer = char16_t[kHardwareIdCapacity];

// Whether the multi-string in `list` holds `id`, folding only the letters
// A to Z onto a to z and comparing every other character by its code value.
// The walk stops at the first
// empty string and never reads past `capacity` characters; a last string
// that runs to the end of the buffer without its terminator is cut off, so
// it never matches.
bool HardwareIdListHolds(const char16_t* list, std::size_t capacity, const char16_t* id);

}  // namespace ostrel
