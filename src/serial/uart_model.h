#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "serial/frame_line.h"
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

// A character with the moment the receiver has it: once `afterBytes` of the
// sent bytes have left, the one its stop bit was sampled in being the last
// (all of them, for a sample past the end).
struct HeardChar {
    ReceivedChar received;
    std::size_t afterBytes = 0;
};
std::vector<HeardChar> receiveHeard(std::string_view bytes, const PortSettings& sent, const PortSettings& read);

// The characters of a frame's reading that `piece` of the frame completes.
std::span<const HeardChar> heardBy(std::span<const HeardChar> reading, const FramePiece& piece);

} // namespace korvanteslin
