#include "window/port_configuration.h"

#include <limits>
#include <optional>

#include "serial/comm_port.h"
#include "window/widget_values.h"

namespace korvanteslin {

namespace {

// A box's text as a whole number of the field's width, blanks around allowed.
template <class Int>
std::optional<Int> wholeNumber(const QString& text)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<Int>::min() || value > std::numeric_limits<Int>::max())
        return std::nullopt;
    return static_cast<Int>(value);
}

struct PortChoice {
    std::int16_t number;
    std::int32_t rate;
    std::int16_t dataBits;
    std::int16_t stopBits;
};

std::optional<PortChoice> readChoice(const PortBoxes& boxes)
{
    const auto number = wholeNumber<std::int16_t>(boxes[0]);
    const auto rate = wholeNumber<std::int32_t>(boxes[1]);
    const auto dataBits = wholeNumber<std::int16_t>(boxes[3]);
    const auto stopBits = wholeNumber<std::int16_t>(boxes[4]);
    if (!number || !rate || !dataBits || !stopBits)
        return std::nullopt;
    return PortChoice{*number, *rate, *dataBits, *stopBits};
}

} // namespace

QString configurePortAtStartup(CommPort& port, const SettingsRecord& settings)
{
    // Each step that fails is passed over; the operator sees the last failure.
    QString failure;
    const bool numberTaken = port.setCommPort(settings.intPortNumber);
    if (!numberTaken)
        failure = port.lastError();
    // A refused number would leave some other port selected: that one is not ours to open.
    if (numberTaken && !port.open())
        failure = port.lastError();
    // Tried on the open line, so that settings the device cannot take are
    // refused (and the line keeps working) rather than failing the opening.
    if (!port.setSettings(fromLocal(settings.strPortSettings)))
        failure = port.lastError();
    return failure;
}

bool applyPortBoxes(CommPort& port, SettingsRecord& settings, const PortBoxes& boxes)
{
    port.close();
    const std::optional<PortChoice> choice = readChoice(boxes);
    const bool numberTaken = choice && port.setCommPort(choice->number);
    if (numberTaken) {
        // Kept even if the port then refuses them: the boxes show them next time.
        settings.intPortNumber = choice->number;
        settings.lngBaudRate = choice->rate;
        settings.strParity = boxes[2].toLocal8Bit().toStdString();
        settings.intDataBits = choice->dataBits;
        settings.intStopBits = choice->stopBits;
    }
    // Opened with the settings in force, then the new ones are tried on the
    // open line: one the device cannot take is refused and the old stay.
    port.open();
    const bool refused = !numberTaken || !port.setSettings(boxes[1] + ',' + boxes[2] + ',' + boxes[3] + ',' + boxes[4]);
    settings.strPortSettings = port.settings().toLocal8Bit().toStdString();
    return refused;
}

} // namespace korvanteslin
