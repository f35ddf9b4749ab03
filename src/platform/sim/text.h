// Text helpers for the simulated machine and the tests that inspect it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// UTF-8 <-> UTF-16, for test literals and readable assertion output.
std::u16string U16(const std::string& utf8);
std::string U8(const std::u16string& utf16);

// How the call log shows an argument.
std::u16string Text(const char16_t* text);  // the text itself, or "(null)"
std::u16string Hex(std::uint64_t value);    // "0x1EF"
std::u16string Number(std::int64_t value);  // "42"

// Windows compares paths and names without regard to case; the sim folds
// ASCII letters, which is all the tests need.
std::u16string FoldCase(std::u16string text);
// The same comparisons without a folded copy: lookups run at every call.
bool SameFolded(std::u16string_view a, std::u16string_view b);
bool StartsFolded(std::u16string_view text, std::u16string_view prefix);

// The key under which the machine keeps a file: its path as Windows makes a
// full path of it (either separator; "." and ".." resolved; the trailing
// dots and blanks of the last name dropped; no separator at the end, "C:"
// for a drive's root), letter case folded. A bare name stays a bare name.
std::u16string PathKey(const std::u16string& path);

}  // namespace sim
