#include <gtest/gtest.h>

#include "emulation/display_format.h"
#include "emulation/terminal.h"

using namespace korvanteslin;

TEST(DisplayFormat, EntriesAreClampedRoundedAndRewritten)
{
    struct Case {
        std::size_t format;
        std::string entry;
        const char* shown;
        char separator = '.';
    };
    const Case cases[] = {
        {1, "12.345", "12.3"},
        {1, "12.35", "12.3"}, // 12.35 is a hair below in binary, as "%.1f" sees it
        {1, "12.25", "12.2"}, // an exact tie goes to even
        {1, "12345", "9999.9"},
        {1, "-12345", "-9999.9"},
        {1, "9999.9", "9999.9"},
        {1, "9999.94", "9999.9"},
        {1, "9999.96", "9999.9"},
        {0, "123456", "99999"},
        {0, "99999", "99999"},
        {0, "-99999.4", "-99999"},
        {0, "2.5", "2"},
        {4, "-10", "-9.9999"},
        {4, "9.9999", "9.9999"},
        {4, "9.99995", "9.9999"},
        {2, "1.25", "1.25"},
        {3, "1.25", "1.250"},
        {1, "letters", "0.0"},
        {1, "", "0.0"},
        {1, "-", "0.0"},
        {0, "-", "0"},
        {1, "-0", "0.0"},
        {1, "-0.04", "0.0"}, // "-0.0" reads as zero and is shown again without the sign
        {1, "12,5", "12.5"},
        {1, "12,5", "12,5", ','},
        {1, "12.5", "12,5", ','},
        {1, "-12345", "-9999,9", ','},
        {1, "1e400", "9999.9"},
        {4, std::string(3000, '7'), "9.9999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.substr(0, 20) + " in " + kDisplayFormats[c.format].pattern);
        EXPECT_EQ(normaliseDisplay(c.entry, kDisplayFormats[c.format], c.separator), c.shown);
    }
}

TEST(DisplayFormat, ANewPatternRewritesTheDisplaysWhileTheEntriesKeepTheirText)
{
    Terminal terminal;
    terminal.Combo2_Click(1);
    EXPECT_EQ(terminal.Text2, (std::array<std::string, 3>{"11.1", "-11.1", "0.0"}));

    terminal.Combo2_Click(2);
    EXPECT_EQ(terminal.Text2[1], "-11.10");
    terminal.Combo2_Click(0);
    EXPECT_EQ(terminal.Text2[1], "-11");
    EXPECT_EQ(terminal.Text2[2], "0");
    EXPECT_EQ(terminal.Text9, (std::array<std::string, 3>{"11.1", "-11.1", "Text9"}));

    terminal.Text9_Change(0, "12.345");
    EXPECT_EQ(terminal.Text2[0], "12");
    terminal.Combo2_Click(3);
    EXPECT_EQ(terminal.Text2[0], "12.345") << "the entry, not the old display, is re-read";
}

TEST(DisplayFormat, SettingsBoxesShowPlainNumbers)
{
    EXPECT_EQ(formatPlain(0.1, '.'), "0.1");
    EXPECT_EQ(formatPlain(0.1, ','), "0,1");
    EXPECT_EQ(formatPlain(3, '.'), "3");
    EXPECT_EQ(formatPlain(-2.75, '.'), "-2.75");
    EXPECT_EQ(formatPlain(1.0 / 3.0, '.'), "0.333333333333333");
}
