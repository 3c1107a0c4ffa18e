// What a terminal's reader is handed for characters received with errors, by its input flags.
#include "serial/pty_reader.h"

#include <gtest/gtest.h>

using namespace korvanteslin;

TEST(PtyReader, ErrorsReachTheReaderAsItsInputFlagsSay)
{
    const std::vector<ReceivedChar> received{
        {'a', false, false, false}, {'b', true, false, false}, {'c', false, true, false}, {0, false, true, true}};
    const std::pair<tcflag_t, std::string> rows[] = {
        {0, std::string("abc\0", 4)},                    // no checking: the bytes as they came, a break as NUL
        {INPCK, std::string("a\0\0\0", 4)},              // checked: each bad one read as NUL
        {INPCK | IGNPAR, std::string("a\0", 2)},         // and dropped
        {INPCK | IGNPAR | IGNBRK, "a"},                  // breaks too
        {BRKINT, "abc"},                                 // a break interrupts and leaves nothing
    };
    for (const auto& [flags, handed] : rows)
        EXPECT_EQ(ptyDelivery(received, flags), handed) << flags;
}
