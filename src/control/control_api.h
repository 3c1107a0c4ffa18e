#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "control/http_server.h"

namespace korvanteslin {

class FrameLog;
class Station;
class TcpFrameServer;
class VirtualPort;

// The control API: each request does what the operator would do in the
// window, through the same actions of the run, and every reply is JSON.
class ControlApi {
public:
    // Long polls waiting at once; past this a poll that would wait gets 503.
    static constexpr std::size_t kMostLongPolls = 512;

    // `exit` does what Exit in the menu does.
    ControlApi(Station& run, FrameLog& log, std::function<void()> exit);

    // The frames' TCP server, listed in GET /state when the run has one.
    void setVirtualPort(const VirtualPort* port) { virtualPort = port; }
    void setTcpServers(const TcpFrameServer* raw, const TcpFrameServer* rfc2217Server)
    {
        tcp = raw;
        rfc2217 = rfc2217Server;
    }

    // A status and its JSON body.
    struct Reply {
        int status;
        QByteArray json;
    };

    void handle(const HttpRequest& request, HttpResponder responder);
    // The reply to any request but a poll that has to wait for a frame
    // (nothing then: handle() keeps it until the frame or its deadline).
    std::optional<Reply> answer(const HttpRequest& request);

    // What GET /state answers.
    QJsonObject state() const;

private:
    Station& run;
    FrameLog& log;
    std::function<void()> quit;
    const TcpFrameServer* tcp = nullptr;
    const TcpFrameServer* rfc2217 = nullptr;
    const VirtualPort* virtualPort = nullptr;
    std::vector<HttpResponder> polls; // long polls waiting, and some answered since

};

} // namespace korvanteslin
