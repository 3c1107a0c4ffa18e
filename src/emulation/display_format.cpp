#include "emulation/display_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "emulation/number_reading.h"

namespace korvanteslin {

namespace {

std::string withSeparator(std::string text, char decimalSeparator)
{
    std::replace(text.begin(), text.end(), '.', decimalSeparator);
    return text;
}

// The decimal text the operator would read for a double: its shortest
// round-trip digits and where the decimal point falls among them.
struct ShortestDecimal {
    std::string digits; // no leading zeros, "0" for zero
    int pointAt;        // digits before the decimal point; may be <= 0 or past the end
};

ShortestDecimal shortestDecimal(double magnitude)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    const std::string_view text(buffer, std::size_t(result.ptr - buffer));
    const std::size_t e = text.find('e');
    ShortestDecimal decimal;
    for (char c : text.substr(0, e))
        if (c != '.')
            decimal.digits.push_back(c);
    int exponent = 0;
    const std::string_view power = text.substr(e + 1);
    std::from_chars(power.data() + (power.front() == '+' ? 1 : 0), power.data() + power.size(), exponent);
    decimal.pointAt = exponent + 1;
    return decimal;
}

// Adds one unit in the last place of a string of decimal digits.
void incrementDigits(std::string& digits)
{
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

} // namespace

std::string formatFixed(double value, int decimals, char decimalSeparator)
{
    const double magnitude = std::fabs(value);
    std::string text;
    if (!std::isfinite(magnitude)) {
        char buffer[8];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude);
        text.assign(buffer, result.ptr);
    } else {
        // Rounded on the decimal text, half away from zero: 2.675 is read as
        // 2.675 and shows 2.68, although its binary value lies just below.
        const ShortestDecimal decimal = shortestDecimal(magnitude);
        const int size = int(decimal.digits.size());
        std::string whole = decimal.pointAt <= 0 ? std::string("0")
                                                 : decimal.digits.substr(0, std::size_t(std::min(decimal.pointAt, size)))
                + std::string(std::size_t(std::max(0, decimal.pointAt - size)), '0');
        std::string fraction = decimal.pointAt < 0 ? std::string(std::size_t(-decimal.pointAt), '0') + decimal.digits
                                                   : decimal.digits.substr(std::size_t(std::min(decimal.pointAt, size)));
        fraction.resize(std::size_t(decimals) + 1, '0');
        const bool roundUp = fraction.back() >= '5';
        fraction.pop_back();
        std::string digits = whole + fraction;
        if (roundUp)
            incrementDigits(digits);
        const std::size_t wholeDigits = digits.size() - fraction.size();
        text = digits.substr(0, wholeDigits);
        if (decimals > 0)
            text += '.' + digits.substr(wholeDigits);
    }
    if (value < 0)
        text.insert(text.begin(), '-');
    return withSeparator(std::move(text), decimalSeparator);
}

namespace {

std::string normaliseOnce(std::string_view text, const DisplayFormat& format, char decimalSeparator)
{
    double value = readNumber(text);
    if (std::fabs(value) > format.largest) {
        // The limit as plain text, read back like any other entry.
        value = readNumber(formatFixed(std::copysign(format.largest, value), format.decimals, '.'));
    }
    std::string shown = formatFixed(value, format.decimals, decimalSeparator);
    shown.resize(std::min(shown.size(), std::size_t(value < 0 ? 7 : 6)));
    return shown;
}

} // namespace

std::string normaliseDisplay(std::string_view text, const DisplayFormat& format, char decimalSeparator)
{
    // Every rewrite of the box is itself a change, normalised again until the
    // text stands still: "-0.04" shows "-0.0" for a moment, then "0.0".
    std::string shown = normaliseOnce(text, format, decimalSeparator);
    for (int pass = 0; pass < 4; ++pass) {
        std::string again = normaliseOnce(shown, format, decimalSeparator);
        if (again == shown)
            break;
        shown = std::move(again);
    }
    return shown;
}

std::string formatPlain(double value, char decimalSeparator)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return withSeparator(std::string(buffer, result.ptr), decimalSeparator);
}

} // namespace korvanteslin
