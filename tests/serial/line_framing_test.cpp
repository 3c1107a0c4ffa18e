#include "serial/line_framing.h"

#include <gtest/gtest.h>

#include <termios.h>

using namespace korvanteslin;

namespace {

constexpr Parity parities[] = {Parity::None, Parity::Even, Parity::Odd, Parity::Space, Parity::Mark};

// What each parity is on a Linux line, written out rather than derived.
tcflag_t parityOnTheLine(Parity parity)
{
    switch (parity) {
    case Parity::None: return 0;
    case Parity::Even: return PARENB;
    case Parity::Odd: return PARENB | PARODD;
    case Parity::Space: return PARENB | CMSPAR;
    case Parity::Mark: return PARENB | PARODD | CMSPAR;
    }
    return 0;
}

tcflag_t sizeOnTheLine(int dataBits)
{
    return dataBits == 5 ? CS5 : dataBits == 6 ? CS6 : dataBits == 7 ? CS7 : CS8;
}

} // namespace

TEST(LineFraming, EveryParityTransitionPutsExactlyTheNewFramingOnTheLine)
{
    // Bits that have nothing to do with framing must come through untouched.
    const tcflag_t others = B19200 | CREAD | CLOCAL | HUPCL;
    const tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    for (const Parity from : parities)
        for (const Parity to : parities)
            for (int dataBits = 5; dataBits <= 8; ++dataBits)
                for (const StopBits stopBits : {StopBits::One, StopBits::Two}) {
                    const PortSettings settings{9600, to, dataBits, stopBits};
                    SCOPED_TRACE(formatPortSettings(settings) + " after parity " + char(from));
                    // Whatever the line held: the old parity, another size, the other stop bits.
                    const tcflag_t before = others | parityOnTheLine(from) | sizeOnTheLine(13 - dataBits)
                        | (stopBits == StopBits::Two ? 0 : CSTOPB);
                    const tcflag_t after = framedControlFlags(before, settings);
                    EXPECT_EQ(after & framing,
                        parityOnTheLine(to) | sizeOnTheLine(dataBits) | (stopBits == StopBits::Two ? CSTOPB : 0));
                    EXPECT_EQ(after & ~framing, others);
                    EXPECT_EQ(framingNotTaken(after, settings), FramingPart::None);
                }
}

TEST(LineFraming, WhatADeviceReportsIsJudgedOnlyOnTheBitsThatMeanSomething)
{
    const struct {
        tcflag_t reported;
        PortSettings settings;
        FramingPart notTaken;
    } rows[] = {
        // Left over from another program: without parity, odd and stick say nothing.
        {CS8 | PARODD, {9600, Parity::None, 8, StopBits::One}, FramingPart::None},
        {CS8 | PARODD | CMSPAR, {9600, Parity::None, 8, StopBits::One}, FramingPart::None},
        {CS7 | PARENB, {9600, Parity::Even, 7, StopBits::One}, FramingPart::None},
        {CS5 | PARENB | PARODD | CMSPAR | CSTOPB, {9600, Parity::Mark, 5, StopBits::Two}, FramingPart::None},
        // A line that keeps 8 bits and no parity whatever it is asked (a pseudo-terminal).
        {CS8, {9600, Parity::Even, 7, StopBits::One}, FramingPart::DataBits},
        {CS8, {9600, Parity::Even, 8, StopBits::One}, FramingPart::Parity},
        // Parity on, but not the one asked for.
        {CS8 | PARENB | CMSPAR, {9600, Parity::Even, 8, StopBits::One}, FramingPart::Parity},
        {CS8 | PARENB | PARODD, {9600, Parity::Mark, 8, StopBits::One}, FramingPart::Parity},
        {CS8 | PARENB | PARODD, {9600, Parity::Even, 8, StopBits::One}, FramingPart::Parity},
        {CS8 | PARENB, {9600, Parity::None, 8, StopBits::One}, FramingPart::Parity},
        {CS8, {9600, Parity::None, 8, StopBits::Two}, FramingPart::StopBits},
        {CS8 | CSTOPB, {9600, Parity::None, 8, StopBits::One}, FramingPart::StopBits},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(formatPortSettings(row.settings) + " reported as " + std::to_string(row.reported));
        EXPECT_EQ(framingNotTaken(row.reported, row.settings), row.notTaken);
    }
}

TEST(LineFraming, SettingsStringsAreReadStrictlyAndWrittenBackCanonically)
{
    const std::pair<const char*, const char*> accepted[] = {
        {"115200,o,8,2", "115200,o,8,2"}, {"2400,M,5,1", "2400,m,5,1"}, {"009600,N,8,1", "9600,n,8,1"},
        {" 1200 , s , 6 , 2 ", "1200,s,6,2"}, {"50,o,8,1", "50,o,8,1"}, {"4000000,E,7,1.5", "4000000,e,7,1.5"},
    };
    for (const auto& [text, canonical] : accepted) {
        const auto settings = parsePortSettings(text);
        ASSERT_TRUE(settings.has_value()) << text;
        EXPECT_EQ(formatPortSettings(*settings), canonical);
        EXPECT_EQ(parsePortSettings(canonical), settings);
    }
    for (const char* text : {"115200,q,8,1", "9600,n,8", "1200,n,8,1,", "49,n,8,1", "4000001,n,8,1",
             "99999999999,n,8,1", "+9600,n,8,1", "9600,no,8,1", "9600,n,4,1", "9600,n,9,1", "9600,n,08,1",
             "9600,n,8,0", "9600,n,8,1.0"})
        EXPECT_FALSE(parsePortSettings(text).has_value()) << text;
}
