#include "serial/virtual_port.h"

#include "line_helpers.h"
#include "pty_pair.h"
#include "qstring_printer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace korvanteslin;
using namespace korvanteslin::test;

namespace {

// A receiving program's end: opened by the link's name, like a serial device.
struct Receiver {
    explicit Receiver(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~Receiver() { ::close(fd); }
    int unread() const
    {
        int count = 0;
        ::ioctl(fd, FIONREAD, &count);
        return count;
    }
    QByteArray read(qsizetype count)
    {
        QByteArray data;
        for (const QDeadlineTimer deadline(2000); data.size() < count && !deadline.hasExpired();) {
            pollfd in{fd, POLLIN, 0};
            char chunk[4096];
            if (::poll(&in, 1, 20) > 0)
                data.append(chunk, std::max<ssize_t>(0, ::read(fd, chunk, sizeof chunk)));
        }
        return data;
    }
    int fd;
};

std::unique_ptr<VirtualPort> make(const QString& path, std::size_t backlog = VirtualPort::kDefaultBacklog)
{
    auto made = VirtualPort::create(path, backlog);
    if (auto* refusal = std::get_if<ShellMessage>(&made))
        ADD_FAILURE() << wordMessage(*refusal, Language::English);
    return made.index() == 0 ? std::move(std::get<0>(made)) : nullptr;
}

// What stands at `path`, to compare before and after.
QString whatIsAt(const QString& path)
{
    const QFileInfo info(path);
    QFile file(path);
    const bool plainFile = info.isFile() && !info.isSymLink() && file.open(QIODevice::ReadOnly);
    return QStringLiteral("%1 %2 %3 %4").arg(info.isSymLink()).arg(info.isDir()).arg(info.symLinkTarget(),
        plainFile ? QString::fromLatin1(file.readAll()) : QString());
}

} // namespace

TEST(VirtualPort, ReceiverSeesEveryByteAndTheLinkGoesAtTheEndIfStillOurs)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scale"));
    auto port = make(path);
    ASSERT_TRUE(port);
    EXPECT_EQ(QFile::symLinkTarget(path), port->devicePath());

    // The receiver closes and comes back: the line is still there.
    const QByteArray all = everyByte();
    for (const int round : {1, 2}) {
        Receiver receiver(path);
        ASSERT_GE(receiver.fd, 0) << "round " << round;
        for (qsizetype at = 0; at < all.size(); at += 12)
            ASSERT_TRUE(port->write(sv(all.mid(at, 12))));
        EXPECT_EQ(receiver.read(all.size()), all);
    }
    port.reset();
    EXPECT_FALSE(QFileInfo(path).isSymLink());

    // A relative name is made absolute: the link goes even after a change of working folder.
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    port = make(QStringLiteral("relative"));
    QDir::setCurrent(QStringLiteral("/"));
    ASSERT_TRUE(port);
    port.reset();
    QDir::setCurrent(before);
    EXPECT_FALSE(QFileInfo(dir.filePath(QStringLiteral("relative"))).isSymLink());

    // Someone pointed the name elsewhere while the run went on: not ours to remove.
    port = make(path);
    ASSERT_TRUE(QFile::remove(path) && QFile::link(QStringLiteral("/etc/hostname"), path));
    port.reset();
    EXPECT_EQ(QFile::symLinkTarget(path), QStringLiteral("/etc/hostname"));
}

TEST(VirtualPort, DropsWholeFramesWhenTheReceiverStopsReadingAndNeverBlocks)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scale"));
    const std::size_t backlog = 100;
    auto port = make(path, backlog);
    ASSERT_TRUE(port);
    Receiver receiver(path);

    // Each frame is let in before the next is offered, so the count the port
    // looks at is the one the receiver would find.
    int sent = 0;
    for (int n = 0; n < 20; ++n) {
        if (!port->write(sv(frame(n))))
            continue;
        ++sent;
        for (const QDeadlineTimer settle(2000); receiver.unread() < sent * 12 && !settle.hasExpired();) {
        }
    }
    EXPECT_EQ(sent, int(backlog / 12));
    EXPECT_EQ(port->droppedFrames(), quint64(20 - sent));
    EXPECT_EQ(receiver.read(12 * sent), framesFrom(0, sent));
    // Once read, there is room again.
    EXPECT_TRUE(port->write(sv(frame(99))));
    EXPECT_EQ(receiver.read(12), frame(99));
}

