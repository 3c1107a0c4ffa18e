#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "serial/deadline_timer.h"
#include "serial/port_settings.h"

namespace korvanteslin {

// How long a frame of `bytes` bytes occupies a line with these settings:
// each byte is a start bit, the data bits, a parity bit if any and the stop
// bits (1.5 counts as one and a half).
std::chrono::nanoseconds frameTime(std::size_t bytes, const PortSettings& settings);

// Frames that leave no faster than the line could carry them, as from a
// terminal whose line is saturated. A frame that comes due while the line is
// busy waits, replacing any frame already waiting (the latest value wins),
// and leaves the moment the line is free. Each frame starts where the one
// before ends, so the rate is the line's own however late the caller wakes.
class LinePacer {
public:
    // A frame came due at `now`: true when it may leave at once (the line is
    // then busy for `occupancy`); else it waits for freeAt().
    bool submit(MonoTime now, const std::string& frame, std::chrono::nanoseconds occupancy);

    // The waiting frame, once the line is free at `now`; it then occupies the line.
    std::optional<std::string> release(MonoTime now);

    bool hasWaiting() const { return waiting_.has_value(); }
    MonoTime freeAt() const { return freeAt_; }
    // When the frame that last took the line started on it.
    MonoTime startedAt() const { return startedAt_; }
    // Frames replaced while waiting: built, never sent.
    std::uint64_t replaced() const { return replaced_; }

private:
    struct Waiting {
        std::string frame;
        std::chrono::nanoseconds occupancy;
    };
    MonoTime freeAt_ = MonoTime::min();
    MonoTime startedAt_ = MonoTime::min();
    std::optional<Waiting> waiting_;
    std::uint64_t replaced_ = 0;
};

} // namespace korvanteslin
