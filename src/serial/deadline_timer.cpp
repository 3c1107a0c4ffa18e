#include "serial/deadline_timer.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include <sys/timerfd.h>
#include <unistd.h>

namespace korvanteslin {

std::int64_t monotonicNs()
{
    // steady_clock is CLOCK_MONOTONIC here, the clock the timerfd counts on.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

DeadlineTimer::DeadlineTimer(QObject* parent)
    : QObject(parent)
{
    fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = new QSocketNotifier(qintptr(fd_), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &DeadlineTimer::onReady);
        return;
    }
    fallback_ = new QTimer(this);
    fallback_->setTimerType(Qt::PreciseTimer);
    fallback_->setSingleShot(true);
    connect(fallback_, &QTimer::timeout, this, &DeadlineTimer::onReady);
}

DeadlineTimer::~DeadlineTimer()
{
    if (fd_ >= 0) {
        delete notifier_;
        ::close(fd_);
    }
}

void DeadlineTimer::startAt(std::int64_t deadlineNs)
{
    active_ = true;
    if (fallback_) {
        fallback_->start(int(std::max<std::int64_t>(0, (deadlineNs - monotonicNs() + 999'999) / 1'000'000)));
        return;
    }
    // A deadline already past still fires: a zero value would disarm the timer.
    deadlineNs = std::max<std::int64_t>(deadlineNs, 1);
    itimerspec at{};
    at.it_value.tv_sec = deadlineNs / 1'000'000'000;
    at.it_value.tv_nsec = long(deadlineNs % 1'000'000'000);
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &at, nullptr);
}

void DeadlineTimer::stop()
{
    active_ = false;
    if (fallback_) {
        fallback_->stop();
        return;
    }
    const itimerspec off{};
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &off, nullptr);
    std::uint64_t expirations = 0;
    // A wake already pending is void too; nothing pending is just as good.
    [[maybe_unused]] const ssize_t drained = ::read(fd_, &expirations, sizeof expirations);
}

void DeadlineTimer::onReady()
{
    if (fd_ >= 0) {
        std::uint64_t expirations = 0;
        if (::read(fd_, &expirations, sizeof expirations) != sizeof expirations)
            return;
    }
    if (!active_)
        return;
    active_ = false;
    emit expired();
}

} // namespace korvanteslin
