#pragma once

#include "serial/client_protocol.h"
#include "serial/frame_outlet.h"
#include "shell/shell_messages.h"

#include <QString>

#include <string_view>
#include <QTcpServer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace korvanteslin {

// The frames on a TCP port, as a serial device server puts a terminal's line
// on the network: every client gets every frame, whole. In raw mode whatever
// a client sends is read and thrown away; a server made with a protocol
// (RFC 2217) gives each client one, which answers it and wraps its frames. A
// client that has sent all it will (a half-close) goes on receiving until it
// closes for good; at the limit it makes room for a new client.
class TcpFrameServer : public FrameLine {
public:
    static constexpr int kMaxClients = 32;

    // One connected client, as GET /state lists it.
    struct ClientCounts {
        QString peer;           // "127.0.0.1:54321", "[::1]:54321"
        quint64 frames = 0;     // handed to it whole
        quint64 dropped = 0;    // missed while it did not keep up
        std::optional<PortSettings> reader; // its end of the line, when its protocol tells
    };
    using ProtocolMaker = std::function<std::unique_ptr<ClientProtocol>()>;

    // `note` hears of each client turned away; `protocol` makes each client's
    // protocol (none: raw).
    explicit TcpFrameServer(std::function<void(const ShellMessage&)> note, ProtocolMaker protocol = {});
    ~TcpFrameServer() override;
    TcpFrameServer(const TcpFrameServer&) = delete;
    TcpFrameServer& operator=(const TcpFrameServer&) = delete;

    // Listens on a numeric address ("127.0.0.1", "0.0.0.0", "::1"); port 0
    // picks a free one. The port it listens on, or why it cannot.
    std::variant<std::uint16_t, ShellMessage> listen(const QString& address, std::uint16_t port);
    // Where it listens, as "HOST:PORT" ("[HOST]:PORT" for IPv6).
    QString address() const;
    std::uint16_t port() const;

    std::vector<ClientCounts> clients() const;

    // The port's line settings, for clients whose protocol tells their end of
    // the line: one set otherwise is noted once per change, and with
    // `strict` gets what its UART would decode from the port's line.
    void setPortLine(std::function<const PortSettings&()> port, bool strict)
    {
        portLine_ = std::move(port);
        strict_ = strict;
    }

    // True when at least one client took the frame.
    bool writePiece(const FramePiece& piece) override;
    // Pulled out: raw clients are disconnected and new ones turned away until
    // it is put back; a protocol's clients stay and are told (RFC 2217: DSR,
    // CTS and CD drop).
    void setPlugged(bool plugged) override;
    // Each client set otherwise than the port's new settings is noted again.
    void portLineChanged() override;

private:
    struct Client;
    // Hands each accepted descriptor over as it is, without a socket object
    // that would take a half-close for a hang-up.
    class Listener : public QTcpServer {
    public:
        std::function<void(qintptr)> accepted;

    protected:
        void incomingConnection(qintptr descriptor) override { accepted(descriptor); }
    };

    void accept(int fd);
    bool makeRoom();
    void drain(Client& client);
    void flushRest(Client& client);
    bool queue(Client& client, std::string_view bytes);
    void noteReader(Client& client);
    void forget(const Client& client);
    bool offer(Client& client, const FramePiece& piece);
    bool wantsFrame(const Client& client) const;

    std::function<void(const ShellMessage&)> note_;
    ProtocolMaker protocol_;
    std::function<const PortSettings&()> portLine_;
    bool strict_ = false;
    bool plugged_ = true;
    std::string wrapped_; // a frame as a client's protocol wraps it
    Listener server_;
    std::vector<std::shared_ptr<Client>> clients_;
};

} // namespace korvanteslin
