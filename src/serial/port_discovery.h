#pragma once

#include "emulation/names.h"

#include <QString>
#include <QStringList>

namespace korvanteslin {

// What the operator needs to pick a port number: the device each of COM1 to
// `highest` leads to on this machine (and whether a link in the data folder
// says so), then the serial devices the system reports. In the interface
// language `language` (0 English, 1 Russian).
QString portMapText(const QString& deviceFolder, const QStringList& availableDevices, Language language, int highest = 12);

// The serial devices the system reports, as device paths.
QStringList availableSerialDevices();

} // namespace korvanteslin
