#include "serial/comm_port.h"

#include "serial/device_lock.h"
#include "serial/device_path.h"
#include "serial/line_poll.h"
#include "serial/line_settings.h"
#include "serial/port_discovery.h"
#include "serial/wording.h"

#include <QScopedValueRollback>
#include <QSerialPort>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <array>

#include <unistd.h>

#include <cerrno>

namespace korvanteslin {

enum class CommPort::Text {
    NotAPort,
    OpenWhileChoosing,
    BadSettings,
    NotOpen,
    DeviceGone,
    StillSending,
    FramingUnavailable,
    DataBitsNotTaken,
    ParityNotTaken,
    StopBitsNotTaken,
};

namespace {

// In the order of CommPort::Text.
constexpr std::array<Wording, 10> texts{{
    {"COM%1 is not a port: port numbers start at 1", "COM%1 — не порт: номера портов начинаются с 1"},
    {"the port is open; close it before choosing another", "порт открыт; закройте его, прежде чем выбрать другой"},
    {"\"%1\" is not a valid port setting; expected rate,parity,data bits,stop bits such as 9600,n,8,1",
        "«%1» — недопустимые параметры порта; нужно: скорость,чётность,биты данных,стоповые биты, "
        "например 9600,n,8,1"},
    {"COM%1 is not open", "COM%1 не открыт"},
    {"the device is gone", "устройство пропало"},
    {"COM%1 is still sending the previous frame; frame dropped",
        "COM%1 ещё передаёт предыдущую посылку; посылка пропущена"},
    {"this system cannot set a line to %1", "эта система не может настроить линию на %1"},
    {"the device does not take %1 data bits", "устройство не принимает %1 бит данных"},
    {"the device does not take parity '%1'", "устройство не принимает чётность «%1»"},
    {"the device does not take %1 stop bits", "устройство не принимает %1 стоповых бита"},
}};

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

void CommPort::setLanguage(Language language)
{
    language_ = language;
}

bool CommPort::setCommPort(int number)
{
    if (number < 1)
        return fail(text(Text::NotAPort).arg(number));
    if (isOpen())
        return fail(describe(text(Text::OpenWhileChoosing)));
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
        return fail(text(Text::BadSettings).arg(settings));
    if (isOpen()) {
        const bool framed = !isPseudoTerminal(device_);
        if (const auto refusal = applyLineSettings(*port_, *parsed, framed)) {
            const QString reason = lineRefusal(*refusal, *parsed);
            applyLineSettings(*port_, settings_, framed);
            return fail(describe(reason));
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
    closedBecause_.clear();
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

bool CommPort::settingsRefusedByDevice() const
{
    return settingsRefused_;
}

void CommPort::close()
{
    watchTimer_->stop();
    awaitingRelink_ = false;
    closedBecause_.clear();
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
        return fail(text(Text::NotOpen).arg(number_));
    // QSerialPort would queue without limit, and it reports a write into a
    // full line exactly like a vanished device; so look before writing.
    if (port_->bytesToWrite() > 0)
        return dropFrame();
    switch (pollLine(*port_)) {
    case LineState::HungUp:
        handleLoss(text(Text::DeviceGone));
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

void CommPort::setDeviceOverride(const QString& device)
{
    deviceOverride_ = device;
}

void CommPort::setRetryWhenClosed(bool retry)
{
    retryWhenClosed_ = retry;
}

QString CommPort::closedBecause() const
{
    return isOpen() ? QString() : closedBecause_;
}

QString CommPort::devicePath() const
{
    if (!deviceOverride_.isEmpty())
        return deviceOverride_;
    return commDevicePath(number_, deviceFolder_);
}

quint64 CommPort::droppedFrames() const
{
    return droppedFrames_;
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
        return fail(describe(openFailure()));
    if (const auto refusal = applyLineSettings(*port_, settings_, !isPseudoTerminal(device_))) {
        port_->close();
        settingsRefused_ = true;
        return fail(describe(lineRefusal(*refusal, settings_)));
    }
    if (const QString refusal = applyModemLines(*port_); !refusal.isEmpty()) {
        port_->close();
        return fail(describe(refusal));
    }
    port_->clearError();
    openedThrough_ = chain;
    return true;
}

QString CommPort::openFailure() const
{
    OpenFailure failure;
    failure.systemReason = port_->errorString();
    failure.missing = port_->error() == QSerialPort::DeviceNotFoundError;
    // A lock file held by another program and a device opened for exclusive
    // use both come back as a permission error.
    failure.held = port_->error() == QSerialPort::PermissionError;
    failure.accessDenied = accessDenied(device_);
    if (failure.held)
        failure.holder = deviceLockHolder(device_);
    return openFailureReason(failure, language_);
}

QString CommPort::lineRefusal(const LineRefusal& refusal, const PortSettings& tried) const
{
    switch (refusal.kind) {
    case LineRefusal::Kind::System:
        return refusal.systemReason;
    case LineRefusal::Kind::Unavailable:
        return text(Text::FramingUnavailable).arg(QString::fromStdString(formatPortSettings(tried)));
    case LineRefusal::Kind::DataBits:
        return text(Text::DataBitsNotTaken).arg(tried.dataBits);
    case LineRefusal::Kind::Parity:
        return text(Text::ParityNotTaken).arg(QChar::fromLatin1(static_cast<char>(tried.parity)));
    case LineRefusal::Kind::StopBits:
        return text(Text::StopBitsNotTaken).arg(stopBitsText(tried.stopBits));
    }
    return refusal.systemReason;
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
            handleLoss(text(Text::DeviceGone));
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
        closedBecause_.clear();
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

void CommPort::handleLoss(const QString& reason)
{
    lastError_ = describe(reason);
    closedBecause_ = lastError_;
    awaitingRelink_ = isPseudoTerminal(device_);
    closeDevice();
    watchTimer_->start();
    emit openChanged(false);
}

bool CommPort::dropFrame()
{
    ++droppedFrames_;
    return fail(text(Text::StillSending).arg(number_));
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
    // A device named for the run is what the user asked for: the port number does not lead there.
    if (!deviceOverride_.isEmpty())
        return QStringLiteral("%1: %2").arg(device, reason);
    return QStringLiteral("COM%1 (%2): %3").arg(QString::number(number_), device, reason);
}

QString CommPort::text(Text which) const
{
    return worded(texts[static_cast<std::size_t>(which)], language_);
}

} // namespace korvanteslin
