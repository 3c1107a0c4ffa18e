#include "emulation/frame_builder.h"

#include <cmath>

#include "emulation/display_format.h"

namespace korvanteslin {

namespace {

constexpr char kStx = 0x02;
constexpr char kCr = 0x0D;

// The rightmost `width` characters of the padded text: a value too wide for
// its field loses its leftmost characters.
std::string rightmost(const std::string& padded, std::size_t width)
{
    return padded.substr(padded.size() - width);
}

// W6: the magnitude, zero-padded to six characters.
std::string magnitudeField(double weight, int decimals)
{
    return rightmost("0000000" + formatFixed(std::fabs(weight), decimals, '.'), 6);
}

// S7: the signed value, blank-padded to seven characters.
std::string signedField(double weight, int decimals)
{
    return rightmost("       " + formatFixed(weight, decimals, '.'), 7);
}

std::string reversed(const std::string& text)
{
    return {text.rbegin(), text.rend()};
}

} // namespace

char statusByte(const SignalStates& states)
{
    int status = 0x40;
    for (std::size_t bit = 0; bit < states.size(); ++bit) {
        if (states[bit] == 1)
            status += 1 << bit;
    }
    return static_cast<char>(status);
}

std::optional<std::string> assembleFrame(double weight, int model, int decimals, const SignalStates& states)
{
    const bool negative = weight < 0;
    switch (model) {
    case kZmr1:
        return std::string{kStx, negative ? '-' : ' '} + magnitudeField(weight, decimals) + statusByte(states) + "kg" + kCr;
    case kZmr3:
        return "=" + reversed(magnitudeField(weight, decimals)) + (negative ? '-' : '0');
    case kZmr5:
        return "=" + reversed(signedField(weight, decimals)) + statusByte(states) + kCr;
    default:
        return std::nullopt;
    }
}

std::string hexEcho(const std::string& frame)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string echo;
    echo.reserve(frame.size() * 3);
    for (const char c : frame) {
        const auto byte = static_cast<unsigned char>(c);
        echo += ' ';
        echo += kDigits[byte >> 4];
        echo += kDigits[byte & 0x0F];
    }
    return echo;
}

} // namespace korvanteslin
