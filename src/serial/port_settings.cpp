#include "serial/port_settings.h"

#include <array>
#include <charconv>

namespace korvanteslin {
namespace {

constexpr int minBaudRate = 50;
constexpr int maxBaudRate = 4'000'000;

std::string_view trimmed(std::string_view item)
{
    const auto first = item.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = item.find_last_not_of(" \t");
    return item.substr(first, last - first + 1);
}

// Splits into exactly four items; any other count is not a settings string.
std::optional<std::array<std::string_view, 4>> splitFour(std::string_view text)
{
    std::array<std::string_view, 4> items;
    std::size_t count = 0;
    for (;;) {
        const auto comma = text.find(',');
        if (count == items.size())
            return std::nullopt;
        items[count++] = trimmed(text.substr(0, comma));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    if (count != items.size())
        return std::nullopt;
    return items;
}

std::optional<int> parseBaudRate(std::string_view item)
{
    if (item.empty() || item.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    int rate = 0;
    const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), rate);
    if (error != std::errc{} || end != item.data() + item.size())
        return std::nullopt;
    if (rate < minBaudRate || rate > maxBaudRate)
        return std::nullopt;
    return rate;
}

std::optional<Parity> parseParity(std::string_view item)
{
    if (item.size() != 1)
        return std::nullopt;
    switch (item.front()) {
    case 'n': case 'N': return Parity::None;
    case 'e': case 'E': return Parity::Even;
    case 'o': case 'O': return Parity::Odd;
    case 's': case 'S': return Parity::Space;
    case 'm': case 'M': return Parity::Mark;
    default: return std::nullopt;
    }
}

std::optional<int> parseDataBits(std::string_view item)
{
    if (item.size() != 1 || item.front() < '5' || item.front() > '8')
        return std::nullopt;
    return item.front() - '0';
}

std::optional<StopBits> parseStopBits(std::string_view item)
{
    if (item == "1")
        return StopBits::One;
    if (item == "1.5")
        return StopBits::OneAndHalf;
    if (item == "2")
        return StopBits::Two;
    return std::nullopt;
}

std::string_view stopBitsText(StopBits stopBits)
{
    switch (stopBits) {
    case StopBits::One: return "1";
    case StopBits::OneAndHalf: return "1.5";
    case StopBits::Two: return "2";
    }
    return "1";
}

} // namespace

std::optional<PortSettings> parsePortSettings(std::string_view text)
{
    const auto items = splitFour(text);
    if (!items)
        return std::nullopt;
    const auto rate = parseBaudRate((*items)[0]);
    const auto parity = parseParity((*items)[1]);
    const auto dataBits = parseDataBits((*items)[2]);
    const auto stopBits = parseStopBits((*items)[3]);
    if (!rate || !parity || !dataBits || !stopBits)
        return std::nullopt;
    return PortSettings{*rate, *parity, *dataBits, *stopBits};
}

std::string formatPortSettings(const PortSettings& settings)
{
    std::string text = std::to_string(settings.baudRate);
    text += ',';
    text += static_cast<char>(settings.parity);
    text += ',';
    text += std::to_string(settings.dataBits);
    text += ',';
    text += stopBitsText(settings.stopBits);
    return text;
}

} // namespace korvanteslin
