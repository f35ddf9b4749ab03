// Copies into buffers that the program hands to the simulated machine.
//
// Windows writes at most the size it is told and trusts that size. The sim
// holds both sides to it: a copy longer than the size given is a fault of the
// sim's own and ends the process before a byte is written; and under
// AddressSanitizer the whole of the size given must be memory the caller owns,
// so that a size larger than the real buffer shows even when what is copied
// is short.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define OSTREL_SIM_CHECKS_REGIONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSTREL_SIM_CHECKS_REGIONS 1
#endif
#endif
#ifdef OSTREL_SIM_CHECKS_REGIONS
#include <sanitizer/asan_interface.h>
#endif

namespace sim {

[[noreturn]] inline void CallerBufferFault(const char* function, const char* what)
{
    (void)std::fprintf(stderr, "sim: %s: %s\n", function, what);
    std::abort();
}

// `capacity` elements at `buffer`, as the caller declared them.
template <typename T>
void CheckCallerBuffer(const char* function, const T* buffer, std::size_t capacity)
{
#ifdef OSTREL_SIM_CHECKS_REGIONS
    if (buffer != nullptr && capacity != 0 &&
        __asan_region_is_poisoned(const_cast<T*>(buffer), capacity * sizeof(T)) != nullptr)
        CallerBufferFault(function, "the caller's buffer is smaller than the size it gave");
#else
    (void)function;
    (void)buffer;
    (void)capacity;
#endif
}

// Copies `count` elements into the caller's buffer of `capacity` elements.
template <typename T>
void CopyToCaller(const char* function, T* buffer, std::size_t capacity, const T* source, std::size_t count)
{
    if (count > capacity) CallerBufferFault(function, "the copy would run past the caller's buffer");
    CheckCallerBuffer(function, buffer, capacity);
    std::copy_n(source, count, buffer);
}

// Copies `count` units of text and a terminator.
inline void CopyTextToCaller(const char* function, char16_t* buffer, std::size_t capacity, const char16_t* text,
                             std::size_t count)
{
    if (count >= capacity)
        CallerBufferFault(function, "the text and its terminator would run past the caller's buffer");
    CopyToCaller(function, buffer, capacity, text, count);
    buffer[count] = u'\0';
}

}  // namespace sim
