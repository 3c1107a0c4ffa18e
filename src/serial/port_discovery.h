#pragma once

#include "emulation/names.h"
#include "serial/device_lock.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace korvanteslin {

// What the operator needs to pick a port number: the device each of COM1 to
// `highest` leads to on this machine (and whether a link in the data folder
// says so), then the serial devices the system reports. In the interface
// language `language` (0 English, 1 Russian).
QString portMapText(const QString& deviceFolder, const QStringList& availableDevices, Language language, int highest = 12);

// The serial devices the system reports, as device paths.
QStringList availableSerialDevices();

// What is known about a device that would not open.
struct OpenFailure {
    QString systemReason;              // the system's own words
    bool missing = false;              // there is no such device
    bool held = false;                 // the system says another program holds it
    bool accessDenied = false;         // this user may not write to it
    std::optional<LockHolder> holder;  // who holds it, when a lock file tells
};

// Why a device could not be opened, for the operator, in `language`. A device
// held by another program says so (and by which process, when known); when
// the system refused access, say how to get it, not only what it said.
QString openFailureReason(const OpenFailure& failure, Language language);

} // namespace korvanteslin
