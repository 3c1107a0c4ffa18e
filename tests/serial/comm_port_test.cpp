#include "serial/comm_port.h"

#include "bound_device.h"
#include "line_helpers.h"
#include "pty_pair.h"
#include "qstring_printer.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include <termios.h>
#include <unistd.h>

using namespace korvanteslin;
using namespace korvanteslin::test;

namespace {

// Why the port's last operation failed, for a failing assertion's message.
std::string said(const CommPort& port)
{
    return wordPortFailure(port.lastError(), Language::English).toStdString();
}

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

termios lineOf(const PtyPair& line)
{
    termios tio{};
    ::tcgetattr(line.slave(), &tio);
    return tio;
}

// What another program that used the line last leaves there.
void leaveOddStickParity(const PtyPair& line)
{
    termios left = lineOf(line);
    left.c_cflag |= PARODD | CMSPAR | CSTOPB;
    ::tcsetattr(line.slave(), TCSANOW, &left);
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

    QTemporaryDir folder;
    PtyPair pty;
    CommPort port;
};

} // namespace

TEST_F(CommPortTest, SendsWholeFramesUntranslatedAndDropsTheRestWhenTheLineStalls)
{
    ASSERT_TRUE(port.open()) << said(port);
    const QByteArray all = everyByte();
    for (qsizetype at = 0; at < all.size(); at += 12)
        ASSERT_TRUE(port.write(sv(all.mid(at, 12)))) << said(port);
    EXPECT_EQ(pty.read(all.size(), 2000), all);

    // Into a line nobody reads, until it has been refusing frames for a
    // while: at most one frame is ever pending.
    const auto* serial = port.findChild<QSerialPort*>();
    QByteArray sent;
    int attempts = 0;
    for (; port.droppedFrames() < 100 && attempts < 200'000; ++attempts) {
        if (port.write(sv(frame(attempts))))
            sent += frame(attempts);
        ASSERT_LE(serial->bytesToWrite(), 12);
    }
    ASSERT_EQ(port.droppedFrames(), 100u);
    EXPECT_EQ(sent.size() / 12 + 100, attempts);
    const QByteArray received = pty.read(sent.size(), 5000);
    EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size() << " bytes";
    EXPECT_TRUE(port.write(sv(greeting))) << said(port);
}

// A frame in pieces goes on the line whole; one under way when the port is
// closed and opened again does not go on to the line opened next.
TEST_F(CommPortTest, AFrameInPiecesIsWholeAndEndsWithThePortItStartedOn)
{
    ASSERT_TRUE(port.open()) << said(port);
    const QByteArray one = frame(1);
    for (std::size_t at = 0; at < 12; at += 5)
        ASSERT_TRUE(port.writePiece({sv(one), at, std::min<std::size_t>(at + 5, 12)})) << said(port);
    EXPECT_EQ(pty.read(12, 2000), one);

    EXPECT_TRUE(port.writePiece({sv(one), 0, 5}));
    port.close();
    ASSERT_TRUE(port.open()) << said(port);
    EXPECT_FALSE(port.writePiece({sv(one), 5, 12}));
    EXPECT_TRUE(port.write(sv(greeting)));
    EXPECT_EQ(pty.read(5 + greeting.size(), 2000), one.left(5) + greeting);
}

// A pseudo-terminal has no framing (it keeps 8 bits and no parity), so every
// string opens; but it reports back the odd, stick and stop bits it was given.
TEST_F(CommPortTest, SettingsGoOnTheLineAtOpeningAndAtOnceWhileOpenLeavingNoOldParityBits)
{
    const struct {
        const char* settings;
        speed_t speed;
        tcflag_t flags;
    } rows[] = {
        {"19200,e,7,1.5", B19200, 0},
        {"115200,m,8,2", B115200, PARODD | CMSPAR | CSTOPB},
        {"2400,s,5,1", B2400, CMSPAR},
        {"50,n,8,1", B50, 0},
        {"9600,o,6,2", B9600, PARODD | CSTOPB},
    };
    for (const bool reopened : {false, true})
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.settings) + (reopened ? " at opening" : " while open"));
            if (reopened) {
                port.close();
                leaveOddStickParity(pty);
            }
            ASSERT_TRUE(port.setSettings(QString::fromLatin1(row.settings)));
            ASSERT_TRUE(port.open()) << said(port);
            termios line = lineOf(pty);
            EXPECT_EQ(line.c_cflag & (PARODD | CMSPAR | CSTOPB), row.flags);
            EXPECT_EQ(::cfgetospeed(&line), row.speed);
            EXPECT_FALSE(port.setSettings(QStringLiteral("9600,q,8,1")));
            EXPECT_EQ(port.settings(), QString::fromLatin1(row.settings)) << "a refused string keeps what was in force";
        }
}

