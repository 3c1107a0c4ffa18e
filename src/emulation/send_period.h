#pragma once

#include <cstdint>
#include <optional>

namespace korvanteslin {

inline constexpr std::int16_t kDefaultSendPeriod = 150;
inline constexpr std::int16_t kLongestSendPeriod = 32767;

// The sending period in milliseconds made from the number read out of its
// box (nothing when the text was not a number): the whole part when it is a
// period the timer can run, otherwise the default.
std::int16_t sendPeriodFrom(std::optional<double> typed);

} // namespace korvanteslin
