#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

#include "control/words.h"

namespace korvanteslin {

// The head of a request as far as the guard looks at it: every value of each
// header it judges, in the order given.
struct RequestHead {
    QString method;
    QStringList hosts;
    QStringList origins;
    QStringList contentTypes;
    QStringList contentLengths;
    QStringList authorizations = {};
    QString path = {};
};

struct GuardRefusal {
    int status;
    Words error;
    bool askToken = false; // the reply says how to authenticate (WWW-Authenticate)
};

// Whether a request may reach the API at all, judged on its head alone,
// before a byte of its body is read. The API listens on loopback for the
// user's own tools; a web page the user happens to visit can reach loopback
// too, so:
//  - the Host must name the API itself (a page whose name was rebound to
//    127.0.0.1 carries its own name here);
//  - an Origin, which browsers add to what a page sends, must be the API's
//    own origin;
//  - a request that changes something must say its body is JSON: a browser
//    sends that type across origins only after asking first, and the API
//    never answers such a question with a yes.
// With a `token` the API may listen beyond loopback, under any name: every
// request but GET /health (a probe's) must then carry the token, which no
// page can know, instead of naming the API.
std::optional<GuardRefusal> guardRequest(const RequestHead& head, std::uint16_t port, const QByteArray& token = {});

} // namespace korvanteslin
