#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "serial/deadline_timer.h"
#include "serial/frame_line.h"

namespace korvanteslin {

// A frame leaving a line byte by byte, as a UART shifts it out: the first
// byte at once, each next one a character time after the one before,
// counted from the start so that a late wake-up sends what is due together
// and the frame still ends on time.
class PacedFrame {
public:
    // `put` hands a piece to the lines and says whether any took it.
    explicit PacedFrame(std::function<bool(const FramePiece&)> put);

    // Starts `frame` at `startAt` (now when later, or not given), a frame
    // still leaving finished at once before it: what is due by now goes at
    // once. What the first piece's `put` said.
    bool start(std::string frame, std::chrono::nanoseconds byteTime, MonoTime startAt = MonoTime::max());
    // What is left of the frame leaving goes at once.
    void finish();
    // What is left of the frame leaving never goes (the cable pulled, the line silenced).
    void cut();
    bool leaving() const { return sent_ < frame_.size(); }

private:
    void sendDue();
    void sendUpTo(std::size_t end);

    std::function<bool(const FramePiece&)> put_;
    std::string frame_;
    std::size_t sent_ = 0;
    MonoTime startedAt_{};
    std::chrono::nanoseconds byteTime_{};
    DeadlineTimer timer_;
};

} // namespace korvanteslin
