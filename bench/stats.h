#pragma once

// Figures over timestamps on the monotonic clock, in nanoseconds, shared by the benches.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace bench {

inline std::vector<std::int64_t> between(const std::vector<std::int64_t>& times, std::int64_t from, std::int64_t to)
{
    std::vector<std::int64_t> out;
    for (auto t : times)
        if (t >= from && t < to)
            out.push_back(t);
    return out;
}

// Frames per second over the window, against one per period: intervals
// counted between the first and the last frame, so a window that does not
// hold a whole number of periods does not blur the figure.
inline double rateRatio(const std::vector<std::int64_t>& arrivals, std::int64_t from, std::int64_t to, std::int64_t periodNs)
{
    const auto inside = between(arrivals, from, to);
    if (inside.size() < 2)
        return 0.0;
    const double span = double(inside.back() - inside.front());
    return double(inside.size() - 1) * double(periodNs) / span;
}

// Nearest-rank percentile; NaN for no values.
inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size() - 1) + 0.5))];
}

// Absolute deviation of each interval from the period, in milliseconds.
inline std::vector<double> jitterMs(const std::vector<std::int64_t>& arrivals, std::int64_t periodNs)
{
    std::vector<double> out;
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        out.push_back(std::fabs(double(arrivals[i] - arrivals[i - 1] - periodNs)) / 1e6);
    return out;
}

inline double ms(std::int64_t ns)
{
    return double(ns) / 1e6;
}

} // namespace bench
