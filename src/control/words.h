#pragma once

#include <QString>

#include <utility>

#include "emulation/names.h"

namespace korvanteslin {

// What the API says, in both interface languages; the reply is worded in the
// one in force. A text already worded in that language (a rule's refusal)
// stands for both.
struct Words {
    Words(QString both) // NOLINT(google-explicit-constructor): a worded text is words
        : english(both)
        , russian(std::move(both))
    {
    }
    Words(QString inEnglish, QString inRussian)
        : english(std::move(inEnglish))
        , russian(std::move(inRussian))
    {
    }
    const QString& in(Language language) const { return language == Language::Russian ? russian : english; }

    QString english;
    QString russian;
};

} // namespace korvanteslin
