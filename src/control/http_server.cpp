#include "control/http_server.h"
#include "serial/listen_socket.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include "control/http_wire.h"
#include "control/request_guard.h"

namespace korvanteslin {

namespace detail {

// One request on its way through the server, shared by the connection and
// whoever holds its responder.
struct HttpExchange {
    HttpServer* server = nullptr;         // null once the server is gone
    MHD_Connection* connection = nullptr; // null once the connection is over
    QByteArray body;
    bool tooLarge = false;
    bool handled = false;   // the handler has seen it
    bool suspended = false; // waiting for a reply given later
    bool answered = false;
    int status = 0;
    QByteArray reply;
};

// Lives as long as any copy of a responder: the last one to go answers for
// a handler that forgot to, so that no connection stays suspended for ever.
struct HttpPendingReply {
    std::shared_ptr<HttpExchange> exchange;

    ~HttpPendingReply() { give(500, R"({"error": "the request was left unanswered"})"); }

    void give(int status, const QByteArray& json)
    {
        HttpExchange& ex = *exchange;
        if (ex.answered)
            return;
        ex.answered = true;
        ex.status = status;
        ex.reply = json;
        // A client that went away meanwhile is noticed by the library once resumed.
        if (ex.suspended && ex.connection && ex.server) {
            ex.suspended = false;
            MHD_resume_connection(ex.connection);
            ex.server->runSoon();
        }
    }
};

} // namespace detail

using detail::HttpExchange;
using detail::HttpPendingReply;

namespace {

const Wording kTooLarge{"the body is larger than 65536 bytes",
    "тело запроса больше 65536 байт"};

QByteArray errorJson(const QString& error)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("error"), error}}).toJson(QJsonDocument::Compact);
}

unsigned openConnections(MHD_Daemon* daemon)
{
    return MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS)->num_connections;
}

} // namespace

void HttpResponder::reply(int status, const QByteArray& json)
{
    pending->give(status, json);
}

bool HttpResponder::replied() const
{
    return pending->exchange->answered;
}

HttpResponder::HttpResponder(std::shared_ptr<HttpPendingReply> pending_) : pending(std::move(pending_)) {}

struct HttpServer::Callbacks {
    // Called when the headers are in, for each piece of the body, and when the
    // request is complete; again after a resume.
    static MHD_Result request(void* self, MHD_Connection* connection, const char* url, const char* method,
        const char*, const char* upload, std::size_t* uploadSize, void** context)
    {
        auto& server = *static_cast<HttpServer*>(self);
        if (server.stopping)
            return MHD_NO;
        auto* ex = static_cast<HttpExchange*>(*context);
        if (!ex)
            return begin(server, connection, url, method, context);
        if (*uploadSize != 0) {
            take(*ex, upload, *uploadSize);
            *uploadSize = 0;
            return MHD_YES;
        }
        if (ex->tooLarge)
            return queue(connection, 413, errorJson(kTooLarge.in(server.language())));
        if (!ex->handled)
            handle(server, *ex, connection, url, method);
        if (ex->answered)
            return queue(connection, ex->status, ex->reply);
        if (server.stopping)
            return MHD_NO;
        ex->suspended = true;
        MHD_suspend_connection(connection);
        return MHD_YES;
    }

