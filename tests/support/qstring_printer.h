#pragma once

#include <QString>

#include <ostream>

// Lets assertion failures show QStrings as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
