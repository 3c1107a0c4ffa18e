#include "station/frame_timer.h"

#include <algorithm>

namespace korvanteslin {

namespace {

// Ticks missed while the program was held up are made up at once, each with
// a freshly built frame, as long as they all fit in this window (so only at
// periods of 5 ms and less); older ones are dropped, and a long stall never
// ends in a burst.
constexpr int kCatchUpWindowMs = 10;

} // namespace

FrameTimer::FrameTimer(QObject* parent)
    : QObject(parent)
{
    connect(&deadline_, &DeadlineTimer::expired, this, &FrameTimer::onExpired);
}

void FrameTimer::setInterval(int milliseconds)
{
    interval_ = milliseconds > 0 ? milliseconds : 0;
    if (interval_ > 0)
        deadline_.startEvery(std::chrono::milliseconds(interval_));
    else
        deadline_.stop();
}

void FrameTimer::onExpired(quint64 expirations)
{
    const quint64 mostPerWake = quint64(std::max(1, kCatchUpWindowMs / std::max(1, interval_)));
    const quint64 deliver = std::min<quint64>(expirations, mostPerWake);
    skipped_ += expirations - deliver;
    for (quint64 i = 0; i < deliver && interval_ > 0; ++i)
        emit timeout();
}

} // namespace korvanteslin
