#include "serial/telnet_session.h"

#include <libtelnet.h>

#include "serial/uart_model.h"

namespace korvanteslin {

namespace {

// What this server agrees to: BINARY and SUPPRESS-GO-AHEAD both ways, and
// COM-PORT-OPTION whichever side asks. Anything else is refused.
const telnet_telopt_t kOptions[] = {
    {TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO},
    {TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO},
    {kComPortOption, TELNET_WILL, TELNET_DO},
    {-1, 0, 0},
};

} // namespace

TelnetSession::TelnetSession(bool plugged)
    : telnet_(telnet_init(kOptions, &TelnetSession::onEvent, 0, this))
    , modemState_(plugged ? kModemLinesUp : 0)
{
}

TelnetSession::~TelnetSession()
{
    telnet_free(telnet_);
}

std::string TelnetSession::opening()
{
    std::string said;
    out_ = &said;
    // Frames are 8-bit data from the first byte: ask for binary at once.
    telnet_negotiate(telnet_, TELNET_WILL, TELNET_TELOPT_BINARY);
    telnet_negotiate(telnet_, TELNET_DO, TELNET_TELOPT_BINARY);
    telnet_negotiate(telnet_, TELNET_WILL, TELNET_TELOPT_SGA);
    telnet_negotiate(telnet_, TELNET_DO, TELNET_TELOPT_SGA);
    out_ = nullptr;
    return said;
}

bool TelnetSession::take(std::string_view bytes, std::string& answer)
{
    out_ = &answer;
    telnet_recv(telnet_, bytes.data(), bytes.size());
    out_ = nullptr;
    return !broken_;
}

void TelnetSession::wrap(const FramePiece& piece, const PortSettings* sentAs, std::string& out)
{
    out_ = &out;
    // Decoded or not is settled for the whole frame by its first piece.
    if (piece.first()) {
        decoding_ = sentAs && *sentAs != line_.settings;
        if (decoding_)
            reading_ = receiveHeard(piece.frame, *sentAs, line_.settings);
    }
    if (!decoding_) {
        const std::string_view bytes = piece.bytes();
        telnet_send(telnet_, bytes.data(), bytes.size());
    } else {
        // Each character as the client's UART would take it, an error told
        // (NOTIFY-LINESTATE, under the client's mask) before the character.
        for (const HeardChar& heard : heardBy(reading_, piece)) {
            const ReceivedChar& received = heard.received;
            const auto errors = std::uint8_t((received.parityError ? kParityError : 0)
                | (received.framingError ? kFramingError : 0) | (received.lineBreak ? kBreakDetected : 0));
            if (const std::string notice = lineStateNotice(line_, errors); !notice.empty())
                telnet_subnegotiation(telnet_, kComPortOption, notice.data(), notice.size());
            telnet_send(telnet_, reinterpret_cast<const char*>(&received.value), 1);
        }
    }
    out_ = nullptr;
}

// NOTIFY-MODEMSTATE with the lines that changed marked (their delta bits).
void TelnetSession::cablePlugged(bool plugged, std::string& out)
{
    const std::uint8_t now = plugged ? kModemLinesUp : 0;
    const std::uint8_t changed = now ^ modemState_;
    modemState_ = now;
    if (changed == 0)
        return;
    const auto deltas = std::uint8_t(((changed & kCarrierDetect) ? 0x08 : 0) | ((changed & kDataSetReady) ? 0x02 : 0)
        | ((changed & kClearToSend) ? 0x01 : 0));
    const std::string notice = modemStateNotice(line_, std::uint8_t(now | deltas));
    out_ = &out;
    telnet_subnegotiation(telnet_, kComPortOption, notice.data(), notice.size());
    out_ = nullptr;
}

void TelnetSession::onEvent(telnet_t*, telnet_event_t* event, void* self)
{
    auto& session = *static_cast<TelnetSession*>(self);
    switch (event->type) {
    case TELNET_EV_SEND:
        if (session.out_)
            session.out_->append(event->data.buffer, event->data.size);
        break;
    case TELNET_EV_WILL:
        // The client takes the option: tell it the modem lines at once.
        if (event->neg.telopt == kComPortOption)
            session.onSubnegotiation(kComPortOption, std::string_view("\x07", 1));
        break;
    case TELNET_EV_SUBNEGOTIATION:
        session.onSubnegotiation(event->sub.telopt, {event->sub.buffer, event->sub.size});
        break;
    case TELNET_EV_ERROR:
        session.broken_ = true;
        break;
    default:
        // The client's data (for the terminal, which reads nothing) and the rest.
        break;
    }
}

void TelnetSession::onSubnegotiation(unsigned char option, std::string_view payload)
{
    if (option != kComPortOption)
        return;
    const std::string reply = answerComPort(line_, payload, modemState_);
    if (!reply.empty())
        telnet_subnegotiation(telnet_, kComPortOption, reply.data(), reply.size());
}

} // namespace korvanteslin
