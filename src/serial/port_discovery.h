#pragma once

#include <QString>
#include <QStringList>

namespace korvanteslin {

// What the operator needs to pick a port number: the device each of COM1 to
// `highest` leads to on this machine (and whether a link in the data folder
// says so), then the serial devices the system reports.
QString portMapText(const QString& deviceFolder, const QStringList& availableDevices, int highest = 12);

// The serial devices the system reports, as device paths.
QStringList availableSerialDevices();

// Why a device could not be opened, for the operator. When the system refused
// access, say how to get it, not only what the system said.
QString openFailureReason(const QString& systemReason, bool accessDenied);

} // namespace korvanteslin
