#pragma once

// A slow, plainly written rounding of a double to a number of decimals, to
// hold the display formatting against: the shortest text that reads back as
// the same double is found by trying every precision with printf, then
// rounded half away from zero as a whole number of units of the last decimal.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace korvanteslin::test {

inline std::string referenceFixed(double value, int decimals)
{
    const double magnitude = std::fabs(value);
    char text[64];
    for (int precision = 0; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*e", precision, magnitude);
        if (std::strtod(text, nullptr) == magnitude)
            break;
    }
    // text is d.ddd...e±x: the digits as a whole number N times 10^exponent.
    std::string digits;
    char* cursor = text;
    for (; *cursor != 'e'; ++cursor)
        if (*cursor != '.')
            digits += *cursor;
    const int exponent = std::atoi(cursor + 1) - int(digits.size()) + 1;

    // The value in units of the last decimal shown, then rounded.
    const int shift = exponent + decimals;
    std::string units;
    if (shift >= 0) {
        units = digits + std::string(std::size_t(shift), '0');
    } else {
        const std::size_t dropped = std::size_t(-shift);
        const std::string padded = std::string(dropped, '0') + digits;
        units = padded.substr(0, padded.size() - dropped);
        const bool half = padded[padded.size() - dropped] >= '5';
        if (half) {
            int i = int(units.size()) - 1;
            for (; i >= 0 && units[std::size_t(i)] == '9'; --i)
                units[std::size_t(i)] = '0';
            if (i < 0)
                units.insert(units.begin(), '1');
            else
                ++units[std::size_t(i)];
        }
    }
    units.erase(0, std::min(units.find_first_not_of('0'), units.size()));
    if (units.size() < std::size_t(decimals) + 1)
        units.insert(0, std::size_t(decimals) + 1 - units.size(), '0');
    std::string shown = units.substr(0, units.size() - std::size_t(decimals));
    if (decimals > 0)
        shown += "." + units.substr(units.size() - std::size_t(decimals));
    return (value < 0 ? "-" : "") + shown;
}

} // namespace korvanteslin::test
