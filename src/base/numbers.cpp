#include "base/numbers.h"

namespace ostrel {

namespace {

constexpr unsigned kHexDigits = 8;  // a 32-bit code, as Windows shows one

// Divides `value` by `base` in place and returns the remainder, 16 bits at
// a time: no step needs more than 32-bit arithmetic, so the 32-bit program
// takes no 64-bit division helper (and its unwind section) from libgcc.
unsigned DivideInPlace(unsigned long long& value, unsigned base) noexcept
{
    constexpr unsigned kStep = 16;
    unsigned long long quotient = 0;
    unsigned remainder = 0;
    for (int shift = 64 - kStep; shift >= 0; shift -= kStep) {
        const unsigned part = (remainder << kStep) | static_cast<unsigned>((value >> shift) & 0xFFFFU);
        quotient |= static_cast<unsigned long long>(part / base) << shift;
        remainder = part % base;
    }
    value = quotient;
    return remainder;
}

}  // namespace

Digits::Digits(unsigned long long value, unsigned base, unsigned minDigits) noexcept
{
    if (base < 2 || base > 16) base = 10;
    do {
        units_[--first_] = u"0123456789ABCDEF"[DivideInPlace(value, base)];
    } while (first_ > 0 && (value != 0 || size() < minDigits));
}

bool AppendNumber(Text& text, unsigned long long value, unsigned minDigits)
{
    const Digits digits(value, 10, minDigits);
    return text.append(digits.c_str(), digits.size());
}

bool AppendHex(Text& text, unsigned long value)
{
    const Digits digits(value, 16, kHexDigits);
    return text.append("0x") && text.append(digits.c_str(), digits.size());
}

}  // namespace ostrel
