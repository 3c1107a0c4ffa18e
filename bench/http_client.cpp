#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <strings.h>

#include "line_probe.h"

namespace bench {

HttpClient::HttpClient(std::uint16_t port)
    : port_(port)
{
}

HttpClient::~HttpClient()
{
    disconnect();
}

void HttpClient::connect()
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        throw std::runtime_error("socket failed");
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        disconnect();
        throw std::runtime_error(std::string("cannot connect to the control API: ") + std::strerror(errno));
    }
}

void HttpClient::disconnect()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    pending_.clear();
}

HttpReply HttpClient::request(const std::string& method, const std::string& path, const std::string& body, bool fresh)
{
    std::string message = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n";
    if (!body.empty() || method == "POST" || method == "DELETE")
        message += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    message += "\r\n" + body;
    if (fresh)
        disconnect();
    HttpReply reply;
    for (int attempt = 0; attempt < 2; ++attempt) {
        reply.sent = monotonicNs();
        if (fd_ < 0)
            connect();
        if (exchange(message, reply))
            return reply;
        disconnect(); // the server had closed the kept connection: once more on a new one
    }
    throw std::runtime_error("no reply to " + method + " " + path);
}

// Sends the request and reads one reply whose length the headers give.
bool HttpClient::exchange(const std::string& message, HttpReply& reply)
{
    if (::send(fd_, message.data(), message.size(), MSG_NOSIGNAL) != ssize_t(message.size()))
        return false;
    std::string& in = pending_;
    std::size_t headerEnd;
    char buffer[16384];
    while ((headerEnd = in.find("\r\n\r\n")) == std::string::npos) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        in.append(buffer, std::size_t(n));
    }
    const std::string head = in.substr(0, headerEnd);
    reply.status = std::atoi(head.c_str() + head.find(' ') + 1);
    std::size_t length = 0;
    for (std::size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
        static const char kLength[] = "content-length:";
        if (strncasecmp(head.c_str() + at + 2, kLength, sizeof kLength - 1) == 0)
            length = std::strtoul(head.c_str() + at + 2 + sizeof kLength - 1, nullptr, 10);
    }
    while (in.size() < headerEnd + 4 + length) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        in.append(buffer, std::size_t(n));
    }
    reply.received = monotonicNs();
    reply.body = in.substr(headerEnd + 4, length);
    in.erase(0, headerEnd + 4 + length);
    return true;
}

} // namespace bench
