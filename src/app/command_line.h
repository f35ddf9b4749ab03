// Reading the command line: letter case, blanks, options and arguments.
//
// The rules are deliberately narrow: only the letters A to Z fold onto a to
// z (FoldLetter), and a blank is U+0020 alone (a tab belongs to the text around it).
#pragma once

#include <cstddef>
#include <string_view>

#include "base/text.h"

namespace ostrel {

constexpr char16_t kBlank = u' ';
constexpr char16_t kQuotationMark = u'"';

// The INF file's path with its terminator: at most 259 characters of path.
constexpr std::size_t kInfPathCapacity = 260;
using InfPathBuffer = char16_t[kInfPathCapacity];

// The current argument with its terminator: at most 255 characters.
constexpr std::size_t kTokenCapacity = 256;

// Whether `text` begins with `word`, letter case aside. Never reads `text`
// past its terminator. The words are the program's own, in ASCII, kept
// narrow in the executable.
bool StartsWithWord(const char16_t* text, std::string_view word);
// Whether `text` is exactly `word`, letter case aside.
bool EqualsWord(const char16_t* text, std::string_view word);
const char16_t* SkipBlanks(const char16_t* text);

// The number of characters of the argument at `position`, up to the next
// blank or the end of the line.
std::size_t ArgumentLength(const char16_t* position);
// Copies the argument at `position` (up to the next blank or the end of the
// line) into the static TokenBuffer and returns it. An argument too long for
// TokenBuffer is refused, not cut: the result is then null and TokenBuffer is
// left as it was.
const char16_t* CopyToken(const char16_t* position);
// The position of the argument after the one at `position`, or null when no
// argument follows.
const char16_t* NextToken(const char16_t* position);

// What the options at the start of the command line set.
struct Options {
    explicit Options(InfPathBuffer& inf) : infPath(inf) {}
    InfPathBuffer& infPath;  // replaced by "/f <file>"
    int rebootOption = 0;    // "/reboot "
    bool quiet = false;      // "/quiet" or "/q"
    bool hasLog = false;     // "/log <file>"
    InfPathBuffer logPath{};
    bool hasWait = false;  // "/wait <seconds>"
    unsigned long waitSeconds = 0;
};

// The longest "/wait": a day. A deployment that would wait longer for one
// device or service is stuck, not slow.
constexpr unsigned long kMostWaitSeconds = 86400;

// Where the command line was refused and why, for the log: the message
// alone does not say.
struct CommandLineFault {
    const char16_t* at = nullptr;
    const char* what = "";
};

// Reads the options at the start of `commandLine`: "/reboot ", "/de ",
// "/en ", "/f <file>", "/log <file>" (once), "/wait <seconds>" (the number
// followed by a blank or the end of the line), and "/quiet" or "/q"
// followed by a blank or the end of the line. Returns the cursor at the
// first text that is no option (the blanks before it passed over) or at
// the end of the line; null after a faulty option, with `fault` filled in.
const char16_t* ReadOptions(const char16_t* commandLine, Options& options, CommandLineFault& fault);

// Why the text at `position` is no option and no action, for the log.
const char* DescribeUnknownWord(const char16_t* position);

}  // namespace ostrel
