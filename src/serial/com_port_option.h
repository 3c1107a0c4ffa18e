#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "serial/port_settings.h"

namespace korvanteslin {

// RFC 2217's COM-PORT-OPTION, as a device server answers it: a client sets
// its end of the line (speed, data bits, parity, stop bits), its modem
// control lines and flow control, and what it wants to be told; each request
// is answered with the setting in force after it, under the request's code
// plus 100.
inline constexpr unsigned char kComPortOption = 44;

// NOTIFY-MODEMSTATE's bits for the lines a plugged-in terminal holds up.
inline constexpr std::uint8_t kCarrierDetect = 0x80;
inline constexpr std::uint8_t kDataSetReady = 0x20;
inline constexpr std::uint8_t kClearToSend = 0x10;
inline constexpr std::uint8_t kModemLinesUp = kCarrierDetect | kDataSetReady | kClearToSend;

// NOTIFY-LINESTATE's bits for what a receiving UART found wrong.
inline constexpr std::uint8_t kParityError = 0x04;
inline constexpr std::uint8_t kFramingError = 0x08;
inline constexpr std::uint8_t kBreakDetected = 0x10;

// One client's end of the line, as its requests leave it.
struct ClientLine {
    PortSettings settings; // until the client sets its own
    bool dtr = true;
    bool rts = true;
    bool breakOn = false;
    bool suspended = false; // FLOWCONTROL-SUSPEND: no data until RESUME
    std::uint8_t lineStateMask = 0;
    std::uint8_t modemStateMask = 0xFF;
};

// The answer's payload (its code, then the value) to one request (its code,
// then the value), or empty when the request asks for none. `modemState` is
// what the line's modem lines show now.
std::string answerComPort(ClientLine& line, std::string_view request, std::uint8_t modemState);

// NOTIFY-MODEMSTATE's payload: the state under the client's mask.
std::string modemStateNotice(const ClientLine& line, std::uint8_t modemState);

// NOTIFY-LINESTATE's payload for `errors` under the client's mask; empty
// when the mask hides them all.
std::string lineStateNotice(const ClientLine& line, std::uint8_t errors);

} // namespace korvanteslin
