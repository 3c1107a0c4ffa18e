#include "serial/virtual_port.h"

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
#include <unistd.h>

using namespace korvanteslin;

namespace {

// A receiving program's end: opened by the link's name, like a serial device.
class Receiver {
public:
    explicit Receiver(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~Receiver()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool isOpen() const { return fd >= 0; }
    int unread() const
    {
        int count = 0;
        ::ioctl(fd, FIONREAD, &count);
        return count;
    }
    QByteArray read(qsizetype count, int timeoutMs = 2000)
    {
        QByteArray data;
        for (const QDeadlineTimer deadline(timeoutMs); data.size() < count && !deadline.hasExpired();) {
            pollfd in{fd, POLLIN, 0};
            char chunk[4096];
            if (::poll(&in, 1, 20) > 0)
                data.append(chunk, std::max<ssize_t>(0, ::read(fd, chunk, sizeof chunk)));
        }
        return data;
    }

private:
    int fd;
};

std::unique_ptr<VirtualPort> make(const QString& path, std::size_t backlog = VirtualPort::kDefaultBacklog)
{
    auto made = VirtualPort::create(path, backlog);
    if (auto* error = std::get_if<QString>(&made)) {
        ADD_FAILURE() << error->toStdString();
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<VirtualPort>>(made));
}

bool exists(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace

TEST(VirtualPort, ReceiverSeesEveryByteAndTheLinkGoesAtTheEnd)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scale"));
    auto port = make(path);
    ASSERT_TRUE(port);
    EXPECT_EQ(QFile::symLinkTarget(path), port->devicePath());
    EXPECT_TRUE(port->devicePath().startsWith(QStringLiteral("/dev/pts/")));

    // Every byte value in 12-byte frames: CR, LF, ^C, XON/XOFF and DEL included.
    QByteArray all;
    for (int i = 0; i < 264; ++i)
        all.append(char(i % 256));
    {
        Receiver receiver(path);
        ASSERT_TRUE(receiver.isOpen());
        for (qsizetype at = 0; at < all.size(); at += 12)
            ASSERT_TRUE(port->output(all.mid(at, 12)));
        EXPECT_EQ(receiver.read(all.size()), all);
    }
    // The receiver closed and comes back: the line is still there.
    {
        Receiver again(path);
        ASSERT_TRUE(again.isOpen());
        const QByteArray frame("\x02 12.5kg\r\n");
        ASSERT_TRUE(port->output(frame));
        EXPECT_EQ(again.read(frame.size()), frame);
    }
    EXPECT_EQ(port->droppedFrames(), 0u);

    port.reset();
    EXPECT_FALSE(exists(path));

    // A relative name is made absolute: the link goes even after a change of working folder.
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    port = make(QStringLiteral("relative"));
    QDir::setCurrent(QStringLiteral("/"));
    ASSERT_TRUE(port);
    EXPECT_EQ(port->linkPath(), dir.filePath(QStringLiteral("relative")));
    port.reset();
    QDir::setCurrent(before);
    EXPECT_FALSE(exists(dir.filePath(QStringLiteral("relative"))));
}

TEST(VirtualPort, DropsWholeFramesWhenTheReceiverStopsReadingAndNeverBlocks)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scale"));
    const std::size_t backlog = 100;
    auto port = make(path, backlog);
    ASSERT_TRUE(port);
    Receiver receiver(path);
    ASSERT_TRUE(receiver.isOpen());

    auto frame = [](int n) { return QByteArray::number(n).rightJustified(10, '0') + "\r\n"; };
    // Each frame is let in before the next is offered, so the count the port
    // looks at is the one the receiver would find.
    int sent = 0;
    for (int n = 0; n < 20; ++n) {
        if (!port->output(frame(n)))
            continue;
        ++sent;
        for (const QDeadlineTimer settle(2000); receiver.unread() < sent * 12 && !settle.hasExpired();) {
        }
    }
    EXPECT_EQ(sent, int(backlog / 12));
    EXPECT_EQ(port->droppedFrames(), quint64(20 - sent));

    QByteArray expected;
    for (int n = 0; n < sent; ++n)
        expected += frame(n);
    EXPECT_EQ(receiver.read(expected.size()), expected);
    // Once read, there is room again.
    EXPECT_TRUE(port->output(frame(99)));
    EXPECT_EQ(receiver.read(12), frame(99));
}

TEST(VirtualPort, RefusesAPathThatIsTakenAndLeavesItAsItWas)
{
    QTemporaryDir dir;
    test::PtyPair inUse; // someone else's terminal
    struct Row {
        const char* name;
        std::function<void(const QString&)> prepare;
        bool refused;
    };
    const Row rows[] = {
        {"regular file", [](const QString& p) { QFile f(p); f.open(QIODevice::WriteOnly); f.write("keep me"); }, true},
        {"directory", [](const QString& p) { ::mkdir(QFile::encodeName(p).constData(), 0700); }, true},
        {"link to a file", [](const QString& p) { QFile::link(QStringLiteral("/etc/hostname"), p); }, true},
        {"link leading nowhere", [](const QString& p) { QFile::link(QStringLiteral("/tmp/no/such/thing"), p); }, true},
        {"link to a terminal in use", [&](const QString& p) { QFile::link(inUse.slavePath(), p); }, true},
        {"link to a terminal that is gone", [](const QString& p) { QFile::link(QStringLiteral("/dev/pts/999999"), p); }, false},
        {"nothing there", [](const QString&) {}, false},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = dir.filePath(QString::number(++n));
        row.prepare(path);
        const QFileInfo before(path);
        const QString targetBefore = QFile::symLinkTarget(path);
        auto made = VirtualPort::create(path);
        if (!row.refused) {
            ASSERT_TRUE(std::holds_alternative<std::unique_ptr<VirtualPort>>(made));
            EXPECT_EQ(QFile::symLinkTarget(path), std::get<0>(made)->devicePath());
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<QString>(made));
        EXPECT_EQ(std::get<QString>(made),
            QStringLiteral("The virtual port cannot be made at %1: it exists and is not a link this program made.")
                .arg(path));
        const QFileInfo after(path);
        EXPECT_EQ(after.isSymLink(), before.isSymLink());
        EXPECT_EQ(after.isDir(), before.isDir());
        EXPECT_EQ(QFile::symLinkTarget(path), targetBefore);
        if (before.isFile() && !before.isSymLink()) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), "keep me");
        }
    }

    const auto noFolder = VirtualPort::create(dir.filePath(QStringLiteral("missing/scale")));
    ASSERT_TRUE(std::holds_alternative<QString>(noFolder));
    EXPECT_TRUE(std::get<QString>(noFolder).endsWith(QStringLiteral("No such file or directory.")));
}

TEST(VirtualPort, LeavesALinkThatNoLongerLeadsToItsTerminal)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scale"));
    auto port = make(path);
    ASSERT_TRUE(port);
    // Someone pointed the name elsewhere while the run went on: not ours to remove.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc/hostname"), path));
    port.reset();
    EXPECT_EQ(QFile::symLinkTarget(path), QStringLiteral("/etc/hostname"));
}
