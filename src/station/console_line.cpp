#include "station/console_line.h"

#include <QRegularExpression>
#include <QStringList>

namespace korvanteslin {

QString oneLine(const QString& text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|[\r\n\v\f\u2028\u2029\u0085]"));
    QStringList lines;
    for (const QString& line : text.split(lineBreak))
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    return lines.join(QStringLiteral(" | "));
}

} // namespace korvanteslin
