// A receiving UART set differently from the sender, against bit streams
// worked out by hand. Bits are written start, data LSB first, parity, stop.
#include "serial/uart_model.h"

#include <gtest/gtest.h>

using namespace korvanteslin;

namespace {

PortSettings line(const char* text)
{
    return *parsePortSettings(text);
}

ReceivedChar clean(std::uint8_t value)
{
    return {value, false, false, false};
}

} // namespace

TEST(UartModel, AReceiverSetDifferentlyDecodesWhatARealOneWould)
{
    struct Row {
        const char* what;
        std::string bytes;
        const char* sent;
        const char* read;
        std::vector<ReceivedChar> received;
    };
    const Row rows[] = {
        {"alike", std::string("\x02\x00\xFF\r", 4), "9600,n,8,1", "9600,n,8,1",
            {clean(0x02), clean(0x00), clean(0xFF), clean('\r')}},
        // 0 01000000 1 | 0 00000100 1: sampled at every other bit from the
        // first edge, 0 | 0 0 0 1 0 0 0 0 | 1.
        {"read at half the speed", "\x02\x20", "9600,n,8,1", "4800,n,8,1", {clean(0x08)}},
        // 0 01000000 1: each bit sampled twice, 0 | 00011000 | 0, the stop
        // sample falls on the sender's fifth bit; the rest never falls again.
        {"read at twice the speed", "\x02", "9600,n,8,1", "19200,n,8,1", {{0x18, false, true, false}}},
        // '1' = 0 10001100 1: seven bits 1000110 (three ones), the eighth (0)
        // taken for the even parity bit, which should be 1.
        {"8N1 read as 7E1", "10", "9600,n,8,1", "9600,e,7,1", {{'1', true, false, false}, clean('0')}},
        // '1' at 7E1 = 0 1000110 1 1: its parity bit read as an eighth data bit.
        {"7E1 read as 8N1", "10", "9600,e,7,1", "9600,n,8,1", {clean(0xB1), clean('0')}},
        {"7 data bits sent drop the eighth", "\xB1", "9600,n,7,1", "9600,n,8,1", {clean(0xB1)}},
        // The receiver checks one stop bit: a second one is idle line to it.
        {"2 stop bits read as 1", "\x02\x20", "9600,n,8,2", "9600,n,8,1", {clean(0x02), clean(0x20)}},
        {"1 stop bit read as 2", "\x02\x20", "9600,n,8,1", "9600,n,8,2", {clean(0x02), clean(0x20)}},
        // Nine low bits at 1200 are 72 at 9600: the stop sample is low too.
        {"a long low is a break", std::string(1, '\0'), "1200,n,8,1", "9600,n,8,1", {{0x00, false, true, true}}},
        {"odd parity kept", "\x01", "9600,o,8,1", "9600,o,8,1", {clean(0x01)}},
        {"mark parity read as space", "\x01", "9600,m,8,1", "9600,s,8,1", {{0x01, true, false, false}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(receiveAs(row.bytes, line(row.sent), line(row.read)), row.received);
    }
}

// A byte at a time on a paced line: a character reaches the reader with the
// sent byte its stop bit was sampled in, and the pieces of a frame hand out
// each character exactly once.
TEST(UartModel, EachCharacterIsHeardWithTheSentByteHoldingItsStopSample)
{
    struct Row {
        const char* what;
        std::string bytes;
        const char* read;
        std::vector<std::size_t> afterBytes;
        std::vector<std::size_t> perByte; // characters each one-byte piece hands out
    };
    const Row rows[] = {
        {"alike", std::string("\x02\x00\xFF\r", 4), "9600,n,8,1", {1, 2, 3, 4}, {1, 1, 1, 1}},
        // The stop sample of the one character at 4800 is the sender's half bit 38 of 40.
        {"read at half the speed", "\x02\x20", "4800,n,8,1", {2}, {0, 1}},
        // At 19200 the stop sample is half bit 9, in the first byte.
        {"read at twice the speed", "\x02", "19200,n,8,1", {1}, {1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<HeardChar> heard = receiveHeard(row.bytes, line("9600,n,8,1"), line(row.read));
        std::vector<std::size_t> after;
        for (const HeardChar& one : heard)
            after.push_back(one.afterBytes);
        EXPECT_EQ(after, row.afterBytes);
        std::vector<std::size_t> perByte;
        for (std::size_t at = 0; at < row.bytes.size(); ++at)
            perByte.push_back(heardBy(heard, {row.bytes, at, at + 1}).size());
        EXPECT_EQ(perByte, row.perByte);
    }
}
