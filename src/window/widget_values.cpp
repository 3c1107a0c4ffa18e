#include "window/widget_values.h"

#include <QLineEdit>
#include <QLocale>

namespace korvanteslin {

QString fromLocal(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

int signalValue(Qt::CheckState state)
{
    switch (state) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

Qt::CheckState checkState(int signalValue)
{
    return signalValue == 1 ? Qt::Checked : signalValue == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

void setTextIfChanged(QLineEdit* box, const std::string& text)
{
    const QString shown = QString::fromStdString(text);
    if (box->text() != shown)
        box->setText(shown);
}

} // namespace korvanteslin
