#include "serial/line_settings.h"

#include <QSerialPort>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <termios.h>
#endif

namespace korvanteslin {
namespace {

QSerialPort::DataBits toQt(int dataBits)
{
    switch (dataBits) {
    case 5: return QSerialPort::Data5;
    case 6: return QSerialPort::Data6;
    case 7: return QSerialPort::Data7;
    default: return QSerialPort::Data8;
    }
}

QSerialPort::Parity toQt(Parity parity)
{
    switch (parity) {
    case Parity::Even: return QSerialPort::EvenParity;
    case Parity::Odd: return QSerialPort::OddParity;
    case Parity::Space: return QSerialPort::SpaceParity;
    case Parity::Mark: return QSerialPort::MarkParity;
    case Parity::None: break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(StopBits stopBits)
{
    switch (stopBits) {
    case StopBits::OneAndHalf: return QSerialPort::OneAndHalfStop;
    case StopBits::Two: return QSerialPort::TwoStop;
    case StopBits::One: break;
    }
    return QSerialPort::OneStop;
}

#if defined(Q_OS_UNIX)
tcflag_t sizeFlag(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

#if defined(CMSPAR)
constexpr tcflag_t stickParity = CMSPAR;
#else
constexpr tcflag_t stickParity = 0; // mark and space are emulated per byte
#endif

tcflag_t parityFlags(Parity parity)
{
    switch (parity) {
    case Parity::Even: return PARENB;
    case Parity::Odd: return PARENB | PARODD;
    case Parity::Space: return stickParity ? PARENB | stickParity : PARENB;
    case Parity::Mark: return stickParity ? PARENB | PARODD | stickParity : PARENB;
    case Parity::None: break;
    }
    return 0;
}

tcflag_t parityMask()
{
    return stickParity ? PARENB | PARODD | stickParity : PARENB;
}

// Drivers accept a termios request and silently keep what their hardware can
// do, so the only way to know is to read the line's state back.
QString framingRefused(const QSerialPort& port, const PortSettings& settings)
{
    // POSIX termios has no way to ask for one and a half stop bits.
    if (settings.stopBits == StopBits::OneAndHalf)
        return QStringLiteral("1.5 stop bits are not available on this system");
    termios tio{};
    if (::tcgetattr(port.handle(), &tio) != 0)
        return qt_error_string(errno);
    if ((tio.c_cflag & CSIZE) != sizeFlag(settings.dataBits))
        return QStringLiteral("the device does not take %1 data bits").arg(settings.dataBits);
    if ((tio.c_cflag & parityMask()) != parityFlags(settings.parity))
        return QStringLiteral("the device does not take parity '%1'")
            .arg(QChar::fromLatin1(static_cast<char>(settings.parity)));
    if (((tio.c_cflag & CSTOPB) != 0) != (settings.stopBits == StopBits::Two))
        return QStringLiteral("the device does not take the stop bits asked for");
    return {};
}
#else
QString framingRefused(const QSerialPort&, const PortSettings&)
{
    return {};
}
#endif

} // namespace

QString applyLineSettings(QSerialPort& port, const PortSettings& settings, bool framed)
{
    // Every setting is tried even after a refusal, so an unframed line still
    // gets all the ones it can take.
    QString refusal;
    const auto note = [&](bool taken) {
        if (!taken && refusal.isEmpty())
            refusal = port.errorString();
    };
    note(port.setBaudRate(settings.baudRate));
    note(port.setDataBits(toQt(settings.dataBits)));
    note(port.setParity(toQt(settings.parity)));
    note(port.setStopBits(toQt(settings.stopBits)));
    if (!framed) {
        port.clearError();
        return {};
    }
    return refusal.isEmpty() ? framingRefused(port, settings) : refusal;
}

QString applyModemLines(QSerialPort& port)
{
    const auto unsupported = [&port] {
        const bool lineless = port.error() == QSerialPort::UnsupportedOperationError;
        if (lineless)
            port.clearError();
        return lineless;
    };
    if (!port.setDataTerminalReady(true) && !unsupported())
        return port.errorString();
    if (!port.setRequestToSend(false) && !unsupported())
        return port.errorString();
    return {};
}

} // namespace korvanteslin
