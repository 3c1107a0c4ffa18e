#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvanteslin {

// One frame as it was written.
struct FrameRecord {
    std::uint64_t seq = 0;  // 1 for the first frame of the run
    std::int64_t tMs = 0;   // milliseconds since the program started
    std::string bytes;
    double weight = 0;
    bool stable = false;
};

// The most recent frames, numbered, and the readers waiting for the next one.
// Plain C++: the clock and the timer that ends the waits are given to it.
class FrameLog {
public:
    using Clock = std::function<std::int64_t()>;  // monotonic milliseconds since the program started
    using Waiter = std::function<void(std::vector<FrameRecord>)>;
    using DeadlineListener = std::function<void(std::optional<std::int64_t> deadlineMs)>;

    static constexpr std::size_t kCapacity = 1000;
    static constexpr std::int64_t kMaxWaitMs = 10'000;

    explicit FrameLog(Clock clock);

    // Numbers and keeps the frame, then wakes every waiter it answers.
    const FrameRecord& add(std::string bytes, double weight, bool stable);

    // The kept frames numbered above `seq`, oldest first.
    std::vector<FrameRecord> after(std::uint64_t seq) const;
    std::uint64_t lastSeq() const { return nextSeq - 1; }
    std::int64_t now() const { return clock(); }

    // Calls `waiter` with the frames after `seq`: at once when there are any
    // (or when waitMs is 0 or less), else as soon as one is added, else at the
    // deadline (waitMs from now, at most kMaxWaitMs) with an empty list.
    void waitAfter(std::uint64_t seq, std::int64_t waitMs, Waiter waiter);

    // Answers, with an empty list, the waiters whose deadline has come.
    void expire();
    std::optional<std::int64_t> nextDeadline() const;
    std::size_t waiting() const { return waiters.size(); }

    // Told whenever the earliest deadline changes, so that one timer can serve all waits.
    void setDeadlineListener(DeadlineListener listener);

private:
    struct Wait {
        std::uint64_t seq;
        Waiter waiter;
    };
    void deadlineMayHaveChanged(std::optional<std::int64_t> before);

    Clock clock;
    std::uint64_t nextSeq = 1;
    std::deque<FrameRecord> frames;
    std::multimap<std::int64_t, Wait> waiters;  // by deadline
    DeadlineListener deadlineListener;
};

// Milliseconds on the monotonic clock since the program was loaded.
std::int64_t msSinceStart();

} // namespace korvanteslin
