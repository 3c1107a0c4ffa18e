#pragma once

// A receiving program on a TCP connection: a plain socket the test reads
// whenever it likes, never waiting (or stops reading, to play a stalled one),
// while its own thread's event loop, or another process, serves.

#include <QByteArray>

#include <cerrno>
#include <cstdint>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvanteslin::test {

class TcpClient {
public:
    // `receiveBuffer`, when given, shrinks the socket's receive buffer, so that
    // a client that stops reading closes its window soon.
    TcpClient(const char* host, std::uint16_t port, int receiveBuffer = 0)
    {
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        ::inet_pton(AF_INET, host, &address.sin_addr);
        connect(receiveBuffer);
    }
    ~TcpClient() { close(); }
    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // A new connection to the same address, in place of the one there was.
    void connect(int receiveBuffer = 0)
    {
        close();
        received.clear();
        ended = false;
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0)
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            close();
    }

    bool connected() const { return fd >= 0; }
    int descriptor() const { return fd; }
    // Sends its end of the stream and goes on reading, as a half-closing client does.
    void finishSending() { ::shutdown(fd, SHUT_WR); }

    // The local port, as the server sees the client.
    std::uint16_t localPort() const
    {
        sockaddr_in local{};
        socklen_t size = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
        return ntohs(local.sin_port);
    }

    // Reads what has arrived, never waiting; `received` keeps all of it.
    // Returns what this call read.
    QByteArray read()
    {
        QByteArray got;
        char chunk[65536];
        while (fd >= 0 && !ended) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0)
                got.append(chunk, n);
            else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                ended = true;
            else if (errno != EINTR)
                break;
        }
        received += got;
        return got;
    }

    // Waits up to `timeoutMs` for something to read (or the end).
    bool wait(int timeoutMs) const
    {
        pollfd in{fd, POLLIN, 0};
        return fd >= 0 && ::poll(&in, 1, timeoutMs) > 0;
    }

    // Sends without waiting; returns how many bytes the kernel took.
    qint64 send(const QByteArray& bytes)
    {
        const ssize_t sent = ::send(fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        return sent < 0 ? 0 : sent;
    }

    QByteArray received;
    bool ended = false; // the server closed the connection

protected:
    sockaddr_in address{};
    int fd = -1;
};

// Whether `bytes` is whole twelve-byte frames as a ZMR-1 terminal sends them:
// each begins with STX and ends with CR.
inline bool wholeFrames(const QByteArray& bytes)
{
    if (bytes.size() % 12 != 0)
        return false;
    for (qsizetype at = 0; at < bytes.size(); at += 12)
        if (bytes[at] != '\x02' || bytes[at + 11] != '\r')
            return false;
    return true;
}

} // namespace korvanteslin::test
