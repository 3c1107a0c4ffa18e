#pragma once

#include <QString>

#include "emulation/names.h"

namespace korvanteslin {

// One text of the serial layer in both interface languages (UTF-8).
struct Wording {
    const char* english;
    const char* russian;
};

inline QString worded(const Wording& wording, Language language)
{
    return QString::fromUtf8(language == Language::Russian ? wording.russian : wording.english);
}

} // namespace korvanteslin
