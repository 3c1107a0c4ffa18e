#pragma once

#include <optional>
#include <string>
#include <vector>

#include <termios.h>

#include "serial/port_settings.h"
#include "serial/uart_model.h"

namespace korvanteslin {

// The receiving program's end of a pseudo-terminal, as it set it there.
struct PtyReader {
    // Its speed and stop bits; a pseudo-terminal keeps 8 data bits and no
    // parity whatever it is told, so those are taken to be the port's.
    PortSettings settings;
    tcflag_t inputFlags = 0;
};

// Read back from the terminal `fd` (either end); nothing when it cannot be.
std::optional<PtyReader> ptyReader(int fd, const PortSettings& port);

// Sets the terminal's speed and stop bits to `port`'s, as a line is before
// its reader sets anything (a fresh pseudo-terminal would say 38400).
void setPtyLine(int fd, const PortSettings& port);

// What a terminal line discipline hands its reader for the characters a UART
// received, as the reader's input flags say: a character with a parity or a
// framing error is dropped with INPCK and IGNPAR, read as NUL with INPCK
// alone, and as itself without INPCK; a break is dropped with IGNBRK or
// BRKINT, else read as NUL. (The marks PARMRK asks for cannot be handed on:
// the terminal would double the 0xFF they begin with.)
std::string ptyDelivery(const std::vector<ReceivedChar>& chars, tcflag_t inputFlags);
// The same for one character, appended to `out`.
void ptyDeliver(const ReceivedChar& received, tcflag_t inputFlags, std::string& out);

} // namespace korvanteslin
