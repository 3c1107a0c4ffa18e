#include "control/frame_printer.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace korvanteslin;

TEST(FramePrinter, SecondsWithMillisecondsThenTheBytesInHex)
{
    struct Row {
        std::int64_t ms;
        std::string frame;
        const char* line;
    };
    const Row rows[] = {
        {12345, "\x02 0012.5Bkg\r", "12.345 02 20 30 30 31 32 2E 35 42 6B 67 0D"},
        {0, std::string("\x00\xFF\x7F", 3), "0.000 00 FF 7F"},
        {7, "A", "0.007 41"},
        {60'000, "", "60.000"},
        {86'400'123, "\n", "86400.123 0A"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(frameLine(row.ms, row.frame), row.line);
}

TEST(FramePrinter, EachLineLeavesAtOnce)
{
    // Counts flushes, so a line kept back in a buffer shows.
    struct Counting : std::stringbuf {
        int syncs = 0;
        int sync() override { return ++syncs, std::stringbuf::sync(); }
    } buffer;
    std::ostream out(&buffer);
    printFrame(out, 1500, "\x02");
    EXPECT_EQ(buffer.str(), "1.500 02\n");
    EXPECT_EQ(buffer.syncs, 1);
    printFrame(out, 1501, "\x03");
    EXPECT_EQ(buffer.str(), "1.500 02\n1.501 03\n");
    EXPECT_EQ(buffer.syncs, 2);
}
