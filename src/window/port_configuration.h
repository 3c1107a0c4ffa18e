#pragma once

#include <QString>
#include <array>

#include "shell/settings_record.h"

namespace korvanteslin {

class CommPort;

// The message for a port choice the port cannot take.
inline const QString kRefusedChoice = QStringLiteral("Недопустимо");

// Configures and opens the port from the stored number and settings string.
// Returns the description of the last step that failed, or nothing.
QString configurePortAtStartup(CommPort& port, const SettingsRecord& settings);

// The five port boxes: number, rate, parity, data bits, stop bits.
using PortBoxes = std::array<QString, 5>;

// The deferred apply step after a pick in a port box: stores the choice in the
// record, tries it on the port and opens the port with whatever is then in
// force. Returns true when the choice was refused (the operator is told),
// including hand-typed text that is not a whole number or a port number the
// port will not take: then the record keeps its previous port values.
bool applyPortBoxes(CommPort& port, SettingsRecord& settings, const PortBoxes& boxes);

} // namespace korvanteslin
