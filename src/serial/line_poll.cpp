#include "serial/line_poll.h"

#include <QSerialPort>

#if defined(Q_OS_UNIX)
#include <poll.h>
#endif

namespace korvanteslin {

LineState pollLine(const QSerialPort& port)
{
#if defined(Q_OS_UNIX)
    pollfd line{port.handle(), POLLOUT, 0};
    if (::poll(&line, 1, 0) < 0)
        return LineState::Ready; // let the write itself report what is wrong
    if ((line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return LineState::HungUp;
    return (line.revents & POLLOUT) != 0 ? LineState::Ready : LineState::Busy;
#else
    // Windows writes are overlapped: a full line never fails a write there.
    Q_UNUSED(port);
    return LineState::Ready;
#endif
}

} // namespace korvanteslin
