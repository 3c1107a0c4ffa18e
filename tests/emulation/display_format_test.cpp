#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <cstring>
#include <random>
#include <string>

#include "emulation/display_format.h"
#include "emulation/number_reading.h"
#include "decimal_reference.h"

using namespace korvanteslin;

TEST(NumberReading, LeadingNumberOfAnyTextIsAlwaysFinite)
{
    constexpr double kMax = std::numeric_limits<double>::max();
    const std::string nines(5000, '9');
    struct Case {
        std::string text;
        double commaIsPoint, commaEnds;
    };
    const Case cases[] = {
        {"12,5", 12.5, 12},
        {",5", 0.5, 0},
        {"1,5e3", 1500, 1},
        {"  - 1 2 . 5", -12.5, -12.5}, // blanks are ignored wherever they stand
        {"kg 12", 0, 0},
        {"2e+", 2, 2},
        {"nan", 0, 0},
        {"1e400", kMax, kMax},
        {nines, kMax, kMax},
        {"0." + std::string(5000, '0') + "1", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 30));
        for (const auto& [mode, want] : {std::pair{CommaIsPoint::Yes, c.commaIsPoint}, {CommaIsPoint::No, c.commaEnds}}) {
            const double got = readNumber(c.text, mode);
            EXPECT_TRUE(std::isfinite(got));
            EXPECT_DOUBLE_EQ(got, want);
        }
    }
}

TEST(DisplayFormat, EntriesAreClampedRoundedAndRewritten)
{
    struct Case {
        std::size_t format;
        std::string entry;
        const char* shown;
        char separator = '.';
    };
    const Case cases[] = {
        {0, "123456", "99999"},
        {1, "-12345", "-9999.9"},
        {2, "1000", "999.99"},
        {3, "-100", "-99.999"},
        {4, "9.99995", "9.9999"},
        {1, "9999.96", "9999.9"}, // rounding up would pass the limit
        {1, "12.35", "12.4"}, // a hair below in binary, but the operator typed 12.35
        {1, "12.25", "12.3"}, // an exact tie goes away from zero, not to even
        {1, "letters", "0.0"},
        {1, "", "0.0"},
        {1, "-", "0.0"},
        {1, "-0.04", "0.0"}, // "-0.0" reads as zero and is shown again without the sign
        {1, "12.5", "12,5", ','},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.substr(0, 20) + " in " + kDisplayFormats[c.format].pattern);
        EXPECT_EQ(normaliseDisplay(c.entry, kDisplayFormats[c.format], c.separator), c.shown);
    }
}

TEST(DisplayFormat, TiesRoundAwayFromZeroOnTheTextTheOperatorReads)
{
    struct Case {
        double value;
        int decimals;
        const char* shown;
    };
    const Case cases[] = {
        {12.5, 0, "13"},
        {0.15, 1, "0.2"},
        {2.675, 2, "2.68"},
        {-0.005, 2, "-0.01"},
        {1.0005, 3, "1.001"},
        {0.00005, 4, "0.0001"},
        {99999.5, 0, "100000"},
        {-9.99995, 4, "-10.0000"},
        {0.0, 2, "0.00"},
        {-0.004, 2, "-0.00"}, // the sign follows the value, as the frames expect
        {1e22, 1, "10000000000000000000000.0"},
        {5e-324, 4, "0.0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " with " << c.decimals << " decimals");
        EXPECT_EQ(formatFixed(c.value, c.decimals, '.'), c.shown);
    }
}

// Random doubles of every magnitude, and numbers sitting on a tie of some
// decimal place, against a slow decimal reference.
TEST(DisplayFormat, RoundingMatchesADecimalReference)
{
    std::mt19937_64 random;
    for (int i = 0; i < 100000; ++i) {
        double value;
        if (i % 2 == 0) {
            const std::uint64_t bits = random();
            std::memcpy(&value, &bits, sizeof value);
            if (!std::isfinite(value) || std::fabs(value) > 1e30)
                continue;
        } else {
            // k + 0.5 units of a decimal place: ties as the operator types them.
            const int place = int(random() % 6);
            const double units = double(random() % 2000000) - 1000000 + 0.5;
            value = std::strtod(test::referenceFixed(units / std::pow(10.0, place), place + 1).c_str(), nullptr);
        }
        const int decimals = int(random() % 5);
        ASSERT_EQ(formatFixed(value, decimals, '.'), test::referenceFixed(value, decimals)) << value;
    }
}
