#include "serial/tcp_frame_server.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>
#include <ostream>

#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#include <sys/ioctl.h>
#endif

namespace korvanteslin {

namespace {

// What a client sends is thrown away; this much at most is read at a time.
constexpr qint64 kReadChunk = 4096;

// Bytes the kernel may hold unsent for a client before its frames are
// dropped: more than a client that reads in bursts leaves there while its
// acknowledgements are delayed (at most 200 ms of frames at a 1 ms period),
// far less than the megabytes the kernel would keep for one that stopped.
constexpr int kUnsentLimit = 8192;

QString hostPort(QHostAddress host, quint16 port)
{
    // An IPv4 client of a dual-stack server is shown as the IPv4 address it is.
    bool mapped = false;
    const quint32 ipv4 = host.toIPv4Address(&mapped);
    if (mapped && host.protocol() == QAbstractSocket::IPv6Protocol)
        host = QHostAddress(ipv4);
    const QString text = host.toString();
    return host.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]:%2").arg(text).arg(port)
                                                            : QStringLiteral("%1:%2").arg(text).arg(port);
}

// Bytes the kernel holds for the socket that have not gone out yet; sent but
// unacknowledged ones do not count, so a far client with a long round trip
// is not taken for a stalled one.
int unsentInKernel(QTcpSocket& socket)
{
#ifdef Q_OS_LINUX
    int unsent = 0;
    if (::ioctl(int(socket.socketDescriptor()), SIOCOUTQNSD, &unsent) == 0)
        return unsent;
#else
    Q_UNUSED(socket);
#endif
    return 0;
}

} // namespace

struct TcpFrameServer::Client {
    QTcpSocket* socket; // a child of the server
    ClientCounts counts;
};

TcpFrameServer::TcpFrameServer(std::ostream& notes)
    : notes_(notes)
{
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
}

TcpFrameServer::~TcpFrameServer()
{
    // The sockets go with the server; none may call back into a half-destroyed line.
    for (const auto& client : clients_)
        QObject::disconnect(client->socket, nullptr, nullptr, nullptr);
}

std::variant<std::uint16_t, QString> TcpFrameServer::listen(const QString& address, std::uint16_t port)
{
    const QHostAddress host(address);
    const QString cannot = QStringLiteral("The frames' TCP server cannot listen on %1: %2").arg(hostPort(host, port));
    if (server_.isListening())
        return cannot.arg(QStringLiteral("it is listening already."));
    if (host.isNull())
        return cannot.arg(QStringLiteral("not a numeric address."));
    if (!server_.listen(host, port))
        return cannot.arg(server_.errorString());
    return server_.serverPort();
}

QString TcpFrameServer::address() const
{
    return hostPort(server_.serverAddress(), server_.serverPort());
}

std::uint16_t TcpFrameServer::port() const
{
    return server_.serverPort();
}

std::vector<TcpFrameServer::ClientCounts> TcpFrameServer::clients() const
{
    std::vector<ClientCounts> counts;
    for (const auto& client : clients_)
        counts.push_back(client->counts);
    return counts;
}

void TcpFrameServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const QString peer = hostPort(socket->peerAddress(), socket->peerPort());
        if (clients_.size() >= std::size_t(kMaxClients)) {
            socket->abort();
            socket->deleteLater();
            notes_ << QStringLiteral("Closed the TCP connection from %1: %2 clients are connected already, the most "
                                     "the frames' server takes.")
                          .arg(peer)
                          .arg(kMaxClients)
                          .toStdString()
                   << std::endl;
            continue;
        }
        // Each frame leaves the moment it is written, as it would leave a serial line.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // What a client sends is read as it comes, so it never piles up here.
        socket->setReadBufferSize(kReadChunk);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            while (socket->bytesAvailable() > 0)
                socket->skip(socket->bytesAvailable());
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] { forget(socket); });
        clients_.push_back(std::make_shared<Client>(Client{socket, {peer, 0, 0}}));
    }
}

void TcpFrameServer::forget(QTcpSocket* socket)
{
    const auto found = std::find_if(clients_.begin(), clients_.end(),
        [socket](const auto& client) { return client->socket == socket; });
    if (found == clients_.end())
        return;
    clients_.erase(found);
    socket->deleteLater();
}

bool TcpFrameServer::write(const QByteArray& frame)
{
    bool taken = false;
    // A copy: a client whose connection fails while it is written to leaves the list at once.
    const auto clients = clients_;
    for (const auto& client : clients)
        taken = offer(*client, frame) || taken;
    return taken;
}

// A frame reaches a client through two queues, and it is offered only when
// both have caught up:
//  - The socket's own buffer in this program. A frame is written only when it
//    is empty, and flushed at once; what the kernel does not take at once stays
//    there and follows when it can. The stream therefore never loses part of a
//    frame, and the program never holds more than the rest of one frame for a
//    client, however long it stalls.
//  - The kernel's send queue. For a client whose receive window is closed the
//    kernel keeps taking bytes until its send buffer (grown by the kernel to
//    megabytes) is full, and would hand that stale backlog over when the client
//    reads again. So a frame is also held back while the kernel still has
//    bytes it could not send. A small SO_SNDBUF would not do instead: the
//    kernel counts that buffer in whole memory blocks, one per small frame
//    until it is acknowledged, so a healthy client whose acknowledgements
//    come late would lose frames too.
bool TcpFrameServer::offer(Client& client, const QByteArray& frame)
{
    QTcpSocket& socket = *client.socket;
    if (socket.state() != QAbstractSocket::ConnectedState)
        return false;
    if (socket.bytesToWrite() > 0 || unsentInKernel(socket) > kUnsentLimit) {
        ++client.counts.dropped;
        return false;
    }
    if (socket.write(frame) != frame.size())
        return false; // the connection failed: it leaves the list
    ++client.counts.frames;
    socket.flush();
    return true;
}

} // namespace korvanteslin
