#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <cstddef>
#include <functional>
#include <vector>

#include "control/http_server.h"

namespace korvanteslin {

class Form1;
class FrameLog;
class Station;
class TcpFrameServer;

// The control API: each request does what the operator would do in the
// window, through the same handlers, and every reply is JSON.
class ControlApi {
public:
    // Long polls waiting at once; past this a poll that would wait gets 503.
    static constexpr std::size_t kMostLongPolls = 512;

    // Reads the run; acts through the window's handlers.
    ControlApi(Station& run, Form1& form, FrameLog& log);

    // The frames' TCP server, listed in GET /state when the run has one.
    void setTcpServer(const TcpFrameServer* server) { tcp = server; }

    void handle(const HttpRequest& request, HttpResponder responder);

    // What GET /state answers.
    QJsonObject state() const;

private:
    Station& run;
    Form1& form;
    FrameLog& log;
    const TcpFrameServer* tcp = nullptr;
    std::vector<HttpResponder> polls; // long polls waiting, and some answered since

};

} // namespace korvanteslin
