#include "serial/paced_frame.h"

#include <algorithm>

namespace korvanteslin {

PacedFrame::PacedFrame(std::function<bool(const FramePiece&)> put)
    : put_(std::move(put))
{
    QObject::connect(&timer_, &DeadlineTimer::expired, [this] { sendDue(); });
}

bool PacedFrame::start(std::string frame, std::chrono::nanoseconds byteTime, MonoTime startAt)
{
    finish();
    frame_ = std::move(frame);
    const MonoTime now = MonoClock::now();
    startedAt_ = std::min(startAt, now);
    byteTime_ = std::max(byteTime, std::chrono::nanoseconds(1));
    sent_ = std::min(frame_.size(), std::size_t((now - startedAt_) / byteTime_) + 1);
    const bool taken = put_({frame_, 0, sent_});
    if (leaving())
        timer_.startAt(startedAt_ + byteTime_ * std::int64_t(sent_));
    return taken;
}

void PacedFrame::finish()
{
    timer_.stop();
    if (leaving())
        sendUpTo(frame_.size());
}

void PacedFrame::cut()
{
    timer_.stop();
    sent_ = frame_.size();
}

// Byte n is due n character times after the first.
void PacedFrame::sendDue()
{
    const auto due = std::size_t((MonoClock::now() - startedAt_) / byteTime_) + 1;
    sendUpTo(std::min(due, frame_.size()));
    if (leaving())
        timer_.startAt(startedAt_ + byteTime_ * std::int64_t(sent_));
}

void PacedFrame::sendUpTo(std::size_t end)
{
    if (end <= sent_)
        return;
    const std::size_t from = std::exchange(sent_, end);
    put_({frame_, from, end});
}

} // namespace korvanteslin
