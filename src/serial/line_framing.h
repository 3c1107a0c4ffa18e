#pragma once

#include "serial/port_settings.h"

#include <termios.h>

namespace korvanteslin {

// The c_cflag that puts exactly this framing on the line: character size,
// parity and stop bits come from `settings` alone, whatever another program
// (or an earlier choice) left there; every other bit stays as in `current`.
tcflag_t framedControlFlags(tcflag_t current, const PortSettings& settings);

// False for framing that termios cannot ask for on this system: one and a
// half stop bits, and mark or space parity where there is no stick parity.
bool framingAvailable(const PortSettings& settings);

enum class FramingPart { None, DataBits, Parity, StopBits };

// The first part of the framing that a line reporting `reported` does not
// carry. Bits without meaning for these settings are not judged: without
// parity the odd and stick bits say nothing.
FramingPart framingNotTaken(tcflag_t reported, const PortSettings& settings);

} // namespace korvanteslin
