#include "serial/port_discovery.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include "serial/device_path.h"

namespace korvanteslin {

QString portMapText(const QString& deviceFolder, const QStringList& availableDevices, int highest)
{
    QStringList lines;
    for (int number = 1; number <= highest; ++number) {
        const QString device = commDevicePath(number, deviceFolder);
        const bool linked = !deviceFolder.isEmpty()
            && QFileInfo(deviceFolder + QStringLiteral("/COM%1").arg(number)).isSymLink();
        QString line = QStringLiteral("COM%1 \u2192 %2").arg(number).arg(device);
        if (linked)
            line += QStringLiteral(" (linked in the data folder)");
        else if (!QFileInfo::exists(device))
            line += QStringLiteral(" (not present)");
        lines << line;
    }
    lines << QString();
    lines << (availableDevices.isEmpty() ? QStringLiteral("No serial devices found on this machine.")
                                         : QStringLiteral("Serial devices on this machine: ") + availableDevices.join(QStringLiteral(", ")));
    return lines.join(QLatin1Char('\n'));
}

QStringList availableSerialDevices()
{
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices << info.systemLocation();
    devices.sort();
    return devices;
}

QString openFailureReason(const QString& systemReason, bool accessDenied)
{
    if (!accessDenied)
        return systemReason;
#if defined(Q_OS_LINUX)
    return systemReason
        + QStringLiteral(". Serial devices belong to the \"dialout\" group: add yourself with "
                         "\"sudo adduser $USER dialout\", then log out and in again.");
#else
    return systemReason + QStringLiteral(". Ask for access to the device, or use another port.");
#endif
}

} // namespace korvanteslin
