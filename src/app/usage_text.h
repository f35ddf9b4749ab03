// What "help" shows: one fixed English text, whatever the language chosen.
#pragma once

namespace ostrel {

const char16_t* UsageText();

}  // namespace ostrel
