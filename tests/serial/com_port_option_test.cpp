// RFC 2217's requests as a device server answers them, byte for byte.
#include "serial/com_port_option.h"

#include <gtest/gtest.h>

using namespace korvanteslin;

namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (const int value : values)
        out += char(value);
    return out;
}

} // namespace

TEST(ComPortOption, EachRequestIsAnsweredWithTheSettingInForceAfterIt)
{
    struct Row {
        const char* what;
        std::string request;
        std::string answer;
        std::string settings; // the client's line after it
    };
    const Row rows[] = {
        {"baud 4800", bytes({1, 0, 0, 0x12, 0xC0}), bytes({101, 0, 0, 0x12, 0xC0}), "4800,n,8,1"},
        {"baud query", bytes({1, 0, 0, 0, 0}), bytes({101, 0, 0, 0x25, 0x80}), "9600,n,8,1"},
        {"baud 115200", bytes({1, 0, 1, 0xC2, 0}), bytes({101, 0, 1, 0xC2, 0}), "115200,n,8,1"},
        {"baud cut short", bytes({1, 0, 0x12}), "", "9600,n,8,1"},
        {"7 data bits", bytes({2, 7}), bytes({102, 7}), "9600,n,7,1"},
        {"9 data bits: kept", bytes({2, 9}), bytes({102, 8}), "9600,n,8,1"},
        {"parity even", bytes({3, 3}), bytes({103, 3}), "9600,e,8,1"},
        {"parity odd", bytes({3, 2}), bytes({103, 2}), "9600,o,8,1"},
        {"parity space", bytes({3, 5}), bytes({103, 5}), "9600,s,8,1"},
        {"parity 6: kept", bytes({3, 6}), bytes({103, 1}), "9600,n,8,1"},
        {"2 stop bits", bytes({4, 2}), bytes({104, 2}), "9600,n,8,2"},
        {"1.5 stop bits", bytes({4, 3}), bytes({104, 3}), "9600,n,8,1.5"},
        {"hardware flow control: none", bytes({5, 3}), bytes({105, 1}), "9600,n,8,1"},
        {"inbound flow query", bytes({5, 13}), bytes({105, 14}), "9600,n,8,1"},
        {"DTR off", bytes({5, 9}), bytes({105, 9}), "9600,n,8,1"},
        {"RTS query", bytes({5, 10}), bytes({105, 11}), "9600,n,8,1"},
        {"break on", bytes({5, 5}), bytes({105, 5}), "9600,n,8,1"},
        {"unknown control", bytes({5, 40}), "", "9600,n,8,1"},
        {"our signature", bytes({0}), std::string("d") + "Korvanteslin 1.02", "9600,n,8,1"},
        {"the client's signature", std::string("\0client", 7), "", "9600,n,8,1"},
        {"modem state asked", bytes({7}), bytes({107, 0xB0}), "9600,n,8,1"},
        {"line-state mask", bytes({10, 0x1C}), bytes({110, 0x1C}), "9600,n,8,1"},
        {"purge both", bytes({12, 3}), bytes({112, 3}), "9600,n,8,1"},
        {"purge 4", bytes({12, 4}), "", "9600,n,8,1"},
        {"unknown command", bytes({60, 1}), "", "9600,n,8,1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ClientLine line;
        EXPECT_EQ(answerComPort(line, row.request, kCarrierDetect | kDataSetReady | kClearToSend), row.answer);
        EXPECT_EQ(formatPortSettings(line.settings), row.settings);
    }
}

TEST(ComPortOption, ModemLinesMasksAndFlowSuspensionStayWithTheClient)
{
    ClientLine line;
    answerComPort(line, bytes({5, 9}), 0);  // DTR off
    answerComPort(line, bytes({5, 12}), 0); // RTS off
    EXPECT_EQ(answerComPort(line, bytes({5, 7}), 0), bytes({105, 9}));
    EXPECT_EQ(answerComPort(line, bytes({5, 10}), 0), bytes({105, 12}));
    EXPECT_FALSE(line.dtr || line.rts);

    EXPECT_EQ(answerComPort(line, bytes({11, 0x20}), 0), bytes({111, 0x20}));
    EXPECT_EQ(modemStateNotice(line, kCarrierDetect | kDataSetReady | kClearToSend), bytes({107, 0x20}));

    EXPECT_EQ(answerComPort(line, bytes({8}), 0), "");
    EXPECT_TRUE(line.suspended);
    answerComPort(line, bytes({9}), 0);
    EXPECT_FALSE(line.suspended);
}
