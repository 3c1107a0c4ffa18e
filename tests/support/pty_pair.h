#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>

#include <algorithm>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace korvanteslin::test {

// A pseudo-terminal pair standing in for a serial cable: the port under test
// opens the slave by path, the test reads what arrives on the master.
class PtyPair {
public:
    PtyPair()
    {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        slavePath_ = QString::fromLocal8Bit(name);
        // Raw, so the master hands over exactly the bytes that were sent.
        termios tio{};
        ::tcgetattr(master_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(master_, TCSANOW, &tio);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() { release(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const QString& slavePath() const { return slavePath_; }
    int master() const { return master_; } // for a reader of its own
    int slave() const { return slave_; } // the test's own handle, for looking at the line settings

    // Hangs up the slave side, as when the far end of a cable goes away.
    void closeMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    // Gives the terminal up altogether: once the port under test has let go
    // too, its /dev/pts number is free for the next terminal anyone opens.
    void release()
    {
        closeMaster();
        if (slave_ >= 0)
            ::close(slave_);
        slave_ = -1;
    }

    // Reads until at least `count` bytes arrived or `timeoutMs` passed. The Qt
    // event loop runs in between, so output the port still holds can leave.
    QByteArray read(qsizetype count, int timeoutMs)
    {
        QByteArray data;
        for (const QDeadlineTimer deadline(timeoutMs); data.size() < count && !deadline.hasExpired();) {
            QCoreApplication::processEvents();
            pollfd master{master_, POLLIN, 0};
            char chunk[4096];
            if (::poll(&master, 1, 20) > 0)
                data.append(chunk, std::max<ssize_t>(0, ::read(master_, chunk, sizeof chunk)));
        }
        return data;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

} // namespace korvanteslin::test
