#include "serial/comm_port.h"

#include "pty_pair.h"
#include "qstring_printer.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

#include <termios.h>

using namespace korvanteslin;
using test::PtyPair;

namespace {

const QByteArray greeting = "back again\r\n";

// Runs the event loop for `ms` and counts its wake-ups: an idle loop sleeps
// until its next timer, one fed by a storm of socket events wakes thousands of times.
int eventLoopWakeups(int ms)
{
    int wakeups = 0;
    QEventLoop loop;
    const auto counter = QObject::connect(QAbstractEventDispatcher::instance(),
                                          &QAbstractEventDispatcher::awake, [&] { ++wakeups; });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(counter);
    return wakeups;
}

// A data folder whose COMN links point wherever the test needs, and COM2 on a pseudo-terminal.
class CommPortTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(link(2, pty.slavePath()));
        attach(port, 2);
    }

    QString entry(int number) const { return folder.path() + QStringLiteral("/COM%1").arg(number); }
    bool link(int number, const QString& target) const
    {
        QFile::remove(entry(number));
        return QFile::link(target, entry(number));
    }
    void attach(CommPort& other, int number) const
    {
        other.setDeviceFolder(folder.path());
        ASSERT_TRUE(other.setCommPort(number));
    }
    speed_t lineSpeed() const
    {
        termios tio{};
        ::tcgetattr(pty.slave(), &tio);
        return ::cfgetospeed(&tio);
    }

    QTemporaryDir folder;
    PtyPair pty;
    CommPort port;
};

} // namespace

TEST_F(CommPortTest, SendsEveryByteInOrder)
{
    ASSERT_TRUE(port.open()) << port.lastError().toStdString();

    // Every byte value, line feeds and XON/XOFF included, in 12-byte frames:
    // nothing may be translated or swallowed on the way.
    QByteArray sent;
    for (int i = 0; i < 264; ++i)
        sent.append(static_cast<char>(i % 256));
    for (qsizetype at = 0; at < sent.size(); at += 12)
        ASSERT_TRUE(port.output(sent.mid(at, 12))) << port.lastError().toStdString();
    EXPECT_EQ(pty.read(sent.size(), 2000), sent);

    port.close();
    EXPECT_FALSE(port.output("after"));
}

TEST_F(CommPortTest, SettingsStringsAreReadBackCanonicallyAndARefusedOneKeepsThePrevious)
{
    // A pseudo-terminal has no framing: parity, 7 bits and 1.5 stop bits must
    // not keep it from opening.
    ASSERT_TRUE(port.setSettings(QStringLiteral("19200,E,7,1.5")));
    ASSERT_TRUE(port.open()) << port.lastError().toStdString();
    EXPECT_EQ(port.settings(), "19200,e,7,1.5");
    EXPECT_EQ(lineSpeed(), speed_t{B19200});

    const struct {
        const char* text;
        const char* canonical;
        speed_t speed;
    } accepted[] = {
        {"115200,o,8,2", "115200,o,8,2", B115200},
        {"2400,M,5,1", "2400,m,5,1", B2400},
        {"009600,N,8,1", "9600,n,8,1", B9600},
        {" 1200 , s , 6 , 2 ", "1200,s,6,2", B1200},
        {"50,o,8,1", "50,o,8,1", B50},
    };
    const char* refused[] = {"115200,q,8,1", "9600,n,8", "1200,n,8,1,", "49,n,8,1", "4000001,n,8,1",
        "99999999999,n,8,1", "+9600,n,8,1", "9600,no,8,1", "9600,n,4,1", "9600,n,9,1", "9600,n,08,1", "9600,n,8,0",
        "9600,n,8,1.0"};
    for (const auto& row : accepted) {
        SCOPED_TRACE(row.text);
        EXPECT_TRUE(port.setSettings(QString::fromLatin1(row.text)));
        for (const char* text : refused) {
            EXPECT_FALSE(port.setSettings(QString::fromLatin1(text))) << text;
            EXPECT_TRUE(port.lastError().contains(QString::fromLatin1(text)));
        }
        EXPECT_EQ(port.settings(), QString::fromLatin1(row.canonical)) << "refused strings keep what was in force";
        EXPECT_EQ(lineSpeed(), row.speed);
    }
    EXPECT_TRUE(port.isOpen());
}

