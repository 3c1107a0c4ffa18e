#pragma once

#include <QString>

#include "emulation/wording.h"

namespace korvanteslin {

inline QString worded(const Wording& wording, Language language)
{
    return QString::fromUtf8(wording.in(language));
}

} // namespace korvanteslin
