#include "serial/comm_port.h"

#include "com_folder.h"
#include "event_loop.h"
#include "pty_pair.h"
#include "qstring_printer.h"

#include <QSerialPort>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <termios.h>

namespace korvanteslin {
namespace {

using test::ComFolder;
using test::PtyPair;

class CommPortTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.link(2, pty.slavePath()));
        port.setDeviceFolder(folder.path());
        ASSERT_TRUE(port.setCommPort(2));
    }

    speed_t lineSpeed() const
    {
        termios tio{};
        ::tcgetattr(pty.slave(), &tio);
        return ::cfgetospeed(&tio);
    }

    ComFolder folder;
    PtyPair pty;
    CommPort port;
};

TEST_F(CommPortTest, SendsFramesByteExactAndInOrder)
{
    QSignalSpy changes(&port, &CommPort::openChanged);
    ASSERT_TRUE(port.open()) << port.lastError().toStdString();
    EXPECT_TRUE(port.isOpen());

    // 22 frames of 12 bytes carry every byte value, line feeds and XON/XOFF
    // included: nothing may be translated or swallowed on the way.
    QByteArray sent;
    for (int frame = 0; frame < 22; ++frame) {
        QByteArray bytes;
        for (int i = 0; i < 12; ++i)
            bytes.append(static_cast<char>((frame * 12 + i) % 256));
        ASSERT_TRUE(port.output(bytes)) << port.lastError().toStdString();
        sent += bytes;
    }
    EXPECT_EQ(pty.read(sent.size(), 2000), sent);

    // Whatever the receiver says is never taken in, so it cannot pile up.
    pty.send("chatter from the receiver");
    test::eventLoopWakeups(100);
    EXPECT_EQ(port.findChild<QSerialPort*>()->bytesAvailable(), 0);

    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.output("after"));
    EXPECT_TRUE(port.lastError().startsWith(QStringLiteral("COM2 (") + pty.slavePath()));
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes[0][0].toBool(), true);
    EXPECT_EQ(changes[1][0].toBool(), false);
    EXPECT_EQ(port.droppedFrames(), 0u);
}

TEST_F(CommPortTest, RefusedSettingsKeepThePreviousOnesOnTheOpenLine)
{
    // A pseudo-terminal has no framing: parity, 7 bits and 1.5 stop bits must
    // not keep it from opening.
    ASSERT_TRUE(port.setSettings(QStringLiteral("19200,E,7,1.5")));
    ASSERT_TRUE(port.open()) << port.lastError().toStdString();
    EXPECT_EQ(lineSpeed(), speed_t{B19200});

    const struct {
        const char* text;
        bool accepted;
        const char* inForce;
        speed_t speed;
    } rows[] = {
        {"115200,o,8,2", true, "115200,o,8,2", B115200},
        {"115200,q,8,1", false, "115200,o,8,2", B115200},
        {"1200,n,8,1,", false, "115200,o,8,2", B115200},
        {"4000001,n,8,1", false, "115200,o,8,2", B115200},
        {"2400,M,5,1", true, "2400,m,5,1", B2400},
        {"2400,n,8,1.25", false, "2400,m,5,1", B2400},
        {"300,s,6,2", true, "300,s,6,2", B300},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(port.setSettings(QString::fromLatin1(row.text)), row.accepted);
        EXPECT_EQ(port.settings(), QString::fromLatin1(row.inForce));
        EXPECT_EQ(lineSpeed(), row.speed);
        if (!row.accepted) {
            EXPECT_TRUE(port.lastError().contains(QString::fromLatin1(row.text)));
        }
    }
    EXPECT_TRUE(port.isOpen());
}

TEST_F(CommPortTest, PortNumberIsFixedWhileOpenAndStartsAtOne)
{
    EXPECT_FALSE(port.setCommPort(0));
    EXPECT_FALSE(port.lastError().isEmpty());
    EXPECT_EQ(port.commPort(), 2);
    EXPECT_EQ(port.devicePath(), pty.slavePath());

    ASSERT_TRUE(port.open()) << port.lastError().toStdString();
    EXPECT_FALSE(port.setCommPort(3));
    EXPECT_EQ(port.commPort(), 2);

    port.close();
    EXPECT_TRUE(port.setCommPort(3));
    EXPECT_EQ(port.devicePath(), QStringLiteral("/dev/ttyS2"));
}

TEST_F(CommPortTest, FailedOpeningNamesTheDeviceAndLeavesThePortClosed)
{
    CommPort holder;
    holder.setDeviceFolder(folder.path());
    holder.setCommPort(2);
    ASSERT_TRUE(holder.open()) << holder.lastError().toStdString();
    ASSERT_TRUE(folder.link(3, folder.path() + QStringLiteral("/nothing-here")));

    const struct {
        int number;
        QString device;
    } rows[] = {
        {2, pty.slavePath()},                   // in use by the holder
        {3, folder.entry(3) + " -> " + folder.path() + "/nothing-here"}, // dangling: both ends named
        {200, QStringLiteral("/dev/ttyS199")}, // no entry, no such device
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number);
        CommPort other;
        other.setDeviceFolder(folder.path());
        ASSERT_TRUE(other.setCommPort(row.number));
        QSignalSpy changes(&other, &CommPort::openChanged);
        EXPECT_FALSE(other.open());
        EXPECT_FALSE(other.isOpen());
        EXPECT_TRUE(changes.isEmpty());
        const QString prefix = QStringLiteral("COM%1 (%2): ").arg(row.number).arg(row.device);
        EXPECT_TRUE(other.lastError().startsWith(prefix)) << other.lastError().toStdString();
        EXPECT_GT(other.lastError().size(), prefix.size());
    }
    EXPECT_TRUE(holder.isOpen());
}

} // namespace
} // namespace korvanteslin
