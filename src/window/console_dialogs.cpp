#include "window/console_dialogs.h"

#include <QRegularExpression>
#include <QStringList>

#include <ostream>

namespace korvanteslin {

ConsoleDialogs::ConsoleDialogs(std::ostream& out_) : out(out_) {}

void ConsoleDialogs::showMessage(QWidget*, const QString& text)
{
    out << oneLine(text).toStdString() << '\n' << std::flush;
}

QString ConsoleDialogs::chooseFolder(QWidget*, const QString&, const QString&)
{
    return {};
}

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