TEST_F(CommPortTest, FailedOpeningNamesTheDeviceAndLeavesThePortClosed)
{
    ASSERT_TRUE(link(3, folder.path() + QStringLiteral("/nothing-here")));
    const struct {
        int number;
        QString device;
    } rows[] = {
        {3, entry(3) + " -> " + folder.path() + "/nothing-here"},      // dangling: both ends named
        {200, QStringLiteral("/dev/ttyS199")},                         // no entry, no such device
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number);
        CommPort other;
        attach(other, row.number);
        EXPECT_FALSE(other.open());
        const QString prefix = QStringLiteral("COM%1 (%2): ").arg(row.number).arg(row.device);
        EXPECT_TRUE(other.lastError().startsWith(prefix)) << other.lastError().toStdString();
        EXPECT_GT(other.lastError().size(), prefix.size());
    }
}

TEST_F(CommPortTest, ALostLineClosesOnceQuietlyAndReopensWhenTheLinkIsRepointed)
{
    for (const bool bytesPending : {false, true}) {
        SCOPED_TRACE(bytesPending ? "bytes still pending in the port" : "idle line");
        PtyPair lost, replacement;
        ASSERT_TRUE(link(3, lost.slavePath()));
        CommPort watched;
        attach(watched, 3);
        ASSERT_TRUE(watched.open()) << watched.lastError().toStdString();
        auto* serial = watched.findChild<QSerialPort*>();
        QSignalSpy errors(serial, &QSerialPort::errorOccurred);
        QSignalSpy changes(&watched, &CommPort::openChanged);

        // Unsent bytes make QSerialPort retry the dead line on every pass.
        if (bytesPending)
            serial->write("pending");
        lost.closeMaster();
        ASSERT_TRUE(changes.wait(3000));
        EXPECT_FALSE(changes[0][0].toBool());
        EXPECT_LT(eventLoopWakeups(300), 50) << "no storm of events on the dead line";
        EXPECT_EQ(changes.size(), 1);
        EXPECT_LE(std::count_if(errors.begin(), errors.end(), [](const QList<QVariant>& error) {
            const auto code = error[0].value<QSerialPort::SerialPortError>();
            return code == QSerialPort::ResourceError || code == QSerialPort::WriteError;
        }), 1);
        EXPECT_TRUE(watched.lastError().startsWith(QStringLiteral("COM3 (%1): ").arg(lost.slavePath())));
        EXPECT_FALSE(watched.output(greeting));

        ASSERT_TRUE(link(3, replacement.slavePath()));
        ASSERT_TRUE(changes.wait(3000));
        EXPECT_TRUE(changes.last()[0].toBool());
        ASSERT_TRUE(watched.output(greeting)) << watched.lastError().toStdString();
        EXPECT_EQ(replacement.read(greeting.size(), 2000), greeting);
    }
}

TEST_F(CommPortTest, OnlyALossTheProgramLeftAloneIsReopenedByItself)
{
    PtyPair lost;
    CommPort failedToReopen;
    attach(failedToReopen, 3);
    ASSERT_TRUE(link(3, lost.slavePath()));
    ASSERT_TRUE(port.open() && failedToReopen.open());
    pty.closeMaster();
    lost.closeMaster();
    EXPECT_FALSE(port.output(greeting) || failedToReopen.output(greeting)); // both notice the loss at once
    port.close();
    ASSERT_TRUE(link(3, folder.path() + QStringLiteral("/nowhere")));
    EXPECT_FALSE(failedToReopen.open());

    // The devices come back; a retry would find them within a second.
    PtyPair back[2];
    ASSERT_TRUE(link(2, back[0].slavePath()) && link(3, back[1].slavePath()));
    eventLoopWakeups(1500);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(failedToReopen.isOpen());
}

TEST_F(CommPortTest, AStalledReceiverLosesWholeFramesOnly)
{
    ASSERT_TRUE(port.open()) << port.lastError().toStdString();
    const auto* serial = port.findChild<QSerialPort*>();

    // Numbered 12-byte frames into a line nobody reads, until it has been
    // refusing frames for a while; at most one frame is ever pending.
    QByteArray sent;
    qsizetype attempts = 0;
    for (; port.droppedFrames() < 100 && attempts < 200'000; ++attempts) {
        const QByteArray frame = '\x02' + QByteArray::number(attempts).rightJustified(9, '0') + "\r\n";
        if (port.output(frame))
            sent += frame;
        ASSERT_LE(serial->bytesToWrite(), frame.size());
    }
    ASSERT_EQ(port.droppedFrames(), 100u);
    EXPECT_EQ(sent.size() / 12 + 100, attempts);

    // What finally arrives is exactly the frames that were accepted, whole.
    const QByteArray received = pty.read(sent.size(), 5000);
    EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size() << " bytes";
    EXPECT_TRUE(port.output(greeting)) << port.lastError().toStdString();
}
