#include "platform/sim/text.h"

#include <string>
#include <vector>

namespace sim {

std::u16string U16(const std::string& utf8)
{
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        char32_t code = 0;
        std::size_t length = 1;
        if (byte < 0x80) {
            code = byte;
        } else if ((byte >> 5) == 0x6) {
            code = byte & 0x1F;
            length = 2;
        } else if ((byte >> 4) == 0xE) {
            code = byte & 0x0F;
            length = 3;
        } else {
            code = byte & 0x07;
            length = 4;
        }
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

std::string U8(const std::u16string& utf16)
{
    std::string out;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t code = utf16[i];
        const bool high = code >= 0xD800 && code < 0xDC00;
        if (high && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;  // a lone surrogate; the unit after it is read on its own
        }
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

std::u16string Text(const char16_t* text) { return text == nullptr ? u"(null)" : std::u16string(text); }

namespace {

// The digits of `value`, most significant first; the call log formats a
// number at nearly every call, so without the C library's formatting.
std::u16string Digits(std::uint64_t value, unsigned base)
{
    char16_t digits[24];
    std::size_t first = sizeof digits / sizeof digits[0];
    do {
        digits[--first] = u"0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0);
    return std::u16string(digits + first, digits + sizeof digits / sizeof digits[0]);
}

}  // namespace

std::u16string Hex(std::uint64_t value) { return u"0x" + Digits(value, 16); }

std::u16string Number(std::int64_t value)
{
    if (value >= 0) return Digits(static_cast<std::uint64_t>(value), 10);
    return u"-" + Digits(0 - static_cast<std::uint64_t>(value), 10);
}

// Letter case as the simulated Windows compares paths, service names, INF
// sections and device IDs. Windows folds these by its own case tables (the
// file system's upcase table, the case-insensitive comparisons of the
// service and setup lookups), which take in letters beyond A to Z; the
// machine folds A to Z only, a simplification that holds for the names the
// tests give it. It is kept apart from the program's rule (ostrel::FoldLetter)
// on purpose: the machine stands for Windows, and a test must not pass only
// because program and machine were built on one rule.
namespace {
char16_t FoldUnit(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c; }
}  // namespace

std::u16string FoldCase(std::u16string text)
{
    for (char16_t& c : text) c = FoldUnit(c);
    return text;
}

bool SameFolded(std::u16string_view a, std::u16string_view b) { return a.size() == b.size() && StartsFolded(a, b); }

bool StartsFolded(std::u16string_view text, std::u16string_view prefix)
{
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (FoldUnit(text[i]) != FoldUnit(prefix[i])) return false;
    return true;
}

namespace {

// A path that is its own full path already, as nearly every path the
// machine meets is: then folding it is all (the fuzzers ask this often).
bool IsPlainPath(const std::u16string& path)
{
    if (path.empty() || path.find(u'/') != std::u16string::npos) return path.empty();
    const char16_t last = path.back();
    if (last == u'\\' || last == u'.' || last == u' ') return false;
    for (const char16_t* odd : {u"\\\\", u"\\.\\", u"\\..\\"})
        if (path.find(odd) != std::u16string::npos) return false;
    return path.compare(0, 2, u".\\") != 0 && path.compare(0, 3, u"..\\") != 0;
}

}  // namespace

std::u16string PathKey(const std::u16string& path)
{
    if (IsPlainPath(path)) return FoldCase(path);
    std::vector<std::u16string> names;
    std::u16string name;
    const auto endName = [&names, &name](bool last) {
        if (last)
            while (!name.empty() && (name.back() == u'.' || name.back() == u' ') && name != u"." && name != u"..")
                name.pop_back();
        if (name == u"..") {
            if (names.size() > 1) names.pop_back();
        } else if (name != u"." && (!name.empty() || names.empty())) {
            names.push_back(name);
        }
        name.clear();
    };
    for (const char16_t c : path) {
        if (c == u'\\' || c == u'/')
            endName(false);
        else
            name.push_back(c);
    }
    endName(true);
    std::u16string key;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i != 0) key += u'\\';
        key += names[i];
    }
    return FoldCase(key);
}

}  // namespace sim
