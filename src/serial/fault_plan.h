#pragma once

#include <QtGlobal>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "serial/deadline_timer.h"

namespace korvanteslin {

// The faults a receiving program meets in the field, to be put on the lines
// on request: lost frames, a flipped bit, a frame cut in two, a silent line,
// noise. Plain values; the outlet applies them as frames leave.
struct FaultRequest {
    int drop = 0;      // the next N frames are built but not written
    int corrupt = 0;   // the next N frames each get one bit flipped, never in the first byte
    int split = 0;     // the next N frames are written in two parts...
    int gapMs = 0;     // ...this far apart
    std::int64_t silenceMs = 0; // nothing written for this long, from now
    std::string garbage;        // written once before the next frame
};

// What one frame meets on its way out.
struct FaultVerdict {
    bool write = true;     // false: dropped or silenced
    std::string garbage;   // to go out just before the frame
    std::string frame;     // the frame as written, a bit flipped if so planned
    int splitAt = 0;       // 0: whole; else the first part's length
    int gapMs = 0;
};

class FaultPlan {
public:
    // What may be pending at once. Frames: a day at a 100 ms period, far
    // beyond any test, small enough that no count can overflow. Noise: what
    // every line takes in one write together with a frame.
    static constexpr int kMostPendingFrames = 1'000'000;
    static constexpr std::size_t kMostPendingGarbage = 1024;

    // A request that would leave more pending than allowed: which field, and the figures.
    struct OverLimit {
        const char* field;
        qint64 most;
        qint64 pending;
    };
    std::optional<OverLimit> overLimit(const FaultRequest& request) const;

    // Adds to what is pending; a silence starts at `now`.
    void request(const FaultRequest& request, MonoTime now);
    // Everything pending is forgotten, a silence included.
    void cancel();

    FaultVerdict next(const std::string& frame, MonoTime now);
    // What became of the noise a verdict carried: counted once a line took
    // it, else kept for the next frame.
    void garbageWritten(const std::string& garbage);
    void garbageNotWritten(const std::string& garbage);

    bool silentAt(MonoTime now) const { return now < silenceUntil_; }
    MonoTime silenceUntil() const { return silenceUntil_; }
    const FaultRequest& pending() const { return pending_; }
    std::chrono::milliseconds silenceLeft(MonoTime now) const
    {
        return silentAt(now) ? std::chrono::ceil<std::chrono::milliseconds>(silenceUntil_ - now) : std::chrono::milliseconds(0);
    }

    struct Done {
        std::uint64_t dropped = 0, corrupted = 0, split = 0, silenced = 0, garbageBytes = 0;
    };
    const Done& done() const { return done_; }

private:
    FaultRequest pending_;
    MonoTime silenceUntil_ = MonoTime::min();
    Done done_;
    // Its own numbers: the simulator's sequence is never touched by a fault.
    std::mt19937 random_;
};

} // namespace korvanteslin
