#include "serial/port_discovery.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include "serial/device_path.h"
#include "serial/wording.h"

namespace korvanteslin {
namespace {

const Wording linkedHere{" (linked in the data folder)", " (ссылка в папке данных)"};
const Wording notPresent{" (not present)", " (нет такого устройства)"};
const Wording noDevices{"No serial devices found on this machine.",
    "На этом компьютере не найдено последовательных портов."};
const Wording devicesHere{"Serial devices on this machine: ", "Последовательные порты этого компьютера: "};

} // namespace

QString portMapText(const QString& deviceFolder, const QStringList& availableDevices, Language language, int highest)
{
    QStringList lines;
    for (int number = 1; number <= highest; ++number) {
        const QString device = commDevicePath(number, deviceFolder);
        const bool linked = !deviceFolder.isEmpty()
            && QFileInfo(deviceFolder + QStringLiteral("/COM%1").arg(number)).isSymLink();
        QString line = QStringLiteral("COM%1 \u2192 %2").arg(number).arg(device);
        if (linked)
            line += worded(linkedHere, language);
        else if (!QFileInfo::exists(device))
            line += worded(notPresent, language);
        lines << line;
    }
    lines << QString();
    lines << (availableDevices.isEmpty() ? worded(noDevices, language)
                                         : worded(devicesHere, language) + availableDevices.join(QStringLiteral(", ")));
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

} // namespace korvanteslin
