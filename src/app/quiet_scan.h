// Whether a command line asks for a quiet run, looked for before the
// options are read: a deployment that asked for quiet must never get a box,
// also when something before its "/quiet" keeps the option reader from
// getting there.
#pragma once

namespace ostrel {

// Whether the option area of `commandLine` (everything before the first
// action keyword, or the whole line when there is none) holds the word
// "/quiet" or "/q", letter case aside, outside quotation marks. Such a word
// begins where a word does (at the line's start, after a blank, a tab or a
// quotation mark) or at a slash inside a word that began with one (a
// glued option, "/de/q"), and ends at a blank, a tab, the line's end or
// the slash of another option ("/quiet/log").
bool AsksForQuiet(const char16_t* commandLine);

}  // namespace ostrel
