#include "window/frame_timer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

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
    fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = new QSocketNotifier(qintptr(fd_), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &FrameTimer::onExpired);
        return;
    }
    fallback_ = new QTimer(this);
    fallback_->setTimerType(Qt::PreciseTimer);
    connect(fallback_, &QTimer::timeout, this, &FrameTimer::timeout);
}

FrameTimer::~FrameTimer()
{
    if (fd_ >= 0) {
        delete notifier_;
        ::close(fd_);
    }
}

void FrameTimer::setInterval(int milliseconds)
{
    interval_ = milliseconds > 0 ? milliseconds : 0;
    if (fallback_) {
        if (interval_ > 0)
            fallback_->start(interval_);
        else
            fallback_->stop();
        return;
    }
    itimerspec schedule{};
    schedule.it_interval.tv_sec = interval_ / 1000;
    schedule.it_interval.tv_nsec = long(interval_ % 1000) * 1'000'000L;
    schedule.it_value = schedule.it_interval; // relative: the first tick a period from now
    timerfd_settime(fd_, 0, &schedule, nullptr);
}

void FrameTimer::onExpired()
{
    std::uint64_t expirations = 0;
    if (::read(fd_, &expirations, sizeof expirations) != sizeof expirations)
        return;
    const quint64 mostPerWake = quint64(std::max(1, kCatchUpWindowMs / std::max(1, interval_)));
    const quint64 deliver = std::min<quint64>(expirations, mostPerWake);
    skipped_ += expirations - deliver;
    for (quint64 i = 0; i < deliver && interval_ > 0; ++i)
        emit timeout();
}

} // namespace korvanteslin
