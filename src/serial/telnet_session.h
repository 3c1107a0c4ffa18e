#pragma once

#include "serial/client_protocol.h"
#include "serial/com_port_option.h"
#include "serial/uart_model.h"

#include <vector>

struct telnet_t;
union telnet_event_t;

namespace korvanteslin {

// One RFC 2217 client: the telnet negotiation (BINARY and SUPPRESS-GO-AHEAD
// both ways, COM-PORT-OPTION), the client's line settings, and frames with
// every 0xFF doubled, as telnet data carries them.
class TelnetSession : public ClientProtocol {
public:
    explicit TelnetSession(bool plugged = true);
    ~TelnetSession() override;
    TelnetSession(const TelnetSession&) = delete;
    TelnetSession& operator=(const TelnetSession&) = delete;

    std::string opening() override;
    bool take(std::string_view bytes, std::string& answer) override;
    void wrap(const FramePiece& piece, const PortSettings* sentAs, std::string& out) override;
    void cablePlugged(bool plugged, std::string& out) override;
    bool holdsFrames() const override { return line_.suspended; }
    std::optional<PortSettings> readerSettings() const override { return line_.settings; }

    const ClientLine& line() const { return line_; }

private:
    static void onEvent(telnet_t* telnet, telnet_event_t* event, void* self);
    void onSubnegotiation(unsigned char option, std::string_view payload);

    telnet_t* telnet_;
    std::string* out_ = nullptr; // where the library's output goes during a call
    bool broken_ = false;
    std::uint8_t modemState_;
    ClientLine line_;
    bool decoding_ = false;
    std::vector<HeardChar> reading_; // the frame leaving, as the client's UART takes it
};

} // namespace korvanteslin
