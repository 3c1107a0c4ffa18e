#include "serial/device_path.h"

#include <QDir>
#include <QFileInfo>

namespace korvanteslin {
namespace {

QString commName(int number)
{
    return QStringLiteral("COM%1").arg(number);
}

// QFileInfo::exists() follows links, so a dangling link needs its own test.
bool entryExists(const QFileInfo& entry)
{
    return entry.exists() || entry.isSymLink();
}

} // namespace

QString commEntryPath(int number, const QString& deviceFolder)
{
    if (deviceFolder.isEmpty())
        return {};
    const QFileInfo entry(QDir(deviceFolder).filePath(commName(number)));
    return entryExists(entry) ? entry.absoluteFilePath() : QString();
}

QString commDevicePath(int number, const QString& deviceFolder)
{
    const QString entry = commEntryPath(number, deviceFolder);
    if (!entry.isEmpty()) {
        // Two links named COM2 in different folders must not share a lock
        // file unless they really lead to the same device.
        const QString target = QFileInfo(entry).canonicalFilePath();
        return target.isEmpty() ? entry : target;
    }
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

bool isPseudoTerminal(const QString& devicePath)
{
    return devicePath.startsWith(QLatin1String("/dev/pts/"));
}

} // namespace korvanteslin
