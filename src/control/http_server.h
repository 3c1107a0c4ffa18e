#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <variant>

class QSocketNotifier;
struct MHD_Daemon;
struct MHD_Connection;

#include "emulation/names.h"
#include "shell/shell_messages.h"

namespace korvanteslin {

namespace detail {
struct HttpExchange;
struct HttpPendingReply;
} // namespace detail

struct HttpRequest {
    QString method;               // "GET", "POST", …
    QString path;                 // "/frames", without the query
    QMap<QString, QString> query; // decoded; a name given twice keeps its last value
    QByteArray body;
};

// The answer to one request: given at once inside the handler, or kept (a
// long poll) and given later from the same thread. The first reply counts.
// When every copy is gone without a reply, the client gets a 500.
class HttpResponder {
public:
    void reply(int status, const QByteArray& json);
    bool replied() const;

private:
    friend class HttpServer;
    explicit HttpResponder(std::shared_ptr<detail::HttpPendingReply> pending);
    std::shared_ptr<detail::HttpPendingReply> pending;
};

// A small HTTP/1.1 server run by the calling thread's Qt event loop: no
// threads of its own, so handlers need no locks. Every reply is JSON.
class HttpServer {
public:
    using Handler = std::function<void(const HttpRequest&, HttpResponder)>;

    static constexpr std::size_t kMaxBody = 64 * 1024; // larger bodies get 413, unread
    static constexpr unsigned kIdleSeconds = 10;         // a connection silent this long is closed

    explicit HttpServer(Handler handler);
    ~HttpServer();
    // The interface language the server's own refusals are worded in.
    void setLanguage(std::function<Language()> source) { language = std::move(source); }
    // Every request but GET /health must carry `token` (empty: none needed;
    // the request must name the API instead).
    void setToken(QByteArray token) { token_ = std::move(token); }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on a numeric address ("127.0.0.1", "::1"); port 0 picks a free
    // one. The port it listens on, or why it cannot.
    std::variant<std::uint16_t, ShellMessage> listen(const QString& address, std::uint16_t port);
    std::uint16_t port() const { return port_; }

private:
    struct Callbacks; // the library's calls into the server
    friend struct Callbacks;
    friend struct detail::HttpPendingReply;

    void run();
    void runSoon();
    void sweepHungUp();
    void hungUp(MHD_Connection* connection, int fd);

    Handler handler;
    MHD_Daemon* daemon = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer runTimer;
    bool running = false;  // inside the library's run
    bool runAgain = false; // a reply came meanwhile
    bool stopping = false;
    std::uint16_t port_ = 0;
    QByteArray token_;
    std::function<Language()> language = [] { return Language::English; };
    std::unordered_map<detail::HttpExchange*, std::shared_ptr<detail::HttpExchange>> exchanges; // requests whose connection is open
    std::unordered_map<MHD_Connection*, int> connections; // every open connection and its socket
    QTimer sweepTimer;
    static constexpr int kSweepMs = 250;
};

} // namespace korvanteslin
