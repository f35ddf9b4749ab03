#include "base/numbers.h"

namespace ostrel {

namespace {

constexpr unsigned kHexDigits = 8;  // a 32-bit code, as Windows shows one

}  // namespace

Digits::Digits(unsigned long long value, unsigned base, unsigned minDigits) noexcept
{
    if (base < 2 || base > 16) base = 10;
    do {
        units_[--first_] = u"0123456789ABCDEF"[value % base];
        value /= base;
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
