#pragma once

#include <QString>

#include <utility>

#include "emulation/wording.h"

namespace korvanteslin {

// What the API says, in both interface languages, once its facts are filled
// in; the reply is worded in the one in force. A fixed text is a `Wording`;
// a text already worded in that language (a rule's refusal) stands for both.
struct Words {
    Words(const Wording& wording) // NOLINT(google-explicit-constructor): a fixed text is words
        : english(QString::fromUtf8(wording.english))
        , russian(QString::fromUtf8(wording.russian))
    {
    }
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
