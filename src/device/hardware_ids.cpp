#include "device/hardware_ids.h"

#include "base/text.h"

namespace ostrel {

namespace {

// Compares `length` characters of `listed` with the whole of `id`.
bool SameAsListed(const char16_t* listed, std::size_t length, const char16_t* id)
{
    for (std::size_t i = 0; i < length; ++i) {
        if (id[i] == u'\0' || FoldLetter(listed[i]) != FoldLetter(id[i])) return false;
    }
    return id[length] == u'\0';
}

}  // namespace

bool HardwareIdListHolds(const char16_t* list, std::size_t capacity, const char16_t* id)
{
    std::size_t start = 0;
    while (start < capacity && list[start] != u'\0') {
        const std::size_t end = start + TextLength(list + start, capacity - start);
        if (end == capacity) return false;
        if (SameAsListed(list + start, end - start, id)) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace ostrel
