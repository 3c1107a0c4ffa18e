#include "serial/port_boxes.h"

#include <limits>

namespace korvanteslin {

namespace {

template <class Int>
std::optional<Int> wholeNumber(const QString& text)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<Int>::min() || value > std::numeric_limits<Int>::max())
        return std::nullopt;
    return static_cast<Int>(value);
}

} // namespace

std::optional<PortChoice> parsePortBoxes(const PortBoxes& boxes)
{
    const auto number = wholeNumber<std::int16_t>(boxes[0]);
    const auto rate = wholeNumber<std::int32_t>(boxes[1]);
    const auto dataBits = wholeNumber<std::int16_t>(boxes[3]);
    const auto stopBits = wholeNumber<std::int16_t>(boxes[4]);
    if (!number || !rate || !dataBits || !stopBits)
        return std::nullopt;
    return PortChoice{*number, *rate, *dataBits, *stopBits};
}

} // namespace korvanteslin
