#pragma once

#include <array>
#include <string>
#include <string_view>

namespace korvanteslin {

// One of the five display patterns: how many decimals a weight is shown and
// sent with, and the largest magnitude a display box holds.
struct DisplayFormat {
    const char* pattern;
    int decimals;
    double largest;
};

inline constexpr std::array<DisplayFormat, 5> kDisplayFormats{{
    {"####0", 0, 99999.0},
    {"###0.0", 1, 9999.9},
    {"##0.00", 2, 999.99},
    {"#0.000", 3, 99.999},
    {"0.0000", 4, 9.9999},
}};

// The pattern chosen at every start.
inline constexpr std::size_t kStartupFormat = 1;

// `value` rounded to `decimals`, half away from zero on the shortest decimal
// text that reads back as the same double: at least one integer
// digit, no grouping, "-" before the first digit when the value is below zero.
std::string formatFixed(double value, int decimals, char decimalSeparator);

// A display box's text after a change: read as a number, held to the format's
// largest magnitude, and rewritten in the format.
std::string normaliseDisplay(std::string_view text, const DisplayFormat& format, char decimalSeparator);

// A number as a settings box shows it: up to 15 significant digits, no
// exponent for ordinary values, the given decimal separator.
std::string formatPlain(double value, char decimalSeparator);

} // namespace korvanteslin
