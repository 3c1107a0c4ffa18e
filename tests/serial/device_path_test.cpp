#include "serial/device_path.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "qstring_printer.h"

#include <gtest/gtest.h>

namespace korvanteslin {
namespace {

TEST(CommDevicePath, FollowsComEntriesInTheFolderElseTtyS)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir dir(folder.path());
    const QString device = dir.filePath(QStringLiteral("device"));
    QFile(device).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(device, dir.filePath(QStringLiteral("hop"))));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("hop")), dir.filePath(QStringLiteral("COM2"))));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("COM3"))));
    QFile(dir.filePath(QStringLiteral("COM4"))).open(QIODevice::WriteOnly);
    const QString canonicalDevice = QFileInfo(device).canonicalFilePath();

    const struct {
        int number;
        QString folder;
        QString expected;
    } rows[] = {
        {1, QString(), QStringLiteral("/dev/ttyS0")},
        {2, QString(), QStringLiteral("/dev/ttyS1")},
        {2, folder.path(), canonicalDevice},                     // link to a link to the device
        {3, folder.path(), dir.absoluteFilePath(QStringLiteral("COM3"))}, // dangling: the link itself
        {4, folder.path(), QFileInfo(dir.filePath(QStringLiteral("COM4"))).canonicalFilePath()},
        {12, folder.path(), QStringLiteral("/dev/ttyS11")},        // no entry for it
        {2, dir.filePath(QStringLiteral("missing")), QStringLiteral("/dev/ttyS1")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(QStringLiteral("COM%1 in '%2'").arg(row.number).arg(row.folder).toStdString());
        EXPECT_EQ(commDevicePath(row.number, row.folder), row.expected);
    }
}

} // namespace
} // namespace korvanteslin