// Bound outside /dev/pts, a pseudo-terminal counts as a real device: its
// framing must hold (it keeps 8 bits and no parity whatever it is asked), and
// once lost it comes back by itself, with no new link.
TEST_F(CommPortTest, ARealDeviceIsJudgedOnWhatItReportsBackAndComesBackByItself)
{
    auto first = std::make_unique<PtyPair>();
    PtyPair second;
    BoundDevice device(first->slavePath(), folder.path() + QStringLiteral("/ttyBound"));
    if (!device.skipReason().empty())
        GTEST_SKIP() << device.skipReason();
    ASSERT_TRUE(link(3, device.path()));
    CommPort framed;
    attach(framed, 3);
    const std::pair<const char*, const char*> rows[] = {// settings, and the refusal (none: it opens)
        {"9600,n,8,2", nullptr},
        {"9600,e,8,1", "the device does not take parity 'e'"},
        {"9600,n,7,1", "the device does not take 7 data bits"},
        {"9600,n,8,1.5", "this system cannot set a line to 9600,n,8,1.5"},
        {"9600,n,8,1", nullptr},
    };
    for (const auto& [settings, refusal] : rows) {
        SCOPED_TRACE(settings);
        framed.close();
        leaveOddStickParity(*first);
        ASSERT_TRUE(framed.setSettings(QString::fromLatin1(settings)));
        EXPECT_EQ(framed.open(), !refusal) << said(framed);
        EXPECT_EQ(framed.settingsRefusedByDevice(), bool(refusal));
        if (refusal) {
            EXPECT_EQ(wordPortFailure(framed.lastError(), Language::English), QStringLiteral("COM3 (%1): %2").arg(device.path(), refusal));
        }
    }

    QSignalSpy changes(&framed, &CommPort::openChanged);
    first->release();
    ASSERT_TRUE(changes.wait(3000));
    ASSERT_TRUE(device.rebind(second.slavePath())) << device.skipReason();
    ASSERT_TRUE(changes.wait(3000));
    ASSERT_TRUE(framed.write(sv(greeting))) << said(framed);
    EXPECT_EQ(second.read(greeting.size(), 2000), greeting);
}

