#include "control/frame_log.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace korvanteslin {

namespace {
const auto programStart = std::chrono::steady_clock::now();
}

std::int64_t msSinceStart()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - programStart)
        .count();
}

FrameLog::FrameLog(Clock clock_) : clock(std::move(clock_)) {}

const FrameRecord& FrameLog::add(std::string bytes, double weight, bool stable)
{
    frames.push_back({nextSeq++, clock(), std::move(bytes), weight, stable});
    if (frames.size() > kCapacity)
        frames.pop_front();

    // Taken out before any is called: a waiter may start a new wait at once.
    const auto before = nextDeadline();
    std::vector<Wait> answered;
    for (auto it = waiters.begin(); it != waiters.end();) {
        if (it->second.seq < lastSeq()) {
            answered.push_back(std::move(it->second));
            it = waiters.erase(it);
        } else {
            ++it;
        }
    }
    deadlineMayHaveChanged(before);
    const FrameRecord& added = frames.back();
    for (Wait& wait : answered)
        wait.waiter(after(wait.seq));
    return added;
}

std::vector<FrameRecord> FrameLog::after(std::uint64_t seq) const
{
    if (frames.empty() || seq >= lastSeq())
        return {};
    const std::uint64_t first = frames.front().seq;
    const auto skip = seq < first ? 0 : std::ptrdiff_t(seq - first + 1);
    return {frames.begin() + skip, frames.end()};
}

void FrameLog::waitAfter(std::uint64_t seq, std::int64_t waitMs, Waiter waiter)
{
    if (seq < lastSeq() || waitMs <= 0) {
        waiter(after(seq));
        return;
    }
    const auto before = nextDeadline();
    waiters.emplace(clock() + std::min(waitMs, kMaxWaitMs), Wait{seq, std::move(waiter)});
    deadlineMayHaveChanged(before);
}

void FrameLog::expire()
{
    const auto before = nextDeadline();
    const std::int64_t time = clock();
    std::vector<Wait> due;
    for (auto it = waiters.begin(); it != waiters.end() && it->first <= time; it = waiters.erase(it))
        due.push_back(std::move(it->second));
    deadlineMayHaveChanged(before);
    for (Wait& wait : due)
        wait.waiter({});
}

std::optional<std::int64_t> FrameLog::nextDeadline() const
{
    if (waiters.empty())
        return std::nullopt;
    return waiters.begin()->first;
}

void FrameLog::setDeadlineListener(DeadlineListener listener)
{
    deadlineListener = std::move(listener);
    if (deadlineListener)
        deadlineListener(nextDeadline());
}

void FrameLog::deadlineMayHaveChanged(std::optional<std::int64_t> before)
{
    if (deadlineListener && nextDeadline() != before)
        deadlineListener(nextDeadline());
}

} // namespace korvanteslin
