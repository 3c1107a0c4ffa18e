#include "serial/comm_port.h"

#include "serial/device_lock.h"
#include "serial/device_path.h"
#include "serial/line_poll.h"
#include "serial/line_settings.h"

#include <QScopedValueRollback>
#include <QSerialPort>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <unistd.h>

#include <cerrno>

namespace korvanteslin {

namespace {

constexpr int watchIntervalMs = 1000;

// The errors a dead line produces on every event-loop pass until closed.
bool lineFailed(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::WriteError;
}

// A baseline every device takes, so that opening never fails on a setting;
// the real settings follow once open, where each refusal can be judged.
void prepareForOpening(QSerialPort& port, const QString& device)
{
    port.setPortName(device);
    port.setBaudRate(9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

// The system would not let this user write to the device (as opposed to the
// device being missing or held by another program).
bool accessDenied(const QString& device)
{
    return ::access(QFile::encodeName(device).constData(), W_OK) != 0 && errno == EACCES;
}

// A failure that names no device: a port number, a settings string, a frame.
PortFailure plain(PortFailure::Kind kind, int number, QString value = {})
{
    PortFailure failure;
    failure.kind = kind;
    failure.number = number;
    failure.value = std::move(value);
    return failure;
}

QString stopBitsText(StopBits stopBits)
{
    const std::string settings = formatPortSettings({9600, Parity::None, 8, stopBits});
    return QString::fromStdString(settings.substr(settings.rfind(',') + 1));
}

} // namespace

CommPort::CommPort(QObject* parent)
    : QObject(parent)
    , port_(new QSerialPort(this))
    , watchTimer_(new QTimer(this))
{
    watchTimer_->setInterval(watchIntervalMs);
    // Precise, so Qt does not line the check up on whole seconds: copies run
    // side by side would all retry their ports at the same instant and delay
    // each other's frames.
    watchTimer_->setTimerType(Qt::PreciseTimer);
    connect(watchTimer_, &QTimer::timeout, this, &CommPort::onWatchTick);
    connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (lineFailed(error))
            onLineFailed();
    });
}

CommPort::~CommPort()
{
    // The port closes as a child after this object is gone; nothing it
    // reports then may reach us.
    port_->disconnect(this);
}

void CommPort::setDeviceFolder(const QString& folder)
{
    // Takes effect at the next opening; an open port keeps its device.
    deviceFolder_ = folder;
    if (!isOpen())
        device_.clear();
}

bool CommPort::setCommPort(int number)
{
    if (number < 1)
        return fail(plain(PortFailure::Kind::NotAPort, number));
    if (isOpen())
        return fail(about(PortFailure::Kind::OpenWhileChoosing));
    number_ = number;
    device_.clear();
    return true;
}

bool CommPort::setSettings(const QString& settings)
{
    const auto parsed = parsePortSettings(settings.toStdString());
    if (!parsed)
        return fail(plain(PortFailure::Kind::BadSettings, number_, settings));
    if (isOpen()) {
        const bool framed = !isPseudoTerminal(device_);
        if (const auto refusal = applyLineSettings(*port_, *parsed, framed)) {
            const PortFailure failure = lineRefusal(*refusal, *parsed);
            applyLineSettings(*port_, settings_, framed);
            return fail(failure);
        }
    }
    settings_ = *parsed;
    return true;
}

QString CommPort::settings() const
{
    return QString::fromStdString(formatPortSettings(settings_));
}

bool CommPort::open()
{
    if (isOpen())
        return true;
    awaitingRelink_ = false;
    closedBecause_ = {};
    if (!openDevice()) {
        closedBecause_ = lastError_;
        if (retryWhenClosed_)
            watchTimer_->start();
        else
            watchTimer_->stop();
        return false;
    }
    watchTimer_->start();
    emit openChanged(true);
    return true;
}

void CommPort::close()
{
    watchTimer_->stop();
    awaitingRelink_ = false;
    closedBecause_ = {};
    if (!isOpen())
        return;
    closeDevice();
    emit openChanged(false);
}

bool CommPort::isOpen() const
{
    return port_->isOpen();
}

bool CommPort::writePiece(const FramePiece& piece)
{
    // A port lost under way takes no more of the frame.
    taking_ = piece.first() ? startFrame() : taking_ && isOpen();
    taking_ = taking_ && writeNow(piece);
    return taking_;
}

// Whether a frame may start now.
bool CommPort::startFrame()
{
    // Every tick comes here: these two failures are worded without asking the
    // file system about the device.
    if (!isOpen())
        return fail(plain(PortFailure::Kind::NotOpen, number_));
    // QSerialPort would queue without limit, and it reports a write into a
    // full line exactly like a vanished device; so look before writing.
    if (port_->bytesToWrite() > 0)
        return dropFrame();
    if (lineRoom(*port_, pseudoLine_) == LineState::Busy)
        return dropFrame();
    return true;
}

bool CommPort::writeNow(const FramePiece& piece)
{
    const std::string_view bytes = piece.bytes();
    // What an earlier piece left in the port's buffer goes first.
    if (!piece.first() && port_->bytesToWrite() > 0) {
        port_->write(bytes.data(), qint64(bytes.size()));
        return true;
    }
    // Straight to the device: through QSerialPort every frame would wake
    // the event loop twice more (its write notifier).
    ssize_t sent;
    do
        sent = ::write(port_->handle(), bytes.data(), bytes.size());
    while (sent < 0 && errno == EINTR);
    if (sent < 0 && errno == EAGAIN) {
        if (piece.first())
            return dropFrame();
        sent = 0; // a frame under way is finished through the buffer
    }
    if (sent < 0) {
        const bool gone = errno == EIO || errno == ENXIO || errno == ENODEV;
        handleLoss(about(gone ? PortFailure::Kind::DeviceGone : PortFailure::Kind::System, {}, qt_error_string(errno)));
        return false;
    }
    // The line took part of it: the rest follows through the port's own
    // buffer, so the frame still arrives whole.
    if (std::size_t(sent) < bytes.size())
        port_->write(bytes.data() + sent, qint64(bytes.size() - std::size_t(sent)));
    return true;
}

void CommPort::setPlugged(bool plugged)
{
    plugged_ = plugged;
    if (!isOpen())
        return;
    port_->setDataTerminalReady(plugged);
    port_->clearError(); // a line without modem lines (a pseudo-terminal) has none to drop
}

PortFailure CommPort::closedBecause() const
{
    return isOpen() ? PortFailure{} : closedBecause_;
}

QString CommPort::devicePath() const
{
    if (!deviceOverride_.isEmpty())
        return deviceOverride_;
    return commDevicePath(number_, deviceFolder_);
}

bool CommPort::openDevice()
{
    const QScopedValueRollback opening(busy_, true);
    settingsRefused_ = false;
    // Resolved afresh so that a re-pointed link is followed.
    const std::vector<LinkStamp> chain = linkChain(commEntryPath(number_, deviceFolder_));
    device_ = devicePath();
    prepareForOpening(*port_, device_);
    if (!port_->open(QIODevice::WriteOnly))
        return fail(openFailure());
    if (const auto refusal = applyLineSettings(*port_, settings_, !isPseudoTerminal(device_))) {
        port_->close();
        settingsRefused_ = true;
        return fail(lineRefusal(*refusal, settings_));
    }
    if (const QString refusal = applyModemLines(*port_); !refusal.isEmpty()) {
        port_->close();
        return fail(about(PortFailure::Kind::System, {}, refusal));
    }
    if (!plugged_)
        port_->setDataTerminalReady(false);
    port_->clearError();
    openedThrough_ = chain;
    pseudoLine_ = isPseudoTerminal(device_);
    return true;
}

PortFailure CommPort::openFailure() const
{
    // A lock file held by another program and a device opened for exclusive
    // use both come back as a permission error. A lock names its holder even
    // when this user could not open the device anyway: the holder is what
    // stands in the way first.
    const bool held = port_->error() == QSerialPort::PermissionError;
    PortFailure failure = about(PortFailure::Kind::System, {}, port_->errorString());
    if (held)
        failure.holder = deviceLockHolder(device_);
    if (failure.holder)
        failure.kind = PortFailure::Kind::Held;
    else if (accessDenied(device_))
        failure.kind = PortFailure::Kind::AccessDenied;
    else if (held)
        failure.kind = PortFailure::Kind::Held;
    else if (port_->error() == QSerialPort::DeviceNotFoundError)
        failure.kind = PortFailure::Kind::Missing;
    return failure;
}

PortFailure CommPort::lineRefusal(const LineRefusal& refusal, const PortSettings& tried) const
{
    using Kind = PortFailure::Kind;
    switch (refusal.kind) {
    case LineRefusal::Kind::System:
        break;
    case LineRefusal::Kind::Unavailable:
        return about(Kind::FramingUnavailable, QString::fromStdString(formatPortSettings(tried)));
    case LineRefusal::Kind::DataBits:
        return about(Kind::DataBitsNotTaken, QString::number(tried.dataBits));
    case LineRefusal::Kind::Parity:
        return about(Kind::ParityNotTaken, QString(QChar::fromLatin1(static_cast<char>(tried.parity))));
    case LineRefusal::Kind::StopBits:
        return about(Kind::StopBitsNotTaken, stopBitsText(tried.stopBits));
    }
    return about(Kind::System, {}, refusal.systemReason);
}

void CommPort::closeDevice()
{
    taking_ = false; // a frame under way does not go on to whatever is opened next
    const QScopedValueRollback closing(busy_, true);
    port_->close();
}

void CommPort::onLineFailed()
{
    // Only the first report counts: the port is closed before the next one.
    if (busy_ || !isOpen())
        return;
    handleLoss(about(PortFailure::Kind::System, {}, port_->errorString()));
}

void CommPort::onWatchTick()
{
    if (isOpen()) {
        if (pollLine(*port_) == LineState::HungUp)
            handleLoss(about(PortFailure::Kind::DeviceGone));
        return;
    }
    if (awaitingRelink_ && !relinkedSinceLoss())
        return;
    // Nothing there yet: opening would only make and remove a lock file, once
    // a second in every copy that waits, and keep the reason it gave before.
    if (!QFileInfo::exists(devicePath()))
        return;
    if (openDevice()) {
        awaitingRelink_ = false;
        closedBecause_ = {};
        emit openChanged(true);
    } else {
        closedBecause_ = lastError_;
    }
}

// A pseudo-terminal that is gone never comes back: the number it had goes to
// the next terminal any program opens. Only a link made again leads to ours.
bool CommPort::relinkedSinceLoss() const
{
    return linkChain(commEntryPath(number_, deviceFolder_)) != openedThrough_;
}

void CommPort::handleLoss(const PortFailure& failure)
{
    lastError_ = failure;
    closedBecause_ = lastError_;
    awaitingRelink_ = isPseudoTerminal(device_);
    closeDevice();
    watchTimer_->start();
    emit openChanged(false);
}

bool CommPort::dropFrame()
{
    ++droppedFrames_;
    return fail(plain(PortFailure::Kind::StillSending, number_));
}

bool CommPort::fail(PortFailure failure)
{
    lastError_ = std::move(failure);
    return false;
}

PortFailure CommPort::about(PortFailure::Kind kind, QString value, QString systemReason) const
{
    QString device = device_.isEmpty() ? devicePath() : device_;
    // A link that leads nowhere: say where it was meant to lead.
    const QFileInfo entry(device);
    if (entry.isSymLink() && !entry.exists())
        device += QStringLiteral(" -> ") + entry.symLinkTarget();
    PortFailure failure = plain(kind, number_, std::move(value));
    failure.device = device;
    failure.deviceForRun = !deviceOverride_.isEmpty();
    failure.systemReason = std::move(systemReason);
    return failure;
}

} // namespace korvanteslin