TEST_F(CommPortTest, ALostLineClosesOnceQuietlyAndReopensWhenTheLinkIsRepointed)
{
    enum class Found { ByTheWatch, WithBytesPending, ByAFrame };
    for (const Found found : {Found::ByTheWatch, Found::WithBytesPending, Found::ByAFrame}) {
        SCOPED_TRACE(int(found));
        PtyPair lost, replacement;
        ASSERT_TRUE(link(3, lost.slavePath()));
        CommPort watched;
        attach(watched, 3);
        ASSERT_TRUE(watched.open()) << said(watched);
        QSignalSpy changes(&watched, &CommPort::openChanged);

        // Unsent bytes make QSerialPort retry the dead line on every pass.
        if (found == Found::WithBytesPending)
            watched.findChild<QSerialPort*>()->write("pending");
        lost.closeMaster();
        if (found == Found::ByAFrame) {
            EXPECT_FALSE(watched.write(sv(greeting)));
            EXPECT_TRUE(wordPortFailure(watched.lastError(), Language::English).endsWith(QStringLiteral("the device is gone")));
        }
        ASSERT_TRUE(changes.size() == 1 || changes.wait(3000));
        EXPECT_FALSE(changes[0][0].toBool());
        EXPECT_LT(eventLoopWakeups(300), 50) << "no storm of events on the dead line";
        EXPECT_EQ(changes.size(), 1);
        EXPECT_TRUE(wordPortFailure(watched.lastError(), Language::English).startsWith(QStringLiteral("COM3 (%1): ").arg(lost.slavePath())));

        ASSERT_TRUE(link(3, replacement.slavePath()));
        ASSERT_TRUE(changes.wait(3000));
        EXPECT_TRUE(changes.last()[0].toBool());
        ASSERT_TRUE(watched.write(sv(greeting))) << said(watched);
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
    EXPECT_FALSE(port.write(sv(greeting)) || failedToReopen.write(sv(greeting))); // both notice the loss at once
    port.close();
    ASSERT_TRUE(link(3, folder.path() + QStringLiteral("/nowhere")));
    EXPECT_FALSE(failedToReopen.open());

    // The devices come back; a retry would find them within a second.
    PtyPair back[2];
    ASSERT_TRUE(link(2, back[0].slavePath()) && link(3, back[1].slavePath()));
    eventLoopWakeups(1500);
    EXPECT_FALSE(port.isOpen() || failedToReopen.isOpen());
}

TEST_F(CommPortTest, ALostTerminalIsNeverFollowedToAnotherProgramsTerminalWithItsNumber)
{
    auto lost = std::make_unique<PtyPair>();
    const QString number = lost->slavePath();
    ASSERT_TRUE(link(3, number));
    CommPort watched;
    attach(watched, 3);
    ASSERT_TRUE(watched.open()) << said(watched);
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
    EXPECT_FALSE(watched.write(sv(greeting)));
    EXPECT_TRUE(reused->read(1, 50).isEmpty());

    // The operator links it again: now it is meant.
    ASSERT_TRUE(link(3, number));
    ASSERT_TRUE(changes.wait(3000));
    ASSERT_TRUE(watched.write(sv(greeting))) << said(watched);
    EXPECT_EQ(reused->read(greeting.size(), 2000), greeting);
}

TEST_F(CommPortTest, EveryFailureIsWordedInTheInterfaceLanguage)
{
    ASSERT_TRUE(port.open()) << said(port); // COM2 is held by this program from here on
    ASSERT_TRUE(link(3, folder.path() + QStringLiteral("/nothing-here")));
    const QString held = QStringLiteral("COM2 (%1): ").arg(pty.slavePath());
    const QString dangling = QStringLiteral("COM3 (%1 -> %2/nothing-here): ").arg(entry(3), folder.path());
    const struct {
        std::function<bool(CommPort&)> fails;
        QString english;
        QString russian;
    } rows[] = {
        {[](CommPort& p) { return p.setCommPort(0); }, QStringLiteral("COM0 is not a port: port numbers start at 1"),
            QStringLiteral("COM0 — не порт: номера портов начинаются с 1")},
        {[](CommPort& p) { return p.setSettings(QStringLiteral("9600,x,8,1")); },
            QStringLiteral("\"9600,x,8,1\" is not a valid port setting; expected rate,parity,data bits,stop bits "
                           "such as 9600,n,8,1"),
            QStringLiteral("«9600,x,8,1» — недопустимые параметры порта; нужно: скорость,чётность,биты данных,"
                           "стоповые биты, например 9600,n,8,1")},
        {[](CommPort& p) { return p.write(sv(greeting)); }, QStringLiteral("COM1 is not open"),
            QStringLiteral("COM1 не открыт")},
        {[](CommPort& p) { return p.setCommPort(200) && p.open(); }, QStringLiteral("COM200 (/dev/ttyS199): no such device"),
            QStringLiteral("COM200 (/dev/ttyS199): нет такого устройства")},
        // A device named for the run is named alone: the port number does not lead there.
        {[](CommPort& p) { return p.setDeviceOverride(QStringLiteral("COM3")), p.open(); },
            QStringLiteral("COM3: no such device"), QStringLiteral("COM3: нет такого устройства")},
        {[](CommPort& p) { return p.setCommPort(3) && p.open(); }, dangling + QStringLiteral("no such device"),
            dangling + QStringLiteral("нет такого устройства")},
        {[](CommPort& p) { return p.setCommPort(2) && p.open(); },
            held + QStringLiteral("in use by another program: %1 (process %2)").arg(ownName()).arg(::getpid()),
            held + QStringLiteral("занят другой программой: %1 (процесс %2)").arg(ownName()).arg(::getpid())},
    };
    for (const auto& row : rows)
        for (const Language language : {Language::English, Language::Russian}) {
            const QString& wording = language == Language::English ? row.english : row.russian;
            CommPort tried;
            attach(tried, 1);
            EXPECT_FALSE(row.fails(tried));
            EXPECT_EQ(wordPortFailure(tried.lastError(), language), wording);
        }
}
