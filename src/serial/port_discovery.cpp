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

const Wording noSuchDevice{"no such device", "нет такого устройства"};
const Wording heldByProgram{"in use by another program", "занят другой программой"};
const Wording heldByProcess{"in use by another program: %1 (process %2)", "занят другой программой: %1 (процесс %2)"};
const Wording heldByPid{"in use by another program (process %1)", "занят другой программой (процесс %1)"};
const Wording accessHint{
    ". Serial devices belong to the \"dialout\" group: add yourself with \"sudo adduser $USER dialout\", "
    "then log out and in again.",
    ". Последовательные порты принадлежат группе «dialout»: добавьте себя в неё командой "
    "«sudo adduser $USER dialout», затем выйдите из системы и войдите снова."};

QString heldReason(const LockHolder& holder, Language language)
{
    if (holder.name.isEmpty())
        return worded(heldByPid, language).arg(holder.pid);
    return worded(heldByProcess, language).arg(holder.name).arg(holder.pid);
}

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

QString openFailureReason(const OpenFailure& failure, Language language)
{
    // A lock names its holder even when this user could not open the device
    // anyway: the holder is what stands in the way first.
    if (failure.holder)
        return heldReason(*failure.holder, language);
    if (failure.accessDenied)
        return failure.systemReason + worded(accessHint, language);
    if (failure.held)
        return worded(heldByProgram, language);
    if (failure.missing)
        return worded(noSuchDevice, language);
    return failure.systemReason;
}

} // namespace korvanteslin
