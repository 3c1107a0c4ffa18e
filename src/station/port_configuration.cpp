#include "station/port_configuration.h"

#include <optional>

#include "serial/comm_port.h"
#include "serial/port_boxes.h"

namespace korvanteslin {


std::vector<PortFailure> configurePortAtStartup(CommPort& port, const SettingsRecord& settings)
{
    // Each step that fails is passed over and the operator is told of every
    // failure: a refused string must not hide that the port is missing.
    std::vector<PortFailure> failures;
    const bool numberTaken = port.setCommPort(settings.intPortNumber);
    if (!numberTaken)
        failures.push_back(port.lastError());
    if (!port.setSettings(QString::fromLocal8Bit(settings.strPortSettings.c_str())))
        failures.push_back(port.lastError());
    // A refused number would leave some other port selected: that one is not ours to open.
    if (numberTaken && !port.open())
        failures.push_back(port.lastError());
    return failures;
}

bool applyPortBoxes(CommPort& port, SettingsRecord& settings, const PortBoxes& boxes)
{
    port.close();
    const std::optional<PortChoice> choice = parsePortBoxes(boxes);
    const bool numberTaken = choice && port.setCommPort(choice->number);
    if (numberTaken) {
        // Kept even if the port then refuses them: the boxes show them next time.
        settings.intPortNumber = choice->number;
        settings.lngBaudRate = choice->rate;
        settings.strParity = boxes[2].toLocal8Bit().toStdString();
        settings.intDataBits = choice->dataBits;
        settings.intStopBits = choice->stopBits;
    }
    // The new string first, then the opening: a choice meant for the device
    // just picked is never judged by the device it replaces.
    const QString inForce = port.settings();
    bool refused = !numberTaken || !port.setSettings(boxes[1] + ',' + boxes[2] + ',' + boxes[3] + ',' + boxes[4]);
    if (!port.open() && !refused && port.settingsRefusedByDevice()) {
        // The device is there but cannot take the choice: refused like a bad
        // string, and the line goes on with what was in force before.
        port.setSettings(inForce);
        port.open();
        refused = true;
    }
    settings.strPortSettings = port.settings().toLocal8Bit().toStdString();
    return refused;
}

} // namespace korvanteslin
