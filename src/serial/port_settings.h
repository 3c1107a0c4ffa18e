#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvanteslin {

enum class Parity : char { None = 'n', Even = 'e', Odd = 'o', Space = 's', Mark = 'm' };

enum class StopBits { One, OneAndHalf, Two };

// Line settings as the operator writes them: "9600,n,8,1".
struct PortSettings {
    int baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    bool operator==(const PortSettings&) const = default;
};

// Accepts "rate,parity,data bits,stop bits"; spaces around an item are
// tolerated and the parity letter may be upper case. Anything else: nullopt.
std::optional<PortSettings> parsePortSettings(std::string_view text);

// The canonical form, e.g. "19200,e,7,1.5"; parsing it gives the same settings.
std::string formatPortSettings(const PortSettings& settings);

} // namespace korvanteslin
