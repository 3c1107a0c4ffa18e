#include "serial/line_framing.h"


namespace korvanteslin {
namespace {

constexpr tcflag_t stickParity = CMSPAR;

constexpr tcflag_t parityBits = PARENB | PARODD | stickParity;
constexpr tcflag_t framingBits = CSIZE | parityBits | CSTOPB;

tcflag_t sizeFlag(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

tcflag_t parityFlags(Parity parity)
{
    switch (parity) {
    case Parity::Even: return PARENB;
    case Parity::Odd: return PARENB | PARODD;
    case Parity::Space: return PARENB | stickParity;
    case Parity::Mark: return PARENB | PARODD | stickParity;
    case Parity::None: break;
    }
    return 0;
}

// Odd and stick parity mean something only while parity is on.
tcflag_t judgedParityBits(Parity parity)
{
    return parity == Parity::None ? tcflag_t{PARENB} : parityBits;
}

} // namespace

bool framingAvailable(const PortSettings& settings)
{
    if (settings.stopBits == StopBits::OneAndHalf)
        return false;
    const bool stick = settings.parity == Parity::Mark || settings.parity == Parity::Space;
    return !stick || stickParity != 0;
}

tcflag_t framedControlFlags(tcflag_t current, const PortSettings& settings)
{
    tcflag_t flags = (current & ~framingBits) | sizeFlag(settings.dataBits) | parityFlags(settings.parity);
    if (settings.stopBits == StopBits::Two)
        flags |= CSTOPB;
    return flags;
}

FramingPart framingNotTaken(tcflag_t reported, const PortSettings& settings)
{
    const tcflag_t wanted = framedControlFlags(0, settings);
    if ((reported & CSIZE) != (wanted & CSIZE))
        return FramingPart::DataBits;
    const tcflag_t judged = judgedParityBits(settings.parity);
    if ((reported & judged) != (wanted & judged))
        return FramingPart::Parity;
    if ((reported & CSTOPB) != (wanted & CSTOPB))
        return FramingPart::StopBits;
    return FramingPart::None;
}

} // namespace korvanteslin
