#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "serial/port_settings.h"

namespace korvanteslin {

// One character as a receiving UART reports it.
struct ReceivedChar {
    std::uint8_t value = 0;
    bool parityError = false;
    bool framingError = false; // the stop bit was low
    bool lineBreak = false;    // the line was low for the whole character

    bool operator==(const ReceivedChar&) const = default;
};

// What a UART set to `read` makes of `bytes` sent back to back by a UART set
// to `sent`, the line idle (high) before and after: each character is a start
// bit (low), the data bits LSB first, the parity bit, the stop bits (high).
// The receiver waits for a falling edge, samples the middle of each of its
// own bits at its own speed, checks only the first stop bit, and waits for
// the next falling edge after that sample.
std::vector<ReceivedChar> receiveAs(std::string_view bytes, const PortSettings& sent, const PortSettings& read);

} // namespace korvanteslin
