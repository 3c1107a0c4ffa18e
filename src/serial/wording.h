#pragma once

#include <QString>

namespace korvanteslin {

// One text of the serial layer in both interface languages (UTF-8).
struct Wording {
    const char* english;
    const char* russian;
};

// The text for intLanguage 1 (Russian), English for any other value.
inline QString worded(const Wording& wording, int language)
{
    return QString::fromUtf8(language == 1 ? wording.russian : wording.english);
}

} // namespace korvanteslin
