#include "emulation/send_period.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace korvanteslin;

TEST(SendPeriod, AWholeNumberOfMillisecondsInSixteenBitsElseTheDefault)
{
    const std::pair<std::optional<double>, int> rows[] = {
        {std::nullopt, 150}, {0, 150}, {0.99, 150}, {-5, 150}, {1, 1}, {2.9, 2}, {32767, 32767}, {32767.9, 32767},
        {32768, 150}, {std::numeric_limits<double>::infinity(), 150}, {std::nan(""), 150}};
    for (const auto& [typed, period] : rows)
        EXPECT_EQ(sendPeriodFrom(typed), period) << (typed ? *typed : -1.0);
}