    static MHD_Result begin(
        HttpServer& server, MHD_Connection* connection, const char* url, const char* method, void** context)
    {
        auto ex = std::make_shared<HttpExchange>();
        ex->server = &server;
        ex->connection = connection;
        *context = ex.get();
        server.exchanges.emplace(ex.get(), ex);
        // Refused before a byte of it is read; the library then closes the connection.
        RequestHead head{QString::fromUtf8(method), {}, {}, {}, {}, {}, QString::fromUtf8(url)};
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &addHeader, &head);
        if (const auto refusal = guardRequest(head, server.port_, server.token_))
            return queue(connection, refusal->status, errorJson(refusal->error.in(server.language())), refusal->askToken);
        const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
        if (length && std::strtoull(length, nullptr, 10) > kMaxBody)
            return queue(connection, 413, errorJson(kTooLarge.in(server.language())));
        return MHD_YES;
    }

    // A body without a length is counted as it comes; past the limit the rest is read and thrown away.
    static void take(HttpExchange& ex, const char* upload, std::size_t size)
    {
        if (ex.tooLarge)
            return;
        if (std::size_t(ex.body.size()) + size > kMaxBody) {
            ex.tooLarge = true;
            ex.body = QByteArray();
            return;
        }
        ex.body.append(upload, qsizetype(size));
    }

    static void handle(HttpServer& server, HttpExchange& ex, MHD_Connection* connection, const char* url,
        const char* method)
    {
        ex.handled = true;
        HttpRequest request{QString::fromUtf8(method), QString::fromUtf8(url), {}, std::exchange(ex.body, {})};
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &addArgument, &request.query);
        auto pending = std::make_shared<HttpPendingReply>();
        pending->exchange = server.exchanges.at(&ex);
        server.handler(request, HttpResponder(std::move(pending)));
    }

    static void completed(void* self, MHD_Connection*, void** context, MHD_RequestTerminationCode)
    {
        auto* ex = static_cast<HttpExchange*>(*context);
        if (!ex)
            return;
        *context = nullptr;
        ex->connection = nullptr;
        ex->suspended = false;
        static_cast<HttpServer*>(self)->exchanges.erase(ex);
    }

    static void connectionNotice(void* self, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code)
    {
        auto& server = *static_cast<HttpServer*>(self);
        if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
            server.connections.erase(connection);
            return;
        }
        server.connections.emplace(
            connection, MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)->connect_fd);
        if (!server.sweepTimer.isActive())
            server.sweepTimer.start();
    }

    // The library's own notes (a client that broke off, a refused
    // connection) are not the user's business: the server says what matters.
    static void log(void*, const char*, va_list) {}
};

HttpServer::HttpServer(Handler handler_) : handler(std::move(handler_))
{
    runTimer.setSingleShot(true);
    QObject::connect(&runTimer, &QTimer::timeout, [this] { run(); });
    sweepTimer.setInterval(kSweepMs);
    QObject::connect(&sweepTimer, &QTimer::timeout, [this] { sweepHungUp(); });
}

HttpServer::~HttpServer()
{
    stopping = true;
    if (daemon) {
        // Stopping the library with a connection still suspended is not allowed:
        // resume them all and let it close them.
        for (auto& [key, ex] : exchanges) {
            if (ex->suspended) {
                ex->suspended = false;
                MHD_resume_connection(ex->connection);
            }
        }
        MHD_run(daemon);
        notifier.reset();
        MHD_stop_daemon(daemon);
    }
    for (auto& [key, ex] : exchanges) {
        ex->server = nullptr;
        ex->connection = nullptr;
    }
}

std::variant<std::uint16_t, ShellMessage> HttpServer::listen(const QString& address, std::uint16_t port)
{
    const QHostAddress host(address);
    const QString where = host.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]:%2").arg(address).arg(port)
        : QStringLiteral("%1:%2").arg(address).arg(port);
    const auto refused = [&](int error) { return failureAt(MessageId::ControlCannotListen, where.toStdString(), error); };
    if (daemon)
        return refused(EALREADY);
    int error = 0;
    const int fd = listenOn(host, port, error);
    if (fd < 0)
        return refused(error);

    // The library takes the socket over and closes it when it stops.
    daemon = MHD_start_daemon(MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG, 0, nullptr, nullptr,
        &Callbacks::request, this,
        MHD_OPTION_LISTEN_SOCKET, fd,
        MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::completed, this,
        MHD_OPTION_NOTIFY_CONNECTION, &Callbacks::connectionNotice, this,
        MHD_OPTION_EXTERNAL_LOGGER, &Callbacks::log, nullptr,
        MHD_OPTION_UNESCAPE_CALLBACK, &unescape, nullptr,
        // Past the limit new clients wait in the kernel's queue, holding none
        // of the program's descriptors.
        MHD_OPTION_CONNECTION_LIMIT, connectionLimit(),
        // A connection that sends nothing for this long, a request cut short
        // or an idle keep-alive one, is closed; a long poll is suspended
        // meanwhile and does not time out.
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds,
        MHD_OPTION_END);
    if (!daemon)
        return refused(EIO);

    port_ = boundPort(fd);
    notifier = std::make_unique<QSocketNotifier>(MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_EPOLL_FD)->epoll_fd,
        QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &runTimer, [this] { run(); });
    run();
    return port_;
}

