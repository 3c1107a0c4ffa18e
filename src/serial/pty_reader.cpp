#include "serial/pty_reader.h"

#include <array>
#include <utility>

namespace korvanteslin {

namespace {

constexpr std::array<std::pair<speed_t, int>, 30> kSpeeds{{
    {B50, 50}, {B75, 75}, {B110, 110}, {B134, 134}, {B150, 150}, {B200, 200}, {B300, 300}, {B600, 600},
    {B1200, 1200}, {B1800, 1800}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600}, {B19200, 19200},
    {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
    {B500000, 500000}, {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000}, {B1152000, 1152000},
    {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
    {B3500000, 3500000}, {B4000000, 4000000},
}};

} // namespace

std::optional<PtyReader> ptyReader(int fd, const PortSettings& port)
{
    termios line{};
    if (::tcgetattr(fd, &line) != 0)
        return std::nullopt;
    PtyReader reader{port, line.c_iflag};
    const speed_t speed = ::cfgetospeed(&line);
    for (const auto& [constant, rate] : kSpeeds)
        if (constant == speed)
            reader.settings.baudRate = rate;
    reader.settings.stopBits = (line.c_cflag & CSTOPB) != 0 ? StopBits::Two : StopBits::One;
    return reader;
}

void setPtyLine(int fd, const PortSettings& port)
{
    termios line{};
    if (::tcgetattr(fd, &line) != 0)
        return;
    for (const auto& [constant, rate] : kSpeeds)
        if (rate == port.baudRate)
            ::cfsetspeed(&line, constant);
    line.c_cflag = port.stopBits == StopBits::Two ? (line.c_cflag | CSTOPB) : (line.c_cflag & ~tcflag_t(CSTOPB));
    ::tcsetattr(fd, TCSANOW, &line);
}

void ptyDeliver(const ReceivedChar& received, tcflag_t inputFlags, std::string& out)
{
    if (received.lineBreak) {
        if ((inputFlags & (IGNBRK | BRKINT)) == 0)
            out += '\0';
    } else if (received.parityError || received.framingError) {
        if ((inputFlags & INPCK) == 0)
            out += char(received.value);
        else if ((inputFlags & IGNPAR) == 0)
            out += '\0';
    } else {
        out += char(received.value);
    }
}

std::string ptyDelivery(const std::vector<ReceivedChar>& chars, tcflag_t inputFlags)
{
    std::string out;
    for (const ReceivedChar& received : chars)
        ptyDeliver(received, inputFlags, out);
    return out;
}

} // namespace korvanteslin
