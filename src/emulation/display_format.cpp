#include "emulation/display_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "emulation/number_reading.h"

namespace korvanteslin {

namespace {

// Enough for the widest double written out in full with four decimals.
constexpr std::size_t kWidest = 330;

std::string withSeparator(std::string text, char decimalSeparator)
{
    std::replace(text.begin(), text.end(), '.', decimalSeparator);
    return text;
}

} // namespace

std::string formatFixed(double value, int decimals, char decimalSeparator)
{
    char buffer[kWidest];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
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
