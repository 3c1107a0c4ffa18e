#include "serial/com_port_option.h"

#include <array>
#include <optional>

namespace korvanteslin {

namespace {

enum Command : std::uint8_t {
    Signature = 0,
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    NotifyModemState = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};
constexpr std::uint8_t kAnswerOffset = 100;
constexpr char kSignature[] = "Korvanteslin 1.02";

// Parity and stop bits by their RFC 2217 codes (0 asks for the setting in force).
constexpr std::array kParities{Parity::None, Parity::Odd, Parity::Even, Parity::Mark, Parity::Space};
constexpr std::array kStopSizes{StopBits::One, StopBits::Two, StopBits::OneAndHalf};

template <class Value, std::size_t N>
std::uint8_t codeOf(const std::array<Value, N>& codes, Value value)
{
    for (std::size_t i = 0; i < N; ++i)
        if (codes[i] == value)
            return std::uint8_t(i + 1);
    return 0;
}

// A code out of the table leaves the setting as it was; the answer says which it is.
template <class Value, std::size_t N>
void setByCode(const std::array<Value, N>& codes, std::uint8_t code, Value& value)
{
    if (code >= 1 && code <= N)
        value = codes[code - 1];
}

std::string answer(std::uint8_t command, std::string value)
{
    return char(command + kAnswerOffset) + value;
}

std::string byte(std::uint8_t value)
{
    return std::string(1, char(value));
}

// SET-CONTROL: flow control is always none (a terminal's line has none), the
// break and the DTR and RTS lines are what the client last set.
std::optional<std::uint8_t> control(ClientLine& line, std::uint8_t code)
{
    const auto onOff = [](bool& state, std::uint8_t asked, std::uint8_t on) {
        if (asked != on - 1)
            state = asked == on;
        return std::uint8_t(state ? on : on + 1);
    };
    if (code <= 3)
        return 1; // outbound flow control: none
    if (code <= 6)
        return onOff(line.breakOn, code, 5);
    if (code <= 9)
        return onOff(line.dtr, code, 8);
    if (code <= 12)
        return onOff(line.rts, code, 11);
    if (code <= 19)
        return 14; // inbound flow control: none
    return std::nullopt;
}

} // namespace

std::string answerComPort(ClientLine& line, std::string_view request, std::uint8_t modemState)
{
    if (request.empty())
        return {};
    const auto command = std::uint8_t(request[0]);
    const std::string_view value = request.substr(1);
    const auto first = value.empty() ? std::uint8_t(0) : std::uint8_t(value[0]);
    PortSettings& settings = line.settings;
    switch (command) {
    case Signature:
        // An empty one asks for ours; a client's own is only taken note of.
        return value.empty() ? answer(command, kSignature) : std::string();
    case SetBaudRate: {
        if (value.size() != 4)
            return {};
        const std::uint32_t asked = std::uint32_t(std::uint8_t(value[0])) << 24 | std::uint32_t(std::uint8_t(value[1])) << 16
            | std::uint32_t(std::uint8_t(value[2])) << 8 | std::uint8_t(value[3]);
        if (asked != 0 && asked <= 0x7FFFFFFF)
            settings.baudRate = int(asked);
        const auto rate = std::uint32_t(settings.baudRate);
        return answer(command, {char(rate >> 24), char(rate >> 16), char(rate >> 8), char(rate)});
    }
    case SetDataSize:
        if (first >= 5 && first <= 8)
            settings.dataBits = first;
        return answer(command, byte(std::uint8_t(settings.dataBits)));
    case SetParity:
        setByCode(kParities, first, settings.parity);
        return answer(command, byte(codeOf(kParities, settings.parity)));
    case SetStopSize:
        setByCode(kStopSizes, first, settings.stopBits);
        return answer(command, byte(codeOf(kStopSizes, settings.stopBits)));
    case SetControl: {
        const auto state = control(line, first);
        return state ? answer(command, byte(*state)) : std::string();
    }
    case NotifyModemState:
        return modemStateNotice(line, modemState);
    case FlowControlSuspend:
    case FlowControlResume:
        line.suspended = command == FlowControlSuspend;
        return {};
    case SetLineStateMask:
        line.lineStateMask = first;
        return answer(command, byte(first));
    case SetModemStateMask:
        line.modemStateMask = first;
        return answer(command, byte(first));
    case PurgeData:
        // Nothing is held for the line but the rest of a frame, which goes out whole.
        return first >= 1 && first <= 3 ? answer(command, byte(first)) : std::string();
    default:
        return {};
    }
}

std::string modemStateNotice(const ClientLine& line, std::uint8_t modemState)
{
    return answer(NotifyModemState, byte(std::uint8_t(modemState & line.modemStateMask)));
}

} // namespace korvanteslin

namespace korvanteslin {

std::string lineStateNotice(const ClientLine& line, std::uint8_t errors)
{
    const auto shown = std::uint8_t(errors & line.lineStateMask);
    return shown == 0 ? std::string() : answer(NotifyLineState, byte(shown));
}

} // namespace korvanteslin
