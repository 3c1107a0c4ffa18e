#pragma once

#include <QObject>

#include "serial/deadline_timer.h"

namespace korvanteslin {

// The transmission tick. Deadlines are absolute and a whole period apart, so
// the rate holds to the microsecond over hours and a 1 ms period really gives
// a thousand ticks a second (a plain precise QTimer rounds every wait up to a
// whole millisecond and delivers about nine hundred). Ticks missed in a short
// stall are made up; after a long one the old ticks are dropped, so frames
// never go out in a long stale burst.
class FrameTimer : public QObject {
    Q_OBJECT

public:
    explicit FrameTimer(QObject* parent = nullptr);

    // Starts the ticks afresh, the first one a period from now; 0 stops them.
    void setInterval(int milliseconds);
    int interval() const { return interval_; }
    bool isActive() const { return interval_ > 0; }

    // Ticks that were due but not delivered because the program was held up.
    quint64 skippedTicks() const { return skipped_; }

signals:
    void timeout();

private:
    void onExpired(quint64 expirations);

    int interval_ = 0;
    quint64 skipped_ = 0;
    DeadlineTimer deadline_;
};

} // namespace korvanteslin
