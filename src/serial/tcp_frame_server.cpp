#include "serial/tcp_frame_server.h"
#include "serial/listen_socket.h"

#include <QHostAddress>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvanteslin {

namespace {

// What a client sends is thrown away; this much at most is read at a time.
constexpr qint64 kReadChunk = 4096;

// Bytes the kernel may hold unsent for a client before its frames are
// dropped: more than a client that reads in bursts leaves there while its
// acknowledgements are delayed (at most 200 ms of frames at a 1 ms period),
// far less than the megabytes the kernel would keep for one that stopped.
constexpr int kUnsentLimit = 8192;

// A client that keeps asking and never reads its answers is let go when
// this much of them waits.
constexpr std::size_t kAnswerLimit = 65536;

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
int unsentInKernel(int fd)
{
    int unsent = 0;
    return ::ioctl(fd, SIOCOUTQNSD, &unsent) == 0 ? unsent : 0;
}

QString peerOf(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return QStringLiteral("?");
    QHostAddress host(reinterpret_cast<const sockaddr*>(&address));
    const quint16 port = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(address).sin6_port
                                                              : reinterpret_cast<const sockaddr_in&>(address).sin_port);
    return hostPort(host, port);
}

} // namespace

struct TcpFrameServer::Client {
    int fd;
    ClientCounts counts;
    std::unique_ptr<QSocketNotifier> reading;
    std::unique_ptr<QSocketNotifier> writing;
    std::unique_ptr<ClientProtocol> protocol;
    std::optional<PortSettings> readerNoted; // its end of the line when last looked at
    std::string rest;   // the part of a frame or an answer the kernel has not taken yet
    bool ended = false; // the client sent its end of the stream
    bool taking = false; // it took the frame now leaving: the frame's later pieces go too

    ~Client()
    {
        // May go from inside one of its own notifiers' signals.
        for (auto* notifier : {&reading, &writing}) {
            if (*notifier) {
                (*notifier)->setEnabled(false);
                notifier->release()->deleteLater();
            }
        }
        ::close(fd);
    }
};

TcpFrameServer::TcpFrameServer(std::function<void(const ShellMessage&)> note, ProtocolMaker protocol)
    : note_(std::move(note))
    , protocol_(std::move(protocol))
{
    server_.accepted = [this](qintptr fd) { accept(int(fd)); };
}

TcpFrameServer::~TcpFrameServer() = default;

std::variant<std::uint16_t, ShellMessage> TcpFrameServer::listen(const QString& address, std::uint16_t port)
{
    const QHostAddress host(address);
    int error = EALREADY;
    const int fd = server_.isListening() ? -1 : listenOn(host, port, error);
    if (fd < 0 || !server_.setSocketDescriptor(fd))
        return failureAt(protocol_ ? MessageId::Rfc2217CannotListen : MessageId::TcpCannotListen,
            hostPort(host, port).toStdString(), fd < 0 ? error : EINVAL);
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
    for (const auto& client : clients_) {
        counts.push_back(client->counts);
        if (client->protocol)
            counts.back().reader = client->protocol->readerSettings();
    }
    return counts;
}

void TcpFrameServer::accept(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    if (!plugged_ && !protocol_) {
        ::close(fd); // no cable: nobody gets through to the terminal
        return;
    }
    const QString peer = peerOf(fd);
    if (clients_.size() >= std::size_t(kMaxClients) && !makeRoom()) {
        ::close(fd);
        note_(countAt(protocol_ ? MessageId::Rfc2217ClientRefused : MessageId::TcpClientRefused, peer.toStdString(),
            kMaxClients));
        return;
    }
    // Each frame leaves the moment it is written, as it would leave a serial line.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto client = std::make_shared<Client>();
    client->fd = fd;
    client->counts = {peer, 0, 0, std::nullopt};
    client->reading = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    client->writing = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    client->writing->setEnabled(false);
    Client* raw = client.get();
    QObject::connect(client->reading.get(), &QSocketNotifier::activated, client->reading.get(), [this, raw] { drain(*raw); });
    QObject::connect(client->writing.get(), &QSocketNotifier::activated, client->writing.get(), [this, raw] { flushRest(*raw); });
    clients_.push_back(std::move(client));
    if (protocol_) {
        raw->protocol = protocol_();
        if (!plugged_) {
            std::string told;
            raw->protocol->cablePlugged(false, told);
        }
        if (!queue(*raw, raw->protocol->opening()))
            forget(*raw);
    }
}

// A client that has sent its end of the stream may have closed for good:
// that shows only when a frame meets its reset. At the limit, the oldest of
// them gives its place to the newcomer.
bool TcpFrameServer::makeRoom()
{
    for (const auto& client : std::vector(clients_))
        drain(*client);
    const auto ended = std::find_if(clients_.begin(), clients_.end(), [](const auto& client) { return client->ended; });
    if (ended == clients_.end())
        return clients_.size() < std::size_t(kMaxClients);
    clients_.erase(ended);
    return true;
}

