#include "pty_pair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace korvanteslin::test {

PtyPair::PtyPair()
{
    std::array<char, 128> name{};
    if (::openpty(&master_, &slave_, name.data(), nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    slavePath_ = QString::fromLocal8Bit(name.data());
    // Raw, so the master hands over exactly the bytes that were sent.
    termios tio{};
    ::tcgetattr(master_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(master_, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    closeMaster();
    ::close(slave_);
}

void PtyPair::send(const QByteArray& bytes)
{
    if (::write(master_, bytes.constData(), static_cast<std::size_t>(bytes.size())) != bytes.size())
        throw std::runtime_error(std::string("write to pty master: ") + std::strerror(errno));
}

void PtyPair::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

QByteArray PtyPair::read(qsizetype count, int timeoutMs)
{
    QByteArray data;
    const QDeadlineTimer deadline(timeoutMs);
    while (data.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        pollfd master{master_, POLLIN, 0};
        if (::poll(&master, 1, 20) <= 0)
            continue;
        std::array<char, 4096> chunk{};
        const auto got = ::read(master_, chunk.data(), chunk.size());
        if (got > 0)
            data.append(chunk.data(), got);
    }
    return data;
}

} // namespace korvanteslin::test
