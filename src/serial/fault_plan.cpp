#include "serial/fault_plan.h"

#include <tuple>

namespace korvanteslin {

std::optional<FaultPlan::OverLimit> FaultPlan::overLimit(const FaultRequest& request) const
{
    const std::tuple<const char*, int, int> counts[] = {
        {"drop", pending_.drop, request.drop}, {"corrupt", pending_.corrupt, request.corrupt},
        {"split", pending_.split, request.split}};
    for (const auto& [field, pending, asked] : counts)
        if (qint64(pending) + asked > kMostPendingFrames)
            return OverLimit{field, kMostPendingFrames, pending};
    if (pending_.garbage.size() + request.garbage.size() > kMostPendingGarbage)
        return OverLimit{"garbage", qint64(kMostPendingGarbage), qint64(pending_.garbage.size())};
    return std::nullopt;
}

void FaultPlan::request(const FaultRequest& request, MonoTime now)
{
    pending_.drop += request.drop;
    pending_.corrupt += request.corrupt;
    if (request.split > 0) {
        pending_.split += request.split;
        pending_.gapMs = request.gapMs;
    }
    pending_.garbage += request.garbage;
    if (request.silenceMs > 0)
        silenceUntil_ = std::max(silenceUntil_, now + std::chrono::milliseconds(request.silenceMs));
}

void FaultPlan::cancel()
{
    pending_ = {};
    silenceUntil_ = MonoTime::min();
}

FaultVerdict FaultPlan::next(const std::string& frame, MonoTime now)
{
    FaultVerdict verdict;
    if (silentAt(now)) {
        ++done_.silenced;
        verdict.write = false;
        return verdict;
    }
    verdict.garbage = std::exchange(pending_.garbage, {});
    if (pending_.drop > 0) {
        --pending_.drop;
        ++done_.dropped;
        verdict.write = false;
        return verdict;
    }
    verdict.frame = frame;
    if (pending_.corrupt > 0 && frame.size() > 1) {
        --pending_.corrupt;
        ++done_.corrupted;
        const auto byte = std::uniform_int_distribution<std::size_t>(1, frame.size() - 1)(random_);
        const auto bit = std::uniform_int_distribution<int>(0, 7)(random_);
        verdict.frame[byte] = char(verdict.frame[byte] ^ (1 << bit));
    }
    if (pending_.split > 0 && frame.size() > 1) {
        --pending_.split;
        ++done_.split;
        verdict.splitAt = int(frame.size() / 2);
        verdict.gapMs = pending_.gapMs;
    }
    return verdict;
}

void FaultPlan::garbageWritten(const std::string& garbage)
{
    done_.garbageBytes += std::uint64_t(garbage.size());
}

void FaultPlan::garbageNotWritten(const std::string& garbage)
{
    pending_.garbage.insert(0, garbage);
}

} // namespace korvanteslin
