#pragma once

#include <QObject>
#include <cstdint>

class QSocketNotifier;
class QTimer;

namespace korvanteslin {

// Nanoseconds on the monotonic clock the deadlines below are given in.
std::int64_t monotonicNs();

// Wakes the event loop once at an absolute deadline, to the microsecond where
// the system allows (a timerfd); elsewhere to the millisecond.
class DeadlineTimer : public QObject {
    Q_OBJECT
public:
    explicit DeadlineTimer(QObject* parent = nullptr);
    ~DeadlineTimer() override;

    void startAt(std::int64_t deadlineNs);
    void stop();
    bool isActive() const { return active_; }

signals:
    void expired();

private:
    void onReady();

    bool active_ = false;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* fallback_ = nullptr;
};

} // namespace korvanteslin
