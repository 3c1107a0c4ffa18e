#include "serial/device_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

#include <csignal>
#include <cerrno>

namespace korvanteslin {
namespace {

QStringList lockFileNames(const QString& device)
{
    QString underDev = device;
    if (underDev.startsWith(QLatin1String("/dev/")))
        underDev.remove(0, 5);
    underDev.replace(QLatin1Char('/'), QLatin1Char('_'));
    QStringList names{QStringLiteral("LCK..") + underDev};
    const QString plain = QStringLiteral("LCK..") + QFileInfo(device).fileName();
    if (plain != names.front())
        names << plain;
    return names;
}

std::optional<qint64> lockPid(const QByteArray& contents)
{
    bool ok = false;
    const qint64 text = contents.left(contents.indexOf('\n')).trimmed().toLongLong(&ok);
    if (ok && text > 0)
        return text;
    // The binary form is a bare native int, exactly four bytes. Its bytes may
    // be anything, a line break included (process 2753 is C1 0A 00 00), so it
    // is tried when the text form is not there; four bytes of digits read as
    // text name a number far above any process number a binary one could hold.
    if (contents.size() == 4) {
        qint32 binary = 0;
        std::memcpy(&binary, contents.constData(), sizeof binary);
        if (binary > 0)
            return binary;
    }
    return std::nullopt;
}

bool processAlive(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

} // namespace

QStringList standardLockFolders()
{
    return {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"), QStringLiteral("/var/lock/lockdev"),
        QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"),
        QStringLiteral("/tmp"), QStringLiteral("/var/tmp"), QDir::tempPath()};
}

std::optional<LockHolder> deviceLockHolder(const QString& device, const QStringList& lockFolders)
{
    const QStringList names = lockFileNames(device);
    for (const QString& folder : lockFolders) {
        for (const QString& name : names) {
            QFile lock(QDir(folder).filePath(name));
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            const auto pid = lockPid(lock.read(256));
            if (pid && processAlive(*pid))
                return LockHolder{*pid, processName(*pid)};
        }
    }
    return std::nullopt;
}

} // namespace korvanteslin
