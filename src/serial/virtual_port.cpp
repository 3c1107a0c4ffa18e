#include "serial/virtual_port.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace korvanteslin {

namespace {

// The link's target, or an empty string when `path` is not a symbolic link.
QString linkTarget(const QString& path)
{
    char target[4096];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), target, sizeof target);
    return length > 0 ? QFile::decodeName(QByteArray(target, length)) : QString();
}

// A link into /dev/pts whose terminal is gone: what an earlier run that
// ended without cleaning up leaves behind. A link to a terminal that exists
// may lead to another program's terminal by now, so it stays untouched.
bool isLeftBehind(const QString& path)
{
    static const QRegularExpression ptsDevice(QStringLiteral("^/dev/pts/[0-9]+$"));
    const QString target = linkTarget(path);
    struct stat info {};
    return ptsDevice.match(target).hasMatch() && ::stat(QFile::encodeName(target).constData(), &info) != 0
        && errno == ENOENT;
}

void closeOnExec(int fd)
{
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

// A raw pair, never blocking the writer: its device's name, or the system's
// error. Raw, so the receiver gets the frames' bytes exactly: no CR to LF,
// no echo, no signals.
int openPair(int& master, int& slave, QString& device)
{
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return errno;
    closeOnExec(master);
    closeOnExec(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    device = QString::fromLocal8Bit(name);
    return 0;
}

} // namespace

std::variant<std::unique_ptr<VirtualPort>, ShellMessage> VirtualPort::create(const QString& path, std::size_t backlogLimit)
{
    // Absolute, so that the link is found again at the end whatever the working folder is by then.
    const QString linkPath = QFileInfo(path).absoluteFilePath();
    const QByteArray link = QFile::encodeName(linkPath);
    const auto refused = [&](MessageId id, int error = 0) { return failureAt(id, link.toStdString(), error); };

    struct stat existing {};
    if (::lstat(link.constData(), &existing) == 0 && !(S_ISLNK(existing.st_mode) && isLeftBehind(linkPath)))
        return refused(MessageId::VirtualPortTaken);

    int master = -1;
    int slave = -1;
    QString device;
    if (const int error = openPair(master, slave, device))
        return refused(MessageId::NoPseudoTerminal, error);

    if (S_ISLNK(existing.st_mode))
        ::unlink(link.constData());
    // symlink() never replaces: whatever appeared meanwhile stays and refuses.
    if (::symlink(QFile::encodeName(device).constData(), link.constData()) != 0) {
        const int error = errno;
        ::close(master);
        ::close(slave);
        return error == EEXIST ? refused(MessageId::VirtualPortTaken) : refused(MessageId::VirtualPortFailed, error);
    }
    return std::unique_ptr<VirtualPort>(new VirtualPort(master, slave, linkPath, device, backlogLimit));
}

VirtualPort::VirtualPort(int master, int slave, QString linkPath, QString devicePath, std::size_t backlogLimit)
    : master_(master)
    , slave_(slave)
    , linkPath_(std::move(linkPath))
    , devicePath_(std::move(devicePath))
    , backlogLimit_(backlogLimit)
{
}

VirtualPort::~VirtualPort()
{
    if (linkTarget(linkPath_) == devicePath_)
        ::unlink(QFile::encodeName(linkPath_).constData());
    closePair();
}

void VirtualPort::closePair()
{
    for (int* end : {&master_, &slave_}) {
        if (*end >= 0)
            ::close(*end);
        *end = -1;
    }
}

void VirtualPort::setPlugged(bool plugged)
{
    if (!plugged) {
        closePair();
        return;
    }
    if (master_ >= 0)
        return;
    QString device;
    if (openPair(master_, slave_, device) != 0)
        return; // stays unplugged: nothing is written to a closed pair
    // The link is led to the new pair only while it still leads to ours; a
    // new link is put in its place in one step, so a reader never finds none.
    if (linkTarget(linkPath_) == devicePath_) {
        const QByteArray link = QFile::encodeName(linkPath_);
        const QByteArray fresh = link + ".new";
        ::unlink(fresh.constData());
        if (::symlink(QFile::encodeName(device).constData(), fresh.constData()) == 0
            && ::rename(fresh.constData(), link.constData()) != 0)
            ::unlink(fresh.constData());
    }
    devicePath_ = device;
    startAtPortLine();
}

void VirtualPort::setPortLine(
    std::function<const PortSettings&()> port, bool strict, std::function<void(const ShellMessage&)> note)
{
    portLine_ = std::move(port);
    strict_ = strict;
    note_ = std::move(note);
    startAtPortLine();
}

// The line as its reader finds it before setting anything: the port's; only
// what the reader sets itself is told of.
void VirtualPort::startAtPortLine()
{
    if (!portLine_ || slave_ < 0)
        return;
    startedAt_ = portLine_();
    setPtyLine(slave_, startedAt_);
    reader_ = ptyReader(slave_, portLine_());
    readerNoted_ = reader_ ? std::optional(reader_->settings) : std::nullopt;
}

std::optional<PortSettings> VirtualPort::readerSettings() const
{
    if (!portLine_)
        return std::nullopt;
    const auto reader = ptyReader(slave_, portLine_());
    return reader ? std::optional(reader->settings) : std::nullopt;
}

void VirtualPort::portLineChanged()
{
    if (!portLine_ || slave_ < 0)
        return;
    const auto reader = ptyReader(slave_, portLine_());
    if (reader && reader->settings.baudRate == startedAt_.baudRate && reader->settings.stopBits == startedAt_.stopBits) {
        startAtPortLine();
        return;
    }
    readerNoted_.reset();
    lookAtReader();
}

void VirtualPort::lookAtReader()
{
    reader_ = ptyReader(slave_, portLine_());
    const std::optional<PortSettings> settings = reader_ ? std::optional(reader_->settings) : std::nullopt;
    if (settings == readerNoted_)
        return;
    readerNoted_ = settings;
    if (settings && *settings != portLine_() && note_)
        note_(refusalOf(MessageId::ReaderSetOtherwise, linkPath_.toStdString(), formatPortSettings(*settings)));
}

bool VirtualPort::writePiece(const FramePiece& piece)
{
    // A pair closed under way (the cable pulled) takes no more of the frame.
    taking_ = piece.first() ? startFrame(piece.frame) : taking_ && master_ >= 0;
    if (!taking_)
        return false;
    if (!decoding_) {
        taking_ = put(piece.bytes());
        return taking_;
    }
    delivered_.clear();
    for (const HeardChar& heard : heardBy(reading_, piece))
        ptyDeliver(heard.received, readerFlags_, delivered_);
    taking_ = put(delivered_);
    return taking_;
}

// Whether the frame will fit in whole, as its reader reads it: itself, or
// with --strict-line what a UART set as that end is would make of it.
bool VirtualPort::startFrame(std::string_view frame)
{
    if (master_ < 0)
        return false;
    decoding_ = readsOtherwise();
    std::size_t size = frame.size();
    if (decoding_) {
        readerFlags_ = reader_->inputFlags;
        reading_ = receiveHeard(frame, portLine_(), reader_->settings);
        size = 0;
        for (const HeardChar& heard : reading_) {
            delivered_.clear();
            ptyDeliver(heard.received, readerFlags_, delivered_);
            size += delivered_.size();
        }
    }
    int unread = 0;
    if (::ioctl(slave_, FIONREAD, &unread) != 0)
        unread = 0;
    if (std::size_t(unread) + size > backlogLimit_) {
        ++droppedFrames_;
        return false;
    }
    return true;
}

// With --strict-line, whether the reader's end is set otherwise than the port.
bool VirtualPort::readsOtherwise()
{
    if (!portLine_)
        return false;
    if (const MonoTime now = MonoClock::now(); strict_ || now >= nextLook_) {
        lookAtReader();
        nextLook_ = now + std::chrono::milliseconds(100);
    }
    return strict_ && reader_ && reader_->settings != portLine_();
}

bool VirtualPort::put(std::string_view bytes)
{
    if (bytes.empty())
        return true;
    ssize_t written;
    do
        written = ::write(master_, bytes.data(), bytes.size());
    while (written < 0 && errno == EINTR);
    // The backlog limit keeps far below what the kernel takes in one write,
    // so a short write does not happen in practice; if it ever did, count it.
    if (written != ssize_t(bytes.size())) {
        ++droppedFrames_;
        return false;
    }
    return true;
}

} // namespace korvanteslin
