#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "emulation/number_reading.h"

using namespace korvanteslin;

TEST(NumberReading, LeadingNumberOfAnyText)
{
    constexpr double kMax = std::numeric_limits<double>::max();
    struct Case {
        std::string text;
        double want;
    };
    const Case cases[] = {
        {"12.5", 12.5},
        {"12,5", 12.5},
        {"12.5 kg", 12.5},
        {"  - 1 2 . 5", -12.5}, // blanks are ignored wherever they stand
        {"+7", 7},
        {".5", 0.5},
        {"5.", 5},
        {"-", 0},
        {"", 0},
        {"kg 12", 0},
        {"nan", 0},
        {"inf", 0},
        {"--5", 0},
        {"1.2.3", 1.2},
        {"1,2,3", 1.2},
        {"1e3", 1000},
        {"1E-2", 0.01},
        {"2e", 2},
        {"2e+", 2},
        {"2e-x", 2},
        {"1e400", kMax},
        {"-1e400", -kMax},
        {"1e-400", 0},
        {"0.0000001e-350", 0},
        {"1e99999999999999999999", kMax},
        {std::string(5000, '9'), kMax},
        {"0." + std::string(5000, '0') + "1", 0},
        {std::string("12\x01\x7f", 4), 12},
        {"\t3\n", 3},
    };
    for (const Case& c : cases) {
        const double got = readNumber(c.text);
        EXPECT_TRUE(std::isfinite(got)) << c.text;
        EXPECT_DOUBLE_EQ(got, c.want) << c.text.substr(0, 40);
    }
}

TEST(NumberReading, WholeNumbersStayInSixteenBits)
{
    EXPECT_EQ(floorToInt16(3.9), 3);
    EXPECT_EQ(floorToInt16(-2.5), -3);
    EXPECT_EQ(floorToInt16(32767.9), 32767);
    EXPECT_EQ(floorToInt16(70000), 32767);
    EXPECT_EQ(floorToInt16(-1e300), -32768);
}

TEST(NumberReading, ACommaCanEndTheNumberInstead)
{
    struct Case {
        std::string text;
        double want;
    };
    const Case cases[] = {
        {"12,5", 12},
        {",5", 0},
        {"-3,9", -3},
        {"1,5e3", 1},
        {" 1 2 ,3", 12},
        {"12.5", 12.5},
        {"1.5e3", 1500},
        {std::string(5000, '9') + ",1", std::numeric_limits<double>::max()},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(readNumber(c.text, CommaIsPoint::No), c.want) << c.text.substr(0, 40);
    EXPECT_DOUBLE_EQ(readNumber("1,5e3", CommaIsPoint::Yes), 1500);
}

TEST(NumberReading, WholeNumbersInThirtyTwoBitsOrNothing)
{
    struct Case {
        double value;
        std::optional<std::int32_t> want;
    };
    const Case cases[] = {
        {3.9, 3},
        {-0.5, -1},
        {2147483647.9, 2147483647},
        {2147483648.0, std::nullopt},
        {-2147483648.0, -2147483647 - 1},
        {-2147483648.5, std::nullopt},
        {1e300, std::nullopt},
        {-std::numeric_limits<double>::max(), std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(floorToInt32(c.value), c.want) << c.value;
}
