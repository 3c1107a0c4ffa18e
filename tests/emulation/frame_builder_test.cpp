#include <gtest/gtest.h>

#include <QByteArray>
#include <string>

#include "emulation/frame_builder.h"
#include "emulation/terminal.h"

using namespace korvanteslin;

TEST(FrameBuilder, EveryModelSendsExactlyTheseBytes)
{
    constexpr SignalStates kStable{0, 1, 0, 0}, kZeroStable{1, 1, 0, 0}, kTare{0, 0, 1, 0}, kNone{0, 0, 0, 0},
        kAll{1, 1, 1, 1}, kGrayed{2, 2, 2, 2};
    struct Case {
        double weight;
        int model;
        int decimals;
        SignalStates states;
        const char* hex;
    };
    const Case cases[] = {
        // 12.5 kg, "###0.0", weight stable.
        {12.5, kZmr1, 1, kStable, "02 20 30 30 31 32 2E 35 42 6B 67 0D"},
        {12.5, kZmr3, 1, kStable, "3D 35 2E 32 31 30 30 30"},
        {12.5, kZmr5, 1, kStable, "3D 35 2E 32 31 20 20 20 42 0D"},
        // -12.5 kg.
        {-12.5, kZmr1, 1, kStable, "02 2D 30 30 31 32 2E 35 42 6B 67 0D"},
        {-12.5, kZmr3, 1, kStable, "3D 35 2E 32 31 30 30 2D"},
        {-12.5, kZmr5, 1, kStable, "3D 35 2E 32 31 2D 20 20 42 0D"},
        // 0 kg, zero and stable.
        {0.0, kZmr1, 1, kZeroStable, "02 20 30 30 30 30 2E 30 43 6B 67 0D"},
        {0.0, kZmr3, 1, kZeroStable, "3D 30 2E 30 30 30 30 30"},
        {0.0, kZmr5, 1, kZeroStable, "3D 30 2E 30 20 20 20 20 43 0D"},
        // 1.25 kg, "##0.00", tare.
        {1.25, kZmr1, 2, kTare, "02 20 30 30 31 2E 32 35 44 6B 67 0D"},
        {1.25, kZmr3, 2, kTare, "3D 35 32 2E 31 30 30 30"},
        {1.25, kZmr5, 2, kTare, "3D 35 32 2E 31 20 20 20 44 0D"},
        // Status byte from "@" to "O"; a grayed box is off.
        {12.5, kZmr1, 1, kNone, "02 20 30 30 31 32 2E 35 40 6B 67 0D"},
        {12.5, kZmr5, 1, kAll, "3D 35 2E 32 31 20 20 20 4F 0D"},
        {12.5, kZmr1, 1, kGrayed, "02 20 30 30 31 32 2E 35 40 6B 67 0D"},
        // The sign follows the unrounded weight; ZMR-5 carries what the rendering shows.
        {-0.01, kZmr1, 1, kNone, "02 2D 30 30 30 30 2E 30 40 6B 67 0D"},
        {-0.01, kZmr3, 1, kNone, "3D 30 2E 30 30 30 30 2D"},
        {-0.01, kZmr5, 1, kNone, "3D 30 2E 30 2D 20 20 20 40 0D"},
        {-0.0, kZmr3, 1, kNone, "3D 30 2E 30 30 30 30 30"},
        // Too wide: the leftmost characters go.
        {123456.7, kZmr1, 1, kNone, "02 20 33 34 35 36 2E 37 40 6B 67 0D"},
        {-123456.7, kZmr5, 1, kNone, "3D 37 2E 36 35 34 33 32 40 0D"},
        // "####0": no decimal point.
        {12.0, kZmr1, 0, kNone, "02 20 30 30 30 30 31 32 40 6B 67 0D"},
        {12.0, kZmr5, 0, kNone, "3D 32 31 20 20 20 20 20 40 0D"},
        // "0.0000" and the largest weight there is.
        {1.7976931348623157e308, kZmr3, 4, kNone, "3D 30 30 30 30 2E 30 30"}, // 17976931348623157 and 292 zeros
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.weight << " model " << c.model << " decimals " << c.decimals);
        const auto frame = assembleFrame(c.weight, c.model, c.decimals, c.states);
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(*frame, QByteArray::fromHex(QByteArray(c.hex).replace(' ', "")).toStdString());
        EXPECT_EQ(hexEcho(*frame), " " + std::string(c.hex));
    }

    // A terminal that shows a comma still sends a point.
    Terminal comma(',');
    comma.Text9_Change(0, "12,5");
    comma.Command5_Click("0", "0");
    comma.Command1_Click();
    EXPECT_EQ(comma.BuildFrame(), "\x02 0012.5Bkg\r");
}
