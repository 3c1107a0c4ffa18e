#include "emulation/send_period.h"

#include <cmath>

namespace korvanteslin {

std::int16_t sendPeriodFrom(std::optional<double> typed)
{
    if (!typed)
        return kDefaultSendPeriod;
    const double whole = std::floor(*typed);
    if (!std::isfinite(whole) || whole < 1 || whole > kLongestSendPeriod)
        return kDefaultSendPeriod;
    return std::int16_t(whole);
}

} // namespace korvanteslin
