// The hardware-ID list walk over any property data: the first byte gives the
// ID's length in units, then the ID, then the property's bytes as the
// registry would hand them over (odd lengths, no terminators, all 520 bytes
// of the buffer filled). The buffer is exactly the program's, so any read
// past it is caught, and the answer must agree with the simulated machine's
// own matching of a multi-string.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "device/hardware_ids.h"
#include "fuzz_support.h"
#include "platform/sim/device_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::size_t idBytes = std::min<std::size_t>(2U * data[0], size - 1);
    const std::u16string id = ostrel_fuzz::Units(std::vector<std::uint8_t>(data + 1, data + 1 + idBytes));
    const std::size_t propertyBytes = std::min(size - 1 - idBytes, sizeof(ostrel::HardwareIdBuffer));

    // The program clears its buffer before each read.
    std::vector<char16_t> list(ostrel::kHardwareIdCapacity, u'\0');
    std::memcpy(list.data(), data + 1 + idBytes, propertyBytes);
    std::vector<char16_t> terminatedId(id.begin(), id.end());
    terminatedId.push_back(u'\0');

    const bool holds = ostrel::HardwareIdListHolds(list.data(), list.size(), terminatedId.data());
    // The sim compares the whole ID; the program sees it only up to a NUL in it.
    const std::u16string seen = id.substr(0, id.find(u'\0'));
    const bool expected = sim::MultiStringHolds(std::u16string(list.begin(), list.end()), seen);
    ostrel_fuzz::Require(holds == expected, "the walk agrees with the sim's multi-string matching", seen);
    return 0;
}
