#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "emulation/display_format.h"
#include "emulation/number_reading.h"

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
        {1, "12.35", "12.3"}, // 12.35 is a hair below in binary, as "%.1f" sees it
        {1, "12.25", "12.2"}, // an exact tie goes to even
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
