#include "serial/comm_port.h"

#include "serial/device_path.h"
#include "serial/port_discovery.h"
#include "serial/line_poll.h"
#include "serial/line_settings.h"

#include <QScopedValueRollback>
#include <QSerialPort>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#if defined(Q_OS_UNIX)
#include <unistd.h>

#include <cerrno>
#endif

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
#if defined(Q_OS_UNIX)
    return ::access(QFile::encodeName(device).constData(), W_OK) != 0 && errno == EACCES;
#else
    Q_UNUSED(device);
    return false;
#endif
}

} // namespace

CommPort::CommPort(QObject* parent)
    : QObject(parent)
    , port_(new QSerialPort(this))
    , watchTimer_(new QTimer(this))
{
    watchTimer_->setInterval(watchIntervalMs);
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
        return fail(tr("COM%1 is not a port: port numbers start at 1").arg(number));
    if (isOpen())
        return fail(describe(tr("the port is open; close it before choosing another")));
    number_ = number;
    device_.clear();
    return true;
}

int CommPort::commPort() const
{
    return number_;
}

bool CommPort::setSettings(const QString& settings)
{
    const auto parsed = parsePortSettings(settings.toStdString());
    if (!parsed)
        return fail(tr("\"%1\" is not a valid port setting; expected rate,parity,data bits,"
                       "stop bits such as 9600,n,8,1").arg(settings));
    if (isOpen()) {
        const bool framed = !isPseudoTerminal(device_);
        const QString refusal = applyLineSettings(*port_, *parsed, framed);
        if (!refusal.isEmpty()) {
            applyLineSettings(*port_, settings_, framed);
            return fail(describe(refusal));
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
    if (!openDevice()) {
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
    if (!isOpen())
        return;
    closeDevice();
    emit openChanged(false);
}

bool CommPort::isOpen() const
{
    return port_->isOpen();
}

bool CommPort::output(const QByteArray& frame)
{
    // Every tick comes here: these two failures are worded without asking the
    // file system about the device.
    if (!isOpen())
        return fail(tr("COM%1 is not open").arg(number_));
    // QSerialPort would queue without limit, and it reports a write into a
    // full line exactly like a vanished device; so look before writing.
    if (port_->bytesToWrite() > 0)
        return dropFrame();
    switch (pollLine(*port_)) {
    case LineState::HungUp:
        handleLoss(tr("the device is gone"));
        return false;
    case LineState::Busy:
        return dropFrame();
    case LineState::Ready:
        break;
    }
    port_->write(frame);
    port_->flush();
    // A write that found the line dead has closed the port and said why.
    return isOpen();
}

QString CommPort::lastError() const
{
    return lastError_;
}

QString CommPort::devicePath() const
{
    return commDevicePath(number_, deviceFolder_);
}

quint64 CommPort::droppedFrames() const
{
    return droppedFrames_;
}

bool CommPort::openDevice()
{
    const QScopedValueRollback opening(busy_, true);
    // Resolved afresh so that a re-pointed link is followed.
    device_ = devicePath();
    prepareForOpening(*port_, device_);
    if (!port_->open(QIODevice::WriteOnly))
        return fail(describe(openFailureReason(port_->errorString(), accessDenied(device_))));
    QString refusal = applyLineSettings(*port_, settings_, !isPseudoTerminal(device_));
    if (refusal.isEmpty())
        refusal = applyModemLines(*port_);
    if (!refusal.isEmpty()) {
        port_->close();
        return fail(describe(refusal));
    }
    port_->clearError();
    return true;
}

void CommPort::closeDevice()
{
    const QScopedValueRollback closing(busy_, true);
    port_->close();
}

void CommPort::onLineFailed()
{
    // Only the first report counts: the port is closed before the next one.
    if (busy_ || !isOpen())
        return;
    handleLoss(port_->errorString());
}

void CommPort::onWatchTick()
{
    if (isOpen()) {
        if (pollLine(*port_) == LineState::HungUp)
            handleLoss(tr("the device is gone"));
        return;
    }
    if (openDevice())
        emit openChanged(true);
}

void CommPort::handleLoss(const QString& reason)
{
    lastError_ = describe(reason);
    closeDevice();
    watchTimer_->start();
    emit openChanged(false);
}

bool CommPort::dropFrame()
{
    ++droppedFrames_;
    return fail(tr("COM%1 is still sending the previous frame; frame dropped").arg(number_));
}

bool CommPort::fail(const QString& reason)
{
    lastError_ = reason;
    return false;
}

QString CommPort::describe(const QString& reason) const
{
    QString device = device_.isEmpty() ? devicePath() : device_;
    // A link that leads nowhere: say where it was meant to lead.
    const QFileInfo entry(device);
    if (entry.isSymLink() && !entry.exists())
        device += QStringLiteral(" -> ") + entry.symLinkTarget();
    return QStringLiteral("COM%1 (%2): %3").arg(QString::number(number_), device, reason);
}

} // namespace korvanteslin
