#include <gtest/gtest.h>

#include "serial/comm_port.h"
#include "serial/frame_outlet.h"

using namespace korvanteslin;

namespace {

class RecordingLine : public FrameLine {
public:
    bool write(const QByteArray& frame) override
    {
        if (accepting)
            frames.push_back(frame);
        return accepting;
    }
    bool accepting = true;
    std::vector<QByteArray> frames;
};

} // namespace

// The serial port is closed here: the other lines carry the frames alone, and
// a frame counts as written when any line took it.
TEST(FrameOutlet, EveryLineGetsEveryFrameAndTheCountsSayWhatLeft)
{
    CommPort port;
    FrameOutlet outlet(port);
    RecordingLine first, second;
    outlet.addLine(&first);
    outlet.addLine(&second);
    std::vector<OutgoingFrame> seen;
    outlet.onWritten([&](const OutgoingFrame& frame) { seen.push_back(frame); });

    outlet.send({"=1", 1.0, false});
    second.accepting = false;
    outlet.send({"=2", 2.0, true});
    first.accepting = false;
    outlet.send({"=3", 3.0, true}); // taken by nobody

    EXPECT_EQ(first.frames, (std::vector<QByteArray>{"=1", "=2"}));
    EXPECT_EQ(second.frames, (std::vector<QByteArray>{"=1"}));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].bytes, "=2");
    EXPECT_TRUE(seen[1].stable);
    EXPECT_EQ(outlet.framesBuilt(), 3u);
    EXPECT_EQ(outlet.framesWritten(), 2u);
    EXPECT_EQ(outlet.framesDropped(), 1u);
}
