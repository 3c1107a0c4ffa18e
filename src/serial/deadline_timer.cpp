#include "serial/deadline_timer.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include <sys/timerfd.h>
#include <unistd.h>

namespace korvanteslin {

namespace {

// At least a nanosecond: a zero value would disarm the timer.
timespec timespecOf(std::chrono::nanoseconds span)
{
    const auto ns = std::max<std::int64_t>(span.count(), 1);
    return {time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
}

int wholeMs(std::chrono::nanoseconds span)
{
    return int(std::max<std::int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(span).count()));
}

} // namespace

DeadlineTimer::DeadlineTimer(QObject* parent)
    : QObject(parent)
{
    fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = new QSocketNotifier(qintptr(fd_), QSocketNotifier::Read, this);
        // Watched only while armed: every wake-up of the event loop polls
        // each descriptor it watches, and most of these timers sit idle.
        notifier_->setEnabled(false);
        connect(notifier_, &QSocketNotifier::activated, this, &DeadlineTimer::onReady);
        return;
    }
    // Only with the descriptor table full: late by under a millisecond is better than never.
    fallback_ = new QTimer(this);
    fallback_->setTimerType(Qt::PreciseTimer);
    connect(fallback_, &QTimer::timeout, this, &DeadlineTimer::onReady);
}

DeadlineTimer::~DeadlineTimer()
{
    if (fd_ >= 0) {
        delete notifier_;
        ::close(fd_);
    }
}

void DeadlineTimer::startAt(MonoTime deadline)
{
    active_ = true;
    periodic_ = false;
    if (fallback_) {
        fallback_->setSingleShot(true);
        fallback_->start(wholeMs(deadline - MonoClock::now()));
        return;
    }
    // A deadline already past still fires.
    itimerspec at{};
    at.it_value = timespecOf(deadline.time_since_epoch());
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &at, nullptr);
    notifier_->setEnabled(true);
}

void DeadlineTimer::startEvery(std::chrono::nanoseconds period)
{
    active_ = true;
    periodic_ = true;
    if (fallback_) {
        fallback_->setSingleShot(false);
        fallback_->start(wholeMs(period));
        return;
    }
    itimerspec schedule{};
    schedule.it_interval = timespecOf(period);
    schedule.it_value = schedule.it_interval; // relative: the first a period from now
    timerfd_settime(fd_, 0, &schedule, nullptr);
    notifier_->setEnabled(true);
}

void DeadlineTimer::stop()
{
    active_ = false;
    if (fallback_) {
        fallback_->stop();
        return;
    }
    notifier_->setEnabled(false);
    const itimerspec off{};
    timerfd_settime(fd_, 0, &off, nullptr);
    std::uint64_t expirations = 0;
    // A wake already pending is void too; nothing pending is just as good.
    [[maybe_unused]] const ssize_t drained = ::read(fd_, &expirations, sizeof expirations);
}

void DeadlineTimer::onReady()
{
    std::uint64_t expirations = 1;
    if (fd_ >= 0 && ::read(fd_, &expirations, sizeof expirations) != sizeof expirations)
        return;
    if (!active_)
        return;
    active_ = periodic_;
    emit expired(expirations);
    // Left alone if whoever was told armed it again (the next paced byte).
    if (!active_ && notifier_)
        notifier_->setEnabled(false);
}

} // namespace korvanteslin
