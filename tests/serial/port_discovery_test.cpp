#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "serial/port_discovery.h"

using namespace korvanteslin;

TEST(PortDiscovery, TheMapTellsWhereEachNumberLeadsAndWhatExists)
{
    QTemporaryDir folder;
    const QString device = folder.filePath(QStringLiteral("adapter"));
    QFile(device).open(QIODevice::WriteOnly);
    QFile::link(device, folder.filePath(QStringLiteral("COM5")));

    const QStringList withLink = portMapText(folder.path(), {QStringLiteral("/dev/ttyUSB0")}).split('\n');
    ASSERT_EQ(withLink.size(), 14);
    EXPECT_EQ(withLink[4], QStringLiteral("COM5 \u2192 ") + device + QStringLiteral(" (linked in the data folder)"));
    EXPECT_TRUE(withLink[1].startsWith(QStringLiteral("COM2 \u2192 /dev/ttyS1"))) << withLink[1].toStdString();
    EXPECT_EQ(withLink.last(), QStringLiteral("Serial devices on this machine: /dev/ttyUSB0"));

    const QStringList withoutFolder = portMapText(QString(), {}).split('\n');
    EXPECT_TRUE(withoutFolder[4].startsWith(QStringLiteral("COM5 \u2192 /dev/ttyS4")));
    EXPECT_EQ(withoutFolder.last(), QStringLiteral("No serial devices found on this machine."));
}

TEST(PortDiscovery, ARefusedDeviceSaysHowToGetAccess)
{
    const QString reason = QStringLiteral("Permission denied");
    EXPECT_EQ(openFailureReason(reason, false), reason) << "a busy or missing device keeps the system's words";
    const QString denied = openFailureReason(reason, true);
    EXPECT_TRUE(denied.startsWith(reason));
    EXPECT_TRUE(denied.contains(QStringLiteral("dialout"))) << denied.toStdString();
}
