#include "serial/line_settings.h"

#include <QSerialPort>

#if defined(Q_OS_UNIX)
#include "serial/line_framing.h"

#include <cerrno>
#include <termios.h>
#endif

namespace korvanteslin {
namespace {

using Kind = LineRefusal::Kind;

#if defined(Q_OS_UNIX)
LineRefusal systemRefusal()
{
    return {Kind::System, qt_error_string(errno)};
}

// QSerialPort's own setters leave earlier parity bits on the line (none
// keeps odd, even keeps stick), so the framing goes on in one request of
// our own, and a framed line is then asked what it really took: drivers
// accept a request and silently keep what their hardware can do.
std::optional<LineRefusal> applyFraming(QSerialPort& port, const PortSettings& settings, bool framed)
{
    termios tio{};
    if (::tcgetattr(port.handle(), &tio) != 0)
        return systemRefusal();
    tio.c_cflag = framedControlFlags(tio.c_cflag, settings);
    if (::tcsetattr(port.handle(), TCSANOW, &tio) != 0)
        return systemRefusal();
    if (!framed)
        return std::nullopt;
    termios held{};
    if (::tcgetattr(port.handle(), &held) != 0)
        return systemRefusal();
    switch (framingNotTaken(held.c_cflag, settings)) {
    case FramingPart::DataBits: return LineRefusal{Kind::DataBits, {}};
    case FramingPart::Parity: return LineRefusal{Kind::Parity, {}};
    case FramingPart::StopBits: return LineRefusal{Kind::StopBits, {}};
    case FramingPart::None: break;
    }
    return std::nullopt;
}
#else
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

// Elsewhere the whole framing is written at once by the port itself.
std::optional<LineRefusal> applyFraming(QSerialPort& port, const PortSettings& settings, bool)
{
    if (port.setDataBits(toQt(settings.dataBits)) && port.setParity(toQt(settings.parity))
        && port.setStopBits(toQt(settings.stopBits)))
        return std::nullopt;
    return LineRefusal{Kind::System, port.errorString()};
}
#endif

} // namespace

std::optional<LineRefusal> applyLineSettings(QSerialPort& port, const PortSettings& settings, bool framed)
{
#if defined(Q_OS_UNIX)
    if (framed && !framingAvailable(settings))
        return LineRefusal{Kind::Unavailable, {}};
#endif
    // The rate goes through QSerialPort, which knows each system's way to
    // rates outside the standard list.
    std::optional<LineRefusal> refusal;
    if (!port.setBaudRate(settings.baudRate))
        refusal = LineRefusal{Kind::System, port.errorString()};
    // Tried even after a refusal, so an unframed line still gets all it can take.
    const auto framing = applyFraming(port, settings, framed);
    if (!refusal)
        refusal = framing;
    if (!framed) {
        port.clearError();
        return std::nullopt;
    }
    return refusal;
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