TEST(VirtualPort, RefusesAPathThatIsTakenAndLeavesItAsItWas)
{
    QTemporaryDir dir;
    PtyPair inUse; // someone else's terminal
    const struct {
        const char* name;
        std::function<void(const QString&)> prepare;
        bool refused;
    } rows[] = {
        {"regular file", [](const QString& p) { QFile f(p); f.open(QIODevice::WriteOnly); f.write("keep me"); }, true},
        {"directory", [](const QString& p) { QDir().mkdir(p); }, true},
        {"link to a file", [](const QString& p) { QFile::link(QStringLiteral("/etc/hostname"), p); }, true},
        {"link leading nowhere", [](const QString& p) { QFile::link(QStringLiteral("/tmp/no/such/thing"), p); }, true},
        {"link to a terminal in use", [&](const QString& p) { QFile::link(inUse.slavePath(), p); }, true},
        {"link to a terminal that is gone", [](const QString& p) { QFile::link(QStringLiteral("/dev/pts/999999"), p); }, false},
        {"nothing there", [](const QString&) {}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = dir.filePath(QString::fromLatin1(row.name));
        row.prepare(path);
        const QString before = whatIsAt(path);
        const auto made = VirtualPort::create(path);
        ASSERT_EQ(made.index(), row.refused ? 1u : 0u);
        if (!row.refused) {
            EXPECT_EQ(QFile::symLinkTarget(path), std::get<0>(made)->devicePath());
            continue;
        }
        EXPECT_EQ(std::get<ShellMessage>(made), failureAt(MessageId::VirtualPortTaken, path.toStdString(), 0));
        EXPECT_EQ(whatIsAt(path), before);
    }

    const auto noFolder = VirtualPort::create(dir.filePath(QStringLiteral("missing/scale")));
    ASSERT_EQ(noFolder.index(), 1u);
    EXPECT_EQ(std::get<ShellMessage>(noFolder).id, MessageId::VirtualPortFailed);
    EXPECT_EQ(std::get<ShellMessage>(noFolder).error, ENOENT);
}

// The cable pulled: the receiver sees its line hang up, as on a real port
// whose device went away; put back, the link leads to a new line.
TEST(VirtualPort, APulledCableHangsTheReceiverUpAndThePutBackLinkLeadsToANewLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scale"));
    auto port = make(path);
    ASSERT_TRUE(port);
    Receiver before(path);
    const QString firstDevice = port->devicePath();

    port->setPlugged(false);
    EXPECT_FALSE(port->write(sv(frame(1))));
    pollfd hungUp{before.fd, POLLIN, 0};
    ASSERT_EQ(::poll(&hungUp, 1, 1000), 1);
    EXPECT_TRUE(hungUp.revents & POLLHUP);
    char byte;
    EXPECT_LE(::read(before.fd, &byte, 1), 0) << "end of file or EIO";
    EXPECT_EQ(QFile::symLinkTarget(path), firstDevice) << "the link stays";

    port->setPlugged(true);
    EXPECT_NE(port->devicePath(), firstDevice);
    EXPECT_EQ(QFile::symLinkTarget(path), port->devicePath());
    Receiver after(path);
    EXPECT_TRUE(port->write(sv(frame(2))));
    EXPECT_EQ(after.read(12), frame(2));
}

// A line its reader never set follows the port's settings without a word;
// one the reader set itself is noted when it differs from them.
TEST(VirtualPort, OnlyWhatTheReaderSetsItselfIsNotedAgainstThePortsSettings)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scale"));
    auto port = make(path);
    ASSERT_TRUE(port);
    PortSettings line;
    std::vector<std::string> noted;
    port->setPortLine([&line]() -> const PortSettings& { return line; }, false,
        [&](const ShellMessage& note) { noted.push_back(note.detail); });
    line.baudRate = 4800;
    port->portLineChanged();
    EXPECT_TRUE(noted.empty());
    EXPECT_EQ(port->readerSettings(), line) << "the untouched line follows the port";

    Receiver reader(path);
    termios set{};
    ::tcgetattr(reader.fd, &set);
    ::cfsetspeed(&set, B19200);
    ::tcsetattr(reader.fd, TCSANOW, &set);
    line.baudRate = 9600;
    port->portLineChanged();
    EXPECT_EQ(noted, std::vector<std::string>{"19200,n,8,1"});
}

// A frame in pieces, as the pacer sends it: a strict reader gets each
// character once the byte holding its stop sample has gone, and a frame
// that would not fit is dropped whole, its later pieces included.
TEST(VirtualPort, PiecesOfAFrameReachTheReaderAsItsUartWouldHaveThemOrNotAtAll)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scale"));
    auto port = make(path, 12);
    ASSERT_TRUE(port);
    const PortSettings line;
    port->setPortLine([&line]() -> const PortSettings& { return line; }, true, [](const ShellMessage&) {});
    Receiver reader(path);
    termios set{};
    ::tcgetattr(reader.fd, &set);
    ::cfmakeraw(&set);
    ::cfsetspeed(&set, B4800);
    ::tcsetattr(reader.fd, TCSANOW, &set);

    const std::string_view sent = "\x02\x20";
    EXPECT_TRUE(port->writePiece({sent, 0, 1}));
    EXPECT_EQ(reader.unread(), 0) << "its one character at 4800 ends in the second byte";
    EXPECT_TRUE(port->writePiece({sent, 1, 2}));
    EXPECT_EQ(reader.read(1), QByteArray("\x08"));

    ::cfsetspeed(&set, B9600);
    ::tcsetattr(reader.fd, TCSANOW, &set);
    const QByteArray big = frame(1) + "x";
    EXPECT_FALSE(port->writePiece({sv(big), 0, 1})) << "13 bytes do not fit in 12";
    EXPECT_FALSE(port->writePiece({sv(big), 1, 13}));
    EXPECT_EQ(reader.unread(), 0);
    EXPECT_EQ(port->droppedFrames(), 1u);
}
