#include "serial/fault_plan.h"

namespace korvanteslin {

void FaultPlan::request(const FaultRequest& request, std::int64_t now)
{
    pending_.drop += request.drop;
    pending_.corrupt += request.corrupt;
    if (request.split > 0) {
        pending_.split += request.split;
        pending_.gapMs = request.gapMs;
    }
    pending_.garbage += request.garbage;
    if (request.silenceMs > 0)
        silenceUntil_ = std::max(silenceUntil_, now + request.silenceMs);
}

void FaultPlan::cancel()
{
    pending_ = {};
    silenceUntil_ = INT64_MIN;
}

FaultVerdict FaultPlan::next(const QByteArray& frame, std::int64_t now)
{
    FaultVerdict verdict;
    if (silentAt(now)) {
        ++done_.silenced;
        verdict.write = false;
        return verdict;
    }
    verdict.garbage = std::exchange(pending_.garbage, {});
    done_.garbageBytes += std::uint64_t(verdict.garbage.size());
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
        const auto byte = std::uniform_int_distribution<qsizetype>(1, frame.size() - 1)(random_);
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

} // namespace korvanteslin
