#pragma once

#include "serial/port_settings.h"

#include <QString>

class QSerialPort;

namespace korvanteslin {

// Puts rate and framing on an open port. A line without framing (a
// pseudo-terminal) takes what it can and nothing is reported; on a framed
// line every setting must hold, including ones a driver quietly turns down.
// Returns an empty string on success, else the reason for the operator.
QString applyLineSettings(QSerialPort& port, const PortSettings& settings, bool framed);

// DTR on, RTS off. Lines without modem signals (pseudo-terminals) are fine.
// Returns an empty string on success, else the reason for the operator.
QString applyModemLines(QSerialPort& port);

} // namespace korvanteslin
