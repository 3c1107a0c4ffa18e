#pragma once

#include <QString>

namespace korvanteslin {

// A message's lines joined by " | ", empty lines left out: a log keeps one
// message per line, which is how a run without a window tells its user.
QString oneLine(const QString& text);

} // namespace korvanteslin
