#include "serial/comm_port.h"

#include "bound_device.h"
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
#include <memory>
#include <vector>

#include <termios.h>
#include <unistd.h>

using namespace korvanteslin;
using test::BoundDevice;
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
    static tcflag_t controlFlags(const PtyPair& line)
    {
        termios tio{};
        ::tcgetattr(line.slave(), &tio);
        return tio.c_cflag;
    }
    // What another program leaves on a line it used last.
    static void leaveFlags(const PtyPair& line, tcflag_t flags)
    {
        termios tio{};
        ::tcgetattr(line.slave(), &tio);
        tio.c_cflag |= flags;
        ::tcsetattr(line.slave(), TCSANOW, &tio);
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

TEST_F(CommPortTest, ADanglingLinkIsNamedWithBothEnds)
{
    ASSERT_TRUE(link(3, folder.path() + QStringLiteral("/nothing-here")));
    CommPort other;
    attach(other, 3);
    EXPECT_FALSE(other.open());
    const QString prefix = QStringLiteral("COM3 (%1 -> %2/nothing-here): ").arg(entry(3), folder.path());
    EXPECT_TRUE(other.lastError().startsWith(prefix)) << other.lastError().toStdString();
    EXPECT_GT(other.lastError().size(), prefix.size());
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

TEST_F(CommPortTest, EveryParityChangeLeavesOnlyTheNewParitysBitsOnTheLine)
{
    // A pseudo-terminal keeps 8 bits and no parity whatever it is asked, but
    // it does report the odd, stick and stop bits it was given.
    const auto expected = [](char parity, char stopBits) {
        tcflag_t flags = stopBits == '2' ? CSTOPB : 0;
        if (parity == 'o' || parity == 'm')
            flags |= PARODD;
        if (parity == 's' || parity == 'm')
            flags |= CMSPAR;
        return flags;
    };
    const QString parities = QStringLiteral("neosm");
    for (const bool reopened : {false, true})
        for (const QChar from : parities)
            for (const QChar to : parities)
                for (const char stopBits : {'1', '2'}) {
                    const QString before = QStringLiteral("9600,%1,8,%2").arg(from).arg(stopBits == '1' ? '2' : '1');
                    const QString after = QStringLiteral("9600,%1,8,%2").arg(to).arg(stopBits);
                    SCOPED_TRACE((before + " then " + after + (reopened ? " on reopening" : " on the open line")).toStdString());
                    ASSERT_TRUE(port.setSettings(before));
                    ASSERT_TRUE(port.open()) << port.lastError().toStdString();
                    if (reopened)
                        port.close();
                    ASSERT_TRUE(port.setSettings(after));
                    ASSERT_TRUE(port.open()) << port.lastError().toStdString();
                    EXPECT_EQ(controlFlags(pty) & (PARODD | CMSPAR | CSTOPB), expected(to.toLatin1(), stopBits));
                    port.close();
                    // The line as the next program finds it: whatever the first setting left.
                    leaveFlags(pty, expected(from.toLatin1(), '2'));
                }
}

TEST_F(CommPortTest, AFramedDeviceIsJudgedOnWhatItReportsBack)
{
    // Bound outside /dev/pts, a pseudo-terminal counts as a real device whose
    // framing must hold; it keeps 8 bits and no parity whatever it is asked.
    PtyPair line;
    BoundDevice device(line.slavePath(), folder.path() + QStringLiteral("/ttyBound"));
    if (!device.skipReason().empty())
        GTEST_SKIP() << device.skipReason();
    ASSERT_TRUE(link(3, device.path()));
    CommPort framed;
    attach(framed, 3);

    const struct {
        const char* settings;
        bool opens;
        const char* refusal;
    } rows[] = {
        {"9600,n,8,1", true, ""},
        {"9600,n,8,2", true, ""},
        {"9600,e,8,1", false, "the device does not take parity 'e'"},
        {"9600,n,7,1", false, "the device does not take 7 data bits"},
        {"9600,n,8,1.5", false, "this system cannot set a line to 9600,n,8,1.5"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.settings);
        // Another program used odd and stick parity last: that must not stand
        // in the way of a line without parity.
        leaveFlags(line, PARODD | CMSPAR | CSTOPB);
        ASSERT_TRUE(framed.setSettings(QString::fromLatin1(row.settings)));
        EXPECT_EQ(framed.open(), row.opens) << framed.lastError().toStdString();
        EXPECT_EQ(framed.settingsRefusedByDevice(), !row.opens);
        if (row.opens)
            EXPECT_EQ(controlFlags(line) & (PARODD | CMSPAR), tcflag_t{0});
        else
            EXPECT_EQ(framed.lastError(), QStringLiteral("COM3 (%1): %2").arg(device.path(), row.refusal));
        framed.close();
    }
}

TEST_F(CommPortTest, ALostTerminalIsNeverFollowedToAnotherProgramsTerminalWithItsNumber)
{
    auto lost = std::make_unique<PtyPair>();
    const QString number = lost->slavePath();
    ASSERT_TRUE(link(3, number));
    CommPort watched;
    attach(watched, 3);
    ASSERT_TRUE(watched.open()) << watched.lastError().toStdString();
    QSignalSpy changes(&watched, &CommPort::openChanged);
    lost->release();
    ASSERT_TRUE(changes.wait(3000));
    lost.reset();

    // The number goes to the next terminal anyone opens; keep opening until it is ours again.
    std::vector<std::unique_ptr<PtyPair>> others;
    std::unique_ptr<PtyPair> reused;
    while (!reused && others.size() < 64) {
        auto next = std::make_unique<PtyPair>();
        (next->slavePath() == number ? reused : others.emplace_back()) = std::move(next);
    }
    if (!reused)
        GTEST_SKIP() << number.toStdString() << " went to another program on this machine";

    // Three retry periods: the link still names the number, but nothing may arrive.
    EXPECT_FALSE(changes.wait(3500));
    EXPECT_FALSE(watched.isOpen());
    EXPECT_FALSE(watched.output(greeting));
    EXPECT_TRUE(reused->read(1, 50).isEmpty());

    // The operator links it again: now it is meant.
    ASSERT_TRUE(link(3, number));
    ASSERT_TRUE(changes.wait(3000));
    ASSERT_TRUE(watched.output(greeting)) << watched.lastError().toStdString();
    EXPECT_EQ(reused->read(greeting.size(), 2000), greeting);
}

TEST_F(CommPortTest, ALostRealDeviceComesBackByItself)
{
    auto first = std::make_unique<PtyPair>();
    PtyPair second;
    BoundDevice device(first->slavePath(), folder.path() + QStringLiteral("/ttyBound"));
    if (!device.skipReason().empty())
        GTEST_SKIP() << device.skipReason();
    ASSERT_TRUE(link(3, device.path()));
    CommPort watched;
    attach(watched, 3);
    ASSERT_TRUE(watched.open()) << watched.lastError().toStdString();
    QSignalSpy changes(&watched, &CommPort::openChanged);
    first->release();
    ASSERT_TRUE(changes.wait(3000));

    // Plugged in again at the same place, link untouched.
    ASSERT_TRUE(device.rebind(second.slavePath())) << device.skipReason();
    ASSERT_TRUE(changes.wait(3000));
    ASSERT_TRUE(watched.output(greeting)) << watched.lastError().toStdString();
    EXPECT_EQ(second.read(greeting.size(), 2000), greeting);
}

TEST_F(CommPortTest, APortHeldByAnotherProgramSaysWhichInTheInterfaceLanguage)
{
    QFile comm(QStringLiteral("/proc/self/comm"));
    ASSERT_TRUE(comm.open(QIODevice::ReadOnly));
    const QString name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    ASSERT_TRUE(port.open()) << port.lastError().toStdString();

    const struct {
        Language language;
        QString reason;
    } rows[] = {
        {Language::English, QStringLiteral("in use by another program: %1 (process %2)").arg(name).arg(::getpid())},
        {Language::Russian, QStringLiteral("занят другой программой: %1 (процесс %2)").arg(name).arg(::getpid())},
    };
    for (const auto& row : rows) {
        CommPort second;
        second.setLanguage(row.language);
        attach(second, 2);
        EXPECT_FALSE(second.open());
        EXPECT_EQ(second.lastError(), QStringLiteral("COM2 (%1): %2").arg(pty.slavePath(), row.reason));
    }
}

TEST_F(CommPortTest, FailuresAreWordedInTheInterfaceLanguage)
{
    const struct {
        Language language;
        const char* notAPort;
        const char* badSettings;
        const char* notOpen;
        const char* missing;
    } rows[] = {
        {Language::English, "COM0 is not a port: port numbers start at 1",
            "\"9600,x,8,1\" is not a valid port setting; expected rate,parity,data bits,stop bits such as 9600,n,8,1",
            "COM2 is not open", "COM200 (/dev/ttyS199): no such device"},
        {Language::Russian, "COM0 — не порт: номера портов начинаются с 1",
            "«9600,x,8,1» — недопустимые параметры порта; нужно: скорость,чётность,биты данных,стоповые биты, "
            "например 9600,n,8,1",
            "COM2 не открыт", "COM200 (/dev/ttyS199): нет такого устройства"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(kLanguageNames[std::size_t(row.language)]);
        port.setLanguage(row.language);
        EXPECT_FALSE(port.setCommPort(0));
        EXPECT_EQ(port.lastError(), QString::fromUtf8(row.notAPort));
        EXPECT_FALSE(port.setSettings(QStringLiteral("9600,x,8,1")));
        EXPECT_EQ(port.lastError(), QString::fromUtf8(row.badSettings));
        EXPECT_FALSE(port.output(greeting));
        EXPECT_EQ(port.lastError(), QString::fromUtf8(row.notOpen));
        CommPort missing;
        missing.setLanguage(row.language);
        attach(missing, 200);
        EXPECT_FALSE(missing.open());
        EXPECT_EQ(missing.lastError(), QString::fromUtf8(row.missing));
        // A device named for the run is named alone: the port number does not lead there.
        missing.setDeviceOverride(QStringLiteral("COM3"));
        EXPECT_FALSE(missing.open());
        EXPECT_EQ(missing.lastError(), QString::fromUtf8(row.missing).replace(QStringLiteral("COM200 (/dev/ttyS199)"), QStringLiteral("COM3")));
    }
}
