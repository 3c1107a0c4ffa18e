#include "serial/listen_socket.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvanteslin {

int listenOn(const QHostAddress& host, std::uint16_t port, int& error)
{
    sockaddr_storage address{};
    socklen_t length = 0;
    if (host.protocol() == QAbstractSocket::IPv4Protocol) {
        auto& ipv4 = reinterpret_cast<sockaddr_in&>(address);
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(port);
        ipv4.sin_addr.s_addr = htonl(host.toIPv4Address());
        length = sizeof ipv4;
    } else if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        auto& ipv6 = reinterpret_cast<sockaddr_in6&>(address);
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = host.toIPv6Address();
        std::memcpy(&ipv6.sin6_addr, bytes.c, sizeof bytes.c);
        if (!host.scopeId().isEmpty())
            ipv6.sin6_scope_id = ::if_nametoindex(host.scopeId().toLocal8Bit().constData());
        length = sizeof ipv6;
    } else {
        error = EINVAL;
        return -1;
    }
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    const int on = 1;
    // A port just left by an ended run is taken again at once.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (address.ss_family == AF_INET6)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    return fd;
}

std::uint16_t boundPort(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(address).sin6_port
                                               : reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

} // namespace korvanteslin
