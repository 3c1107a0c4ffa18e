#include "serial/line_poll.h"

#include <QSerialPort>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace korvanteslin {

namespace {

// A real line still sending the previous frame: the driver would queue the
// new one behind it and a slow line would fall ever further behind.
int unsentBytes(const QSerialPort& port)
{
    int unsent = 0;
    return ::ioctl(port.handle(), TIOCOUTQ, &unsent) == 0 ? unsent : 0;
}

} // namespace

LineState pollLine(const QSerialPort& port)
{
    pollfd line{port.handle(), POLLOUT, 0};
    if (::poll(&line, 1, 0) < 0)
        return LineState::Ready; // let the write itself report what is wrong
    if ((line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return LineState::HungUp;
    return (line.revents & POLLOUT) == 0 ? LineState::Busy : LineState::Ready;
}

LineState lineRoom(const QSerialPort& port, bool pseudoTerminal)
{
    // A pseudo-terminal has no queue of its own to ask about, and its write
    // tells both other cases: EAGAIN when the reader left no room, EIO when
    // the far end closed. Asking first would cost a system call every frame.
    if (pseudoTerminal)
        return LineState::Ready;
    return unsentBytes(port) > 0 ? LineState::Busy : LineState::Ready;
}

} // namespace korvanteslin
