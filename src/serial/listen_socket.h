#pragma once

#include <QHostAddress>

#include <cstdint>

namespace korvanteslin {

// A TCP socket bound to `host` (a numeric address) and `port` (0: a free
// one) and listening, close-on-exec and non-blocking: its descriptor, or -1
// and the system's reason in `error`. Made here rather than by the servers'
// libraries so that a refusal is a plain errno, worded like every other.
int listenOn(const QHostAddress& host, std::uint16_t port, int& error);

// The port a listening socket was given.
std::uint16_t boundPort(int fd);

} // namespace korvanteslin
