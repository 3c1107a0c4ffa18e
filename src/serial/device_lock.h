#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace korvanteslin {

// A program that holds a device, as its lock file tells.
struct LockHolder {
    qint64 pid = 0;
    QString name; // from /proc/PID/comm; empty when it cannot be read
};

// The folders where programs leave LCK.. files for the devices they hold,
// in the order serial programs look for them.
QStringList standardLockFolders();

// The live process that a lock file in `lockFolders` names as holding
// `device`; nothing when there is no such file or its process is gone.
// Both the name the port library writes (the path below /dev/, slashes as
// underscores) and the plain device name other programs write are looked for,
// and both the text form of the process number and the old 4-byte binary form.
std::optional<LockHolder> deviceLockHolder(const QString& device, const QStringList& lockFolders = standardLockFolders());

} // namespace korvanteslin
