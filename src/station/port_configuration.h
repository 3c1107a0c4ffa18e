#pragma once

#include <QString>
#include <array>
#include <vector>

#include "serial/port_boxes.h"
#include "serial/port_failure.h"
#include "shell/settings_record.h"

namespace korvanteslin {

class CommPort;

// The message for a port choice the port cannot take.
inline const QString kRefusedChoice = QStringLiteral("Недопустимо");

// Sets the stored number and settings string, then opens the port. Every
// step that failed, in order.
std::vector<PortFailure> configurePortAtStartup(CommPort& port, const SettingsRecord& settings);

// The deferred apply step after a pick in a port box: stores the choice in the
// record, sets it on the port and opens the port with whatever is then in
// force. Returns true when the choice was refused (the operator is told),
// including hand-typed text that is not a whole number, a port number the
// port will not take (then the record keeps its previous port values), and
// framing the device itself cannot take (then the port opens with the
// settings in force before). A device that cannot be opened is not a refusal.
bool applyPortBoxes(CommPort& port, SettingsRecord& settings, const PortBoxes& boxes);

} // namespace korvanteslin
