#pragma once

#include <QString>
#include <string>
#include <string_view>

class QLineEdit;

namespace korvanteslin {

// Text in the system's 8-bit encoding (file names, settings strings) for a widget.
QString fromLocal(const std::string& text);

// One of the program's own texts (UTF-8) for a widget.
QString fromUtf8(std::string_view text);

// A check box's value as the terminal counts it: 0 unchecked, 1 checked, 2 grayed.
int signalValue(Qt::CheckState state);
Qt::CheckState checkState(int signalValue);

// Leaves a box alone when it already shows the text (no change event, no repaint).
void setTextIfChanged(QLineEdit* box, const std::string& text);

} // namespace korvanteslin
