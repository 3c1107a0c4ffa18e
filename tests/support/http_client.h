#pragma once

// A plain HTTP client for tests: blocking sockets on a thread of their own,
// while the test's thread serves from its event loop, as the program does.

#include <QByteArray>
#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <optional>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvanteslin::test {

// The client side runs on its own thread with plain blocking sockets, while
// this thread's event loop serves, as it does in the program.
template <typename Client>
auto serveWhile(Client client)
{
    QEventLoop loop;
    std::optional<decltype(client())> result;
    std::thread thread([&] {
        result.emplace(client());
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    thread.join();
    return std::move(*result);
}

// Runs the event loop until `done` holds or the time is up.
inline bool serveUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    check.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

struct Response {
    int status = 0;
    QByteArray head;
    QByteArray body;
};

// Requests name their Host as this; the connection, which knows the port, fills it in.
inline constexpr char kHost[] = "{host}";

// A plain TCP connection; it never waits more than five seconds for an answer.
class Connection {
public:
    explicit Connection(std::uint16_t port)
        : authority("127.0.0.1:" + QByteArray::number(port))
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval limit{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            close();
    }
    ~Connection() { close(); }
    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    // Its end of the stream, as a client that has said all it will.
    void finishSending() { ::shutdown(fd, SHUT_WR); }

    void send(QByteArray bytes)
    {
        bytes.replace(kHost, authority);
        for (qsizetype at = 0; at < bytes.size() && fd >= 0;) {
            const ssize_t sent = ::send(fd, bytes.constData() + at, std::size_t(bytes.size() - at), MSG_NOSIGNAL);
            if (sent <= 0)
                return;
            at += sent;
        }
    }

    // One response: the head up to the blank line, then Content-Length bytes.
    Response receive()
    {
        Response response;
        qsizetype end;
        while ((end = buffer.indexOf("\r\n\r\n")) < 0)
            if (!fill())
                return response;
        response.head = buffer.left(end);
        buffer.remove(0, end + 4);
        response.status = response.head.mid(9, 3).toInt();
        if (headOnly)
            return response;
        qsizetype length = 0;
        for (const QByteArray& line : response.head.split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        while (buffer.size() < length)
            if (!fill())
                return response;
        response.body = buffer.left(length);
        buffer.remove(0, length);
        return response;
    }

    // The reply to HEAD has the head of GET's and nothing after it.
    Response exchange(const QByteArray& request)
    {
        headOnly = request.startsWith("HEAD ");
        send(request);
        return receive();
    }

private:
    bool fill()
    {
        char chunk[8192];
        const ssize_t got = fd < 0 ? -1 : ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0)
            return false;
        buffer.append(chunk, got);
        return true;
    }

    int fd = -1;
    QByteArray authority;
    QByteArray buffer;
    bool headOnly = false;
};

inline QByteArray get(const QByteArray& target)
{
    return "GET " + target + " HTTP/1.1\r\nHost: " + kHost + "\r\n\r\n";
}

inline QByteArray post(const QByteArray& target, const QByteArray& body)
{
    return "POST " + target + " HTTP/1.1\r\nHost: " + kHost + "\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace korvanteslin::test
