// Numbers as text: the one way the program writes a number's digits, for
// log lines, exit codes, error codes and the fallback texts of HRESULTs.
#pragma once

#include <cstddef>

#include "base/text.h"

namespace ostrel {

// The digits of a number in base 10 or 16 (upper-case letters), at least
// `minDigits` of them with leading zeros, as a terminated text of its own.
class Digits {
public:
    explicit Digits(unsigned long long value, unsigned base = 10, unsigned minDigits = 1) noexcept;
    const char16_t* c_str() const noexcept { return units_ + first_; }
    std::size_t size() const noexcept { return kRoom - 1 - first_; }

private:
    static constexpr unsigned kRoom = 65;  // 64 digits of a 64-bit value in base 2, and the terminator
    char16_t units_[kRoom] = {};
    unsigned first_ = kRoom - 1;
};

// A number in decimal, for composing lines: Decimal(n).c_str().
inline Digits Decimal(unsigned long long value) noexcept { return Digits(value); }

// Appends `value` in decimal, with leading zeros up to `minDigits`.
bool AppendNumber(Text& text, unsigned long long value, unsigned minDigits = 1);
// Appends "0x" and `value` in upper-case hexadecimal, 8 digits at least.
bool AppendHex(Text& text, unsigned long value);

}  // namespace ostrel
