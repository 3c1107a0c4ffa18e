#include "serial/line_settings.h"

#include <QSerialPort>

#include "serial/line_framing.h"

#include <cerrno>
#include <termios.h>

namespace korvanteslin {
namespace {

using Kind = LineRefusal::Kind;

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

} // namespace

std::optional<LineRefusal> applyLineSettings(QSerialPort& port, const PortSettings& settings, bool framed)
{
    if (framed && !framingAvailable(settings))
        return LineRefusal{Kind::Unavailable, {}};
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
