#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace korvanteslin {

// The five port boxes as typed: number, rate, parity, data bits, stop bits.
using PortBoxes = std::array<QString, 5>;

// The boxes that hold numbers, read as the settings record's fields hold them.
struct PortChoice {
    std::int16_t number;
    std::int32_t rate;
    std::int16_t dataBits;
    std::int16_t stopBits;
};

// Each number box as a whole number of its field's width, blanks around
// allowed; nothing when any of them is not one. The parity box is the
// settings string's to judge.
std::optional<PortChoice> parsePortBoxes(const PortBoxes& boxes);

} // namespace korvanteslin
