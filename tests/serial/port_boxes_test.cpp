#include "serial/port_boxes.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace korvanteslin;

TEST(PortBoxes, EachNumberBoxIsAWholeNumberOfItsFieldsWidth)
{
    struct Row {
        PortBoxes boxes;
        std::optional<std::array<std::int32_t, 4>> read; // number, rate, data bits, stop bits
    };
    const Row rows[] = {
        {{"2", "9600", "n", "8", "1"}, std::array<std::int32_t, 4>{2, 9600, 8, 1}},
        {{" 5 ", "4000000", "whatever", "7", "2"}, std::array<std::int32_t, 4>{5, 4000000, 7, 2}},
        {{"-3", "0", "", "0", "0"}, std::array<std::int32_t, 4>{-3, 0, 0, 0}}, // the port judges the values
        {{"32767", "2147483647", "e", "5", "1"}, std::array<std::int32_t, 4>{32767, 2147483647, 5, 1}},
        {{"32768", "9600", "n", "8", "1"}, std::nullopt},
        {{"2", "2147483648", "n", "8", "1"}, std::nullopt},
        {{"2", "9600", "n", "8.0", "1"}, std::nullopt},
        {{"2", "96 00", "n", "8", "1"}, std::nullopt},
        {{"2", "9600", "n", "8", ""}, std::nullopt},
        {{"0x2", "9600", "n", "8", "1"}, std::nullopt},
        {{"2", "9600", "n", "8", "1.5"}, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(QStringList(row.boxes.begin(), row.boxes.end()).join(QLatin1Char(',')).toStdString());
        const auto read = parsePortBoxes(row.boxes);
        ASSERT_EQ(read.has_value(), row.read.has_value());
        if (read) {
            EXPECT_EQ((std::array<std::int32_t, 4>{read->number, read->rate, read->dataBits, read->stopBits}), *row.read);
        }
    }
}
