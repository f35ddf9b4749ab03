// UTF-16 text: a growable text for the messages and lines the program
// composes, and the two rules every part of the program reads terminated
// texts by (their length, and which letters fold).
//
// Text never throws: when memory cannot be had, it keeps what it holds and
// remembers the failure, and every later append is refused, so that a text
// is never missing a piece from its middle. The memory is the platform's
// local memory, which the simulated machine counts and can refuse.
#pragma once

#include <cstddef>

namespace ostrel {

// The number of units before the terminator of `text`, counting no further
// than `most`: a text that runs on past `most` units is `most` long.
std::size_t TextLength(const char16_t* text, std::size_t most = static_cast<std::size_t>(-1)) noexcept;

// Letter case as the program compares words, hardware IDs and the like:
// only the letters A to Z fold, onto a to z. Every other unit keeps its
// code value (a capital with an umlaut, a dotted capital I, a fullwidth
// letter), so that the comparison never depends on a language.
char16_t FoldLetter(char16_t c) noexcept;

class Text {
public:
    Text() noexcept = default;
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    Text(Text&& other) noexcept;
    Text& operator=(Text&& other) noexcept;
    ~Text();

    // Each returns false, and leaves the text as it was, when the text has
    // failed before or no memory can be had for the addition.
    bool append(const char16_t* units, std::size_t count) noexcept;
    bool append(const char16_t* terminated) noexcept;  // null appends nothing
    bool append(char16_t unit) noexcept;
    // The program's own words, kept as narrow ASCII in the executable (half
    // the room of UTF-16); each byte becomes one unit. Null appends nothing.
    bool append(const char* ascii) noexcept;
    // Room for `units` in all, so that appends up to it cannot fail.
    bool reserve(std::size_t units) noexcept;

    // The empty text, ready for a new one: the failure is forgotten, the
    // memory kept.
    void clear() noexcept;

    // Always terminated; the empty text when nothing was ever appended.
    const char16_t* c_str() const noexcept;
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    bool failed() const noexcept { return failed_; }

private:
    bool Grow(std::size_t units, void*& previous) noexcept;
    bool MakeRoom(std::size_t count, void*& previous) noexcept;
    void Release() noexcept;

    char16_t* units_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;  // terminator excluded
    bool failed_ = false;
};

}  // namespace ostrel