void HttpServer::run()
{
    // A handler may run a nested event loop (a message box): the library is
    // not entered twice, and its descriptor is not watched meanwhile.
    if (!daemon || running)
        return;
    running = true;
    runAgain = false;
    notifier->setEnabled(false);
    // A few passes at once while the library has work ready: a reply queued by
    // a handler leaves in the same event-loop pass.
    MHD_UNSIGNED_LONG_LONG timeout = 0;
    bool timed = false;
    for (int pass = 0; pass < 4; ++pass) {
        const unsigned before = openConnections(daemon);
        MHD_run(daemon);
        // At its connection limit the library stops watching for new clients
        // and starts again only at the beginning of its next run. A run that
        // closed connections is therefore followed by another at once:
        // otherwise, with nothing else to do, the library would not be run
        // again and the waiting clients never accepted.
        const bool closedSome = openConnections(daemon) < before;
        timed = MHD_get_timeout(daemon, &timeout) == MHD_YES;
        if (closedSome && (!timed || timeout > 0)) {
            MHD_run(daemon);
            timed = MHD_get_timeout(daemon, &timeout) == MHD_YES;
        }
        if (!timed || timeout > 0)
            break;
    }
    notifier->setEnabled(true);
    running = false;
    if (runAgain || (timed && timeout == 0))
        runTimer.start(0);
    else if (timed)
        runTimer.start(int(std::min<MHD_UNSIGNED_LONG_LONG>(timeout, INT_MAX)));
    else
        runTimer.stop();
}

// The library misses a client that hangs up in two cases: while its request
// is suspended (it does not look at the connection then), and when the end
// of the stream comes with the last bytes of an unfinished request (it takes
// a short read for "nothing more" and never reads the end). Either would
// hold the connection until its timeout, or for good at the limit. So every
// open connection is looked at a few times a second: a suspended one whose
// client has gone is answered, so that the library ends it; any other gets
// its socket shut, which the library sees and ends it.
void HttpServer::sweepHungUp()
{
    if (connections.empty()) {
        sweepTimer.stop();
        return;
    }
    std::vector<pollfd> watched;
    std::vector<MHD_Connection*> owners;
    for (const auto& [connection, fd] : connections) {
        watched.push_back({fd, POLLRDHUP, 0});
        owners.push_back(connection);
    }
    if (::poll(watched.data(), watched.size(), 0) <= 0)
        return;
    for (std::size_t i = 0; i < watched.size(); ++i) {
        char byte;
        if (!(watched[i].revents & (POLLRDHUP | POLLHUP | POLLERR))
            || ::recv(watched[i].fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0)
            continue; // still there, or bytes the library has yet to read
        // A client that has sent all it will may still be reading its reply:
        // the library finishes that and closes the connection itself.
        if (MHD_get_connection_info(owners[i], MHD_CONNECTION_INFO_HTTP_STATUS))
            continue;
        hungUp(owners[i], watched[i].fd);
    }
}

void HttpServer::hungUp(MHD_Connection* connection, int fd)
{
    for (const auto& [key, ex] : exchanges) {
        if (ex->connection == connection && ex->suspended) {
            auto pending = std::make_shared<HttpPendingReply>();
            pending->exchange = ex;
            pending->give(400, R"({"error": "the client went away"})");
            return;
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    runSoon();
}

// Never runs the library from here: a reply may be given deep inside another
// part of the program (a frame being written), which must not see other
// requests handled in the middle of it.
void HttpServer::runSoon()
{
    runAgain = true;
    if (!running)
        runTimer.start(0);
}

} // namespace korvanteslin
