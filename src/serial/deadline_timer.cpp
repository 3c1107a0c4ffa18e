#include "serial/deadline_timer.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include <sys/timerfd.h>
#include <unistd.h>

namespace korvanteslin {

namespace {

constexpr std::int64_t kSecondNs = 1'000'000'000;

timespec timespecOf(std::int64_t ns)
{
    return {time_t(ns / kSecondNs), long(ns % kSecondNs)};
}

int wholeMs(std::int64_t ns)
{
    return int(std::max<std::int64_t>(0, (ns + 999'999) / 1'000'000));
}

} // namespace

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

void DeadlineTimer::startAt(std::int64_t deadlineNs)
{
    active_ = true;
    periodic_ = false;
    if (fallback_) {
        fallback_->setSingleShot(true);
        fallback_->start(wholeMs(deadlineNs - monotonicNs()));
        return;
    }
    // A deadline already past still fires: a zero value would disarm the timer.
    itimerspec at{};
    at.it_value = timespecOf(std::max<std::int64_t>(deadlineNs, 1));
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &at, nullptr);
}

void DeadlineTimer::startEvery(std::int64_t periodNs)
{
    active_ = true;
    periodic_ = true;
    if (fallback_) {
        fallback_->setSingleShot(false);
        fallback_->start(wholeMs(periodNs));
        return;
    }
    itimerspec schedule{};
    schedule.it_interval = timespecOf(std::max<std::int64_t>(periodNs, 1));
    schedule.it_value = schedule.it_interval; // relative: the first a period from now
    timerfd_settime(fd_, 0, &schedule, nullptr);
}

void DeadlineTimer::stop()
{
    active_ = false;
    if (fallback_) {
        fallback_->stop();
        return;
    }
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
}

} // namespace korvanteslin
