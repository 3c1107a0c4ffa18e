#include "window/fonts.h"

#include <QFont>
#include <QStringList>

namespace korvanteslin {

void installFontSubstitutes()
{
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), QStringList
        {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Sans Serif")});
    QFont::insertSubstitutions(QStringLiteral("Times New Roman"), QStringList
        {QStringLiteral("Liberation Serif"), QStringLiteral("Serif")});
}

} // namespace korvanteslin
