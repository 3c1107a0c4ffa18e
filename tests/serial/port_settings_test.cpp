#include "serial/port_settings.h"

#include <gtest/gtest.h>

#include <ostream>

namespace korvanteslin {

void PrintTo(const PortSettings& settings, std::ostream* out)
{
    *out << formatPortSettings(settings);
}

namespace {

struct Row {
    std::string_view text;
    std::optional<PortSettings> settings; // nullopt: refused
    std::string_view canonical;
};

TEST(PortSettings, AcceptsOnlyFourValidItemsAndFormatsCanonically)
{
    using enum Parity;
    const Row rows[] = {
        {"9600,n,8,1", PortSettings{9600, None, 8, StopBits::One}, "9600,n,8,1"},
        {"19200,E,7,1.5", PortSettings{19200, Even, 7, StopBits::OneAndHalf}, "19200,e,7,1.5"},
        {"50,o,5,2", PortSettings{50, Odd, 5, StopBits::Two}, "50,o,5,2"},
        {"4000000,M,6,1", PortSettings{4000000, Mark, 6, StopBits::One}, "4000000,m,6,1"},
        {" 1200 , s , 8 , 2 ", PortSettings{1200, Space, 8, StopBits::Two}, "1200,s,8,2"},
        {"009600,N,8,1", PortSettings{9600, None, 8, StopBits::One}, "9600,n,8,1"},
        {"", std::nullopt, ""},
        {"9600,n,8", std::nullopt, ""},
        {"9600,n,8,1,", std::nullopt, ""},
        {"9600,n,8,1,1", std::nullopt, ""},
        {"9600;n;8;1", std::nullopt, ""},
        {",n,8,1", std::nullopt, ""},
        {"49,n,8,1", std::nullopt, ""},
        {"4000001,n,8,1", std::nullopt, ""},
        {"99999999999,n,8,1", std::nullopt, ""},
        {"-9600,n,8,1", std::nullopt, ""},
        {"+9600,n,8,1", std::nullopt, ""},
        {"9600.0,n,8,1", std::nullopt, ""},
        {"96 00,n,8,1", std::nullopt, ""},
        {"9600,x,8,1", std::nullopt, ""},
        {"9600,,8,1", std::nullopt, ""},
        {"9600,no,8,1", std::nullopt, ""},
        {"9600,n,4,1", std::nullopt, ""},
        {"9600,n,9,1", std::nullopt, ""},
        {"9600,n,08,1", std::nullopt, ""},
        {"9600,n,8,0", std::nullopt, ""},
        {"9600,n,8,1.0", std::nullopt, ""},
        {"9600,n,8,3", std::nullopt, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.text));
        const auto parsed = parsePortSettings(row.text);
        EXPECT_EQ(parsed, row.settings);
        if (parsed && row.settings) {
            EXPECT_EQ(formatPortSettings(*parsed), row.canonical);
            EXPECT_EQ(parsePortSettings(formatPortSettings(*parsed)), parsed);
        }
    }
}

} // namespace
} // namespace korvanteslin
