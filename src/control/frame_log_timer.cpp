#include "control/frame_log_timer.h"

#include "control/frame_log.h"

#include <algorithm>

namespace korvanteslin {

FrameLogTimer::FrameLogTimer(FrameLog& log_, QObject* parent) : QObject(parent), log(log_)
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &FrameLogTimer::fire);
    log.setDeadlineListener([this](std::optional<std::int64_t> deadline) { arm(deadline); });
}

FrameLogTimer::~FrameLogTimer()
{
    log.setDeadlineListener({});
}

void FrameLogTimer::arm(std::optional<std::int64_t> deadlineMs)
{
    if (!deadlineMs) {
        timer.stop();
        return;
    }
    timer.start(int(std::clamp<std::int64_t>(*deadlineMs - log.now(), 0, FrameLog::kMaxWaitMs)));
}

void FrameLogTimer::fire()
{
    log.expire();
    // A timer may wake a little before the clock reaches the deadline: look again.
    arm(log.nextDeadline());
}

} // namespace korvanteslin
