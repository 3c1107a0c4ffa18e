#include "serial/line_pacer.h"

namespace korvanteslin {

std::chrono::nanoseconds frameTime(std::size_t bytes, const PortSettings& settings)
{
    // In half bits, so that 1.5 stop bits stay exact.
    const std::int64_t stopHalves = settings.stopBits == StopBits::One ? 2 : settings.stopBits == StopBits::Two ? 4 : 3;
    const std::int64_t halves = 2 * (1 + settings.dataBits + (settings.parity == Parity::None ? 0 : 1)) + stopHalves;
    return std::chrono::nanoseconds(
        std::int64_t(bytes) * halves * 1'000'000'000 / (2 * std::int64_t(std::max(1, settings.baudRate))));
}

bool LinePacer::submit(MonoTime now, const std::string& frame, std::chrono::nanoseconds occupancy)
{
    if (!waiting_ && now >= freeAt_) {
        startedAt_ = now;
        freeAt_ = now + occupancy;
        return true;
    }
    if (waiting_)
        ++replaced_;
    waiting_ = Waiting{frame, occupancy};
    return false;
}

std::optional<std::string> LinePacer::release(MonoTime now)
{
    if (!waiting_ || now < freeAt_)
        return std::nullopt;
    // Starts when the line became free, not when the caller woke.
    startedAt_ = freeAt_;
    freeAt_ += waiting_->occupancy;
    std::string frame = std::move(waiting_->frame);
    waiting_.reset();
    return frame;
}

} // namespace korvanteslin
