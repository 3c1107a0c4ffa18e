#pragma once

#include <QObject>
#include <chrono>
#include <cstdint>

class QSocketNotifier;
class QTimer;

namespace korvanteslin {

// The clock of every deadline, pace and fault: CLOCK_MONOTONIC, the clock
// the timerfd counts on.
using MonoClock = std::chrono::steady_clock;
using MonoTime = MonoClock::time_point;

// Wakes the event loop at absolute deadlines to the microsecond (a timerfd;
// a precise Qt timer, to the millisecond, only if the system would not give
// one): once at a deadline, or every period with no drift, each expiry
// scheduled from the one before. The one timer of the tick, the pacer, split
// frames and silences.
class DeadlineTimer : public QObject {
    Q_OBJECT
public:
    explicit DeadlineTimer(QObject* parent = nullptr);
    ~DeadlineTimer() override;

    void startAt(MonoTime deadline);
    // The first expiry a period from now.
    void startEvery(std::chrono::nanoseconds period);
    void stop();
    bool isActive() const { return active_; }

signals:
    // `times`: the expiries since the last signal, more than one when the
    // program was held up past the next.
    void expired(quint64 times);

private:
    void onReady();

    bool active_ = false;
    bool periodic_ = false;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* fallback_ = nullptr;
};

} // namespace korvanteslin
