#pragma once

#include "emulation/names.h"

namespace korvanteslin {

// A text of the program in both interface languages (UTF-8). Every table of
// the program's own texts (the shell's messages, the port's failures, the
// API's refusals) is made of these, beside the facts it words; a text is
// chosen where it is shown, in the language in force then.
struct Wording {
    const char* english;
    const char* russian;

    constexpr const char* in(Language language) const { return language == Language::Russian ? russian : english; }
};

} // namespace korvanteslin
