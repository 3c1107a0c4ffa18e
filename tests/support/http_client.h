#pragma once

// A plain HTTP client for the tests and the benches. A test runs it on a
// thread of its own while its own thread serves from the event loop, as the
// program does; a bench runs it against the program.

#include <QByteArray>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>

#include "tcp_client.h"

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
    std::int64_t sent = 0;     // when the request began to go out (steady clock, ns)
    std::int64_t received = 0; // when the reply had come whole
};

// Requests name their Host as this; the connection, which knows the port, fills it in.
inline constexpr char kHost[] = "{host}";

// An HTTP/1.1 client on one connection, kept alive between requests. It sends
// the bytes it is given as they are, and never waits more than five seconds
// for an answer; what it read past a reply stays in `received` for the next.
class Connection : public TcpClient {
public:
    explicit Connection(std::uint16_t port)
        : TcpClient("127.0.0.1", port)
    {
    }

    // All of `bytes`, waiting for room as needed.
    void send(QByteArray bytes)
    {
        bytes.replace(kHost, "127.0.0.1:" + QByteArray::number(ntohs(address.sin_port)));
        for (qsizetype at = 0; at < bytes.size();) {
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
        while ((end = received.indexOf("\r\n\r\n")) < 0)
            if (!more())
                return response;
        response.head = received.left(end);
        received.remove(0, end + 4);
        response.status = response.head.mid(9, 3).toInt();
        if (headOnly)
            return response;
        qsizetype length = 0;
        for (const QByteArray& line : response.head.split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        while (received.size() < length)
            if (!more())
                return response;
        response.body = received.left(length);
        received.remove(0, length);
        return response;
    }

    // The reply to HEAD has the head of GET's and nothing after it.
    Response exchange(const QByteArray& request)
    {
        headOnly = request.startsWith("HEAD ");
        const std::int64_t sent = now();
        send(request);
        Response response = receive();
        response.sent = sent;
        response.received = now();
        return response;
    }

    // As a session sends its requests: on the kept connection, made again
    // when the server has closed it, or a new one each time with `fresh`, as
    // a shell's curl makes (then the time to connect counts too). Throws
    // when no reply comes.
    Response request(const QByteArray& message, bool fresh = false)
    {
        for (int attempt = 0; attempt < 2; ++attempt, fresh = true) {
            const std::int64_t sent = now();
            if (fresh)
                connect();
            Response response = exchange(message);
            response.sent = sent;
            if (response.status != 0)
                return response;
        }
        throw std::runtime_error("no reply to " + message.left(message.indexOf('\r')).toStdString());
    }

private:
    static std::int64_t now() { return std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1); }
    bool more() { return wait(5000) && !read().isEmpty(); }

    bool headOnly = false;
};

inline QByteArray get(const QByteArray& target)
{
    return "GET " + target + " HTTP/1.1\r\nHost: " + kHost + "\r\n\r\n";
}

inline QByteArray post(const QByteArray& target, const QByteArray& body, const QByteArray& method = "POST")
{
    return method + " " + target + " HTTP/1.1\r\nHost: " + kHost + "\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace korvanteslin::test
