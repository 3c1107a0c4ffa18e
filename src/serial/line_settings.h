#pragma once

#include "serial/port_settings.h"

#include <QString>

#include <optional>

class QSerialPort;

namespace korvanteslin {

// Why a line did not take its settings; worded for the operator by the port.
struct LineRefusal {
    enum class Kind {
        System,      // the system refused a request: `systemReason` says why
        Unavailable, // this system cannot ask for such framing at all
        DataBits,    // the device kept another character size
        Parity,      // the device kept another parity
        StopBits,    // the device kept another number of stop bits
    };
    Kind kind = Kind::System;
    QString systemReason;
};

// Puts rate and framing on an open port. A line without framing (a
// pseudo-terminal) takes what it can and nothing is reported; on a framed
// line every setting must hold, including ones a driver quietly turns down.
std::optional<LineRefusal> applyLineSettings(QSerialPort& port, const PortSettings& settings, bool framed);

// DTR on, RTS off. Lines without modem signals (pseudo-terminals) are fine.
// Returns an empty string on success, else the system's reason.
QString applyModemLines(QSerialPort& port);

} // namespace korvanteslin