// What a client sends is read as it comes, so it never piles up: answered by
// its protocol, or thrown away.
void TcpFrameServer::drain(Client& client)
{
    char chunk[kReadChunk];
    while (!client.ended) {
        const ssize_t got = ::recv(client.fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got > 0 && client.protocol) {
            std::string answer;
            if (!client.protocol->take({chunk, std::size_t(got)}, answer) || !queue(client, answer))
                return forget(client);
            noteReader(client);
        }
        if (got > 0)
            continue;
        if (got == 0) {
            client.ended = true;
            client.reading->setEnabled(false); // an ended stream is always readable
        } else if (errno != EAGAIN && errno != EINTR) {
            forget(client);
        }
        return;
    }
}

void TcpFrameServer::flushRest(Client& client)
{
    const ssize_t sent = ::send(client.fd, client.rest.data(), client.rest.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && errno != EAGAIN && errno != EINTR)
        return forget(client);
    if (sent > 0)
        client.rest.erase(0, std::size_t(sent));
    client.writing->setEnabled(!client.rest.empty());
}

// Bytes that must reach the client whatever happens to the frames (a
// protocol's answers): after what is held for it, or at once. False when the
// client is gone or has left too much unread.
bool TcpFrameServer::queue(Client& client, std::string_view bytes)
{
    if (bytes.empty())
        return true;
    if (!client.rest.empty()) {
        client.rest.append(bytes);
        return client.rest.size() <= kAnswerLimit;
    }
    const ssize_t sent = ::send(client.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && errno != EAGAIN && errno != EINTR)
        return false;
    if (sent < ssize_t(bytes.size())) {
        client.rest = bytes.substr(std::size_t(std::max<ssize_t>(sent, 0)));
        client.writing->setEnabled(true);
    }
    return true;
}

// A client that sets its end of the line otherwise than the port's is told
// of once for each setting it makes.
void TcpFrameServer::noteReader(Client& client)
{
    const std::optional<PortSettings> reader = client.protocol->readerSettings();
    if (!portLine_ || reader == client.readerNoted)
        return;
    client.readerNoted = reader;
    if (reader && *reader != portLine_())
        note_(refusalOf(MessageId::ReaderSetOtherwise, client.counts.peer.toStdString(), formatPortSettings(*reader)));
}

void TcpFrameServer::portLineChanged()
{
    for (const auto& client : clients_) {
        if (!client->protocol)
            continue;
        client->readerNoted.reset();
        noteReader(*client);
    }
}

void TcpFrameServer::forget(const Client& client)
{
    const auto found = std::find_if(clients_.begin(), clients_.end(),
        [&client](const auto& held) { return held.get() == &client; });
    if (found != clients_.end())
        clients_.erase(found);
}

void TcpFrameServer::setPlugged(bool plugged)
{
    plugged_ = plugged;
    if (!protocol_) {
        if (!plugged)
            clients_.clear();
        return;
    }
    for (const auto& client : std::vector(clients_)) {
        std::string told;
        client->protocol->cablePlugged(plugged, told);
        if (!queue(*client, told))
            forget(*client);
    }
}

bool TcpFrameServer::writePiece(const FramePiece& piece)
{
    bool taken = false;
    // A copy: a client whose connection fails while it is written to leaves the list at once.
    const auto clients = clients_;
    for (const auto& client : clients)
        taken = offer(*client, piece) || taken;
    return taken;
}

// A frame reaches a client through two queues, and it is offered only when
// both have caught up:
//  - What this program holds for the client. A frame is written only when
//    nothing is held, at once; what the kernel does not take at once is held
//    and follows when it can. The stream therefore never loses part of a
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
bool TcpFrameServer::wantsFrame(const Client& client) const
{
    return client.rest.empty() && unsentInKernel(client.fd) <= kUnsentLimit
        && !(client.protocol && client.protocol->holdsFrames());
}

// A frame's later pieces follow its first to a client that took it, through
// what is held for it when the kernel has not taken all yet.
bool TcpFrameServer::offer(Client& client, const FramePiece& piece)
{
    if (piece.first()) {
        client.taking = wantsFrame(client);
        if (!client.taking) {
            ++client.counts.dropped;
            return false;
        }
        ++client.counts.frames;
    } else if (!client.taking) {
        return false;
    }
    std::string_view bytes = piece.bytes();
    if (client.protocol) {
        wrapped_.clear();
        client.protocol->wrap(piece, strict_ && portLine_ ? &portLine_() : nullptr, wrapped_);
        bytes = wrapped_;
    }
    if (!queue(client, bytes)) {
        forget(client); // closed for good, or the connection failed
        return false;
    }
    return true;
}

} // namespace korvanteslin
