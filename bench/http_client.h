#pragma once

// A small blocking HTTP/1.1 client for the control API, on one kept-alive
// connection, the way a test suite's session drives it.

#include <cstdint>
#include <string>

namespace bench {

struct HttpReply {
    int status = 0;
    std::string body;
    std::int64_t sent = 0;     // when the request began to go out (monotonic ns)
    std::int64_t received = 0; // when the last byte of the reply was read
};

class HttpClient {
public:
    explicit HttpClient(std::uint16_t port);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // One request; the connection is made again when the server closed it.
    // A fresh connection for every request with `fresh`, as a shell's curl does.
    HttpReply request(const std::string& method, const std::string& path, const std::string& body = {},
        bool fresh = false);
    HttpReply get(const std::string& path) { return request("GET", path); }
    HttpReply post(const std::string& path, const std::string& body) { return request("POST", path, body); }

private:
    void connect();
    void disconnect();
    bool exchange(const std::string& message, HttpReply& reply);

    std::uint16_t port_;
    int fd_ = -1;
    std::string pending_; // bytes read past the last reply
};

} // namespace bench
