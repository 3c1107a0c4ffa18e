#include <gtest/gtest.h>

#include <bit>

#include "http_client.h"
#include "line_helpers.h"
#include "serial/frame_outlet.h"

using namespace korvanteslin;
using test::frame;
using test::serveUntil;
using namespace std::string_literals;

namespace {

std::int64_t msNow()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(MonoClock::now().time_since_epoch()).count();
}

// Frame `n` as the outlet takes it.
std::string bytesOf(int n)
{
    return frame(n).toStdString();
}

class RecordingLine : public FrameLine {
public:
    bool writePiece(const FramePiece& piece) override
    {
        if (piece.first()) {
            taking = accepting;
            if (taking) {
                frames.emplace_back();
                atMs.push_back(msNow());
            }
        }
        if (taking) {
            frames.back() += piece.bytes();
            pieceUs.push_back(std::chrono::duration_cast<std::chrono::microseconds>(MonoClock::now().time_since_epoch()).count());
        }
        return taking;
    }
    bool taking = false;
    std::vector<std::int64_t> pieceUs; // when each piece was taken
    bool accepting = true;
    std::vector<std::string> frames;
    std::vector<std::int64_t> atMs; // when each frame was taken
};

} // namespace

// Some lines take a frame and some do not (a closed port, a busy client):
// a frame counts as written when any line took it.
TEST(FrameOutlet, EveryLineGetsEveryFrameAndTheCountsSayWhatLeft)
{
    FrameOutlet outlet;
    RecordingLine first, second;
    outlet.addLine(&first);
    outlet.addLine(&second);
    std::vector<OutgoingFrame> seen;
    outlet.onSent([&](const OutgoingFrame& frame) { seen.push_back(frame); });

    outlet.send({"=1", 1.0, false});
    second.accepting = false;
    outlet.send({"=2", 2.0, true});
    first.accepting = false;
    outlet.send({"=3", 3.0, true}); // taken by nobody

    EXPECT_EQ(first.frames, (std::vector<std::string>{"=1", "=2"}));
    EXPECT_EQ(second.frames, (std::vector<std::string>{"=1"}));
    ASSERT_EQ(seen.size(), 3u) << "every frame sent is seen, taken by a line or not";
    EXPECT_EQ(seen[1].bytes, "=2");
    EXPECT_TRUE(seen[1].stable);
    EXPECT_EQ(outlet.framesBuilt(), 3u);
    EXPECT_EQ(outlet.framesWritten(), 2u);
    EXPECT_EQ(outlet.framesDropped(), 1u);
}

// The pacer on a fake clock: frames due every millisecond leave exactly at the
// line's own rate, each the moment the one before has left the line.
TEST(LinePacer, FramesLeaveAtTheLinesOwnRateExactly)
{
    struct Row {
        const char* settings;
        int bytes;
        std::int64_t frameNs;
        int perSecond; // frames that start within one second
    };
    const Row rows[] = {
        {"9600,n,8,1", 12, 12'500'000, 80},
        {"19200,n,8,1", 12, 6'250'000, 160},
        {"9600,e,7,2", 10, 11'458'333, 88}, // 11 bits a byte
        {"4800,o,7,1.5", 8, 17'500'000, 58}, // 10.5 bits a byte
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.settings);
        const auto settings = parsePortSettings(row.settings);
        ASSERT_TRUE(settings.has_value());
        const std::chrono::nanoseconds occupancy = frameTime(std::size_t(row.bytes), *settings);
        EXPECT_EQ(occupancy.count(), row.frameNs);

        LinePacer pacer;
        std::vector<MonoTime> starts;
        int built = 0;
        // Events in time order: a frame due each millisecond, and the line
        // coming free, which the outlet's timer answers up to 0.6 ms late.
        using std::chrono::microseconds;
        for (MonoTime tick{}; tick < MonoTime{std::chrono::seconds(1)};) {
            if (pacer.hasWaiting() && pacer.freeAt() <= tick) {
                const MonoTime at = pacer.freeAt();
                ASSERT_TRUE(pacer.release(at + microseconds(300) * int(starts.size() % 3)).has_value());
                starts.push_back(at);
                continue;
            }
            ++built;
            if (pacer.submit(tick, std::string(std::size_t(row.bytes), 'x'), occupancy))
                starts.push_back(tick);
            tick += std::chrono::milliseconds(1);
        }
        EXPECT_EQ(int(starts.size()), row.perSecond);
        for (std::size_t i = 1; i < starts.size(); ++i)
            ASSERT_EQ(starts[i] - starts[i - 1], occupancy) << "frame " << i;
        EXPECT_EQ(pacer.replaced(), std::uint64_t(built - row.perSecond - (pacer.hasWaiting() ? 1 : 0)));
    }
}

// With pacing at 9600 8N1 a frame leaves a byte at a time, 1.04 ms apart
// (never sooner: a late wake sends what is due together), and a line that
// refused the first byte gets none of the rest. A cable pulled under way
// cuts the frame where it is.
TEST(FrameOutlet, PacedBytesLeaveOneCharacterTimeApartAndEachLineHasAFrameWholeOrNotAtAll)
{
    FrameOutlet outlet;
    outlet.setLinePacing(true);
    outlet.setLineSettings(*parsePortSettings("9600,n,8,1"));
    RecordingLine reader, late;
    outlet.addLine(&reader);
    outlet.addLine(&late);
    late.accepting = false;

    outlet.send({bytesOf(1), 0, false});
    late.accepting = true; // too late for this frame
    ASSERT_TRUE(serveUntil([&] { return reader.frames.size() == 1 && reader.frames[0].size() == 12; }));
    EXPECT_EQ(reader.frames[0], bytesOf(1));
    EXPECT_TRUE(late.frames.empty()) << "a line that refused a frame's first byte gets none of the rest";
    ASSERT_GE(reader.pieceUs.size(), 2u);
    EXPECT_GE(reader.pieceUs.back() - reader.pieceUs.front(), 10'500) << "the twelfth byte leaves eleven character times (11.45 ms) after the first";

    serveUntil([] { return false; }, 20); // the line is free again
    reader.frames.clear();
    outlet.send({bytesOf(2), 0, false});
    outlet.setPlugged(false);
    serveUntil([] { return false; }, 20);
    EXPECT_EQ(reader.frames, (std::vector<std::string>{bytesOf(2).substr(0, 1)})) << "pulled out, the rest never leaves";
    EXPECT_EQ(late.frames, reader.frames);

    // A split's gap begins once its first part has left the line (6 bytes, 6.25 ms).
    outlet.setPlugged(true);
    reader.frames.clear();
    reader.atMs.clear();
    outlet.requestFaults({.split = 1, .gapMs = 5, .garbage = {}});
    outlet.send({bytesOf(3), 0, false});
    ASSERT_TRUE(serveUntil([&] { return reader.frames.size() == 2 && reader.frames[1].size() == 6; }));
    EXPECT_EQ(reader.frames[0] + reader.frames[1], bytesOf(3));
    EXPECT_GE(reader.atMs[1] - reader.atMs[0], 11);
}

// Faults seen on two lines at once: both get the same bytes, and each fault
// does exactly what was asked to exactly the frames it was asked for.
TEST(FrameOutlet, FaultsReachEveryLineAlikeAndTouchOnlyTheFramesAskedFor)
{
    FrameOutlet outlet;
    RecordingLine virtualEnd, tcpClient;
    outlet.addLine(&virtualEnd);
    outlet.addLine(&tcpClient);
    std::vector<std::string> logged;
    outlet.onSent([&](const OutgoingFrame& frame) { logged.push_back(frame.bytes); });

    outlet.requestFaults({.drop = 2, .garbage = {}});
    outlet.requestFaults({.corrupt = 1, .garbage = "\xFF\x00\xAA"s});
    for (int i = 0; i < 5; ++i)
        outlet.send({bytesOf(i), 0, false});
    // Dropped: frames 0 and 1; the noise went out with the first frame after them, which was corrupted.
    ASSERT_EQ(virtualEnd.frames.size(), 4u);
    EXPECT_EQ(virtualEnd.frames[0], "\xFF\x00\xAA"s);
    const std::string corrupted = virtualEnd.frames[1];
    ASSERT_EQ(corrupted.size(), bytesOf(2).size());
    int flipped = 0;
    for (std::size_t i = 0; i < corrupted.size(); ++i)
        flipped += std::popcount(unsigned(std::uint8_t(corrupted[i] ^ bytesOf(2)[i])));
    EXPECT_EQ(flipped, 1);
    EXPECT_EQ(corrupted[0], bytesOf(2)[0]) << "the first byte is never touched";
    EXPECT_EQ(virtualEnd.frames[2], bytesOf(3));
    EXPECT_EQ(virtualEnd.frames[3], bytesOf(4));
    EXPECT_EQ(tcpClient.frames, virtualEnd.frames);
    EXPECT_EQ(logged, (std::vector<std::string>{corrupted, bytesOf(3), bytesOf(4)}));
    EXPECT_EQ(outlet.framesDropped(), 2u);
    EXPECT_EQ(outlet.faults().done().garbageBytes, 3u);

    // Split: both halves, the gap between them, nothing lost.
    virtualEnd.frames.clear();
    virtualEnd.atMs.clear();
    outlet.requestFaults({.split = 1, .gapMs = 30, .garbage = {}});
    outlet.send({bytesOf(5), 0, false});
    ASSERT_TRUE(serveUntil([&] { return virtualEnd.frames.size() == 2; }));
    EXPECT_EQ(virtualEnd.frames[0], bytesOf(5).substr(0, 6));
    EXPECT_EQ(virtualEnd.frames[1], bytesOf(5).substr(6));
    EXPECT_GE(virtualEnd.atMs[1] - virtualEnd.atMs[0], 29);

    // Silence: nothing while it lasts, the latest frame the moment it ends.
    virtualEnd.frames.clear();
    virtualEnd.atMs.clear();
    const std::int64_t silentFrom = msNow();
    outlet.requestFaults({.silenceMs = 40, .garbage = {}});
    outlet.send({bytesOf(6), 0, false});
    outlet.send({bytesOf(7), 0, false});
    ASSERT_TRUE(serveUntil([&] { return !virtualEnd.frames.empty(); }));
    EXPECT_GE(virtualEnd.atMs[0] - silentFrom, 39); // silences are kept to the millisecond
    EXPECT_EQ(virtualEnd.frames, (std::vector<std::string>{bytesOf(7)}));

    // Cancelled: pending faults are forgotten.
    outlet.requestFaults({.drop = 3, .silenceMs = 10000, .garbage = {}});
    outlet.cancelFaults();
    virtualEnd.frames.clear();
    outlet.send({bytesOf(8), 0, false});
    EXPECT_EQ(virtualEnd.frames, (std::vector<std::string>{bytesOf(8)}));

    // Noise that no line took is not counted as sent: it goes with the next frame a line takes.
    virtualEnd.accepting = tcpClient.accepting = false;
    outlet.requestFaults({.garbage = "\xEE"});
    outlet.send({bytesOf(9), 0, false});
    EXPECT_EQ(outlet.faults().done().garbageBytes, 3u);
    virtualEnd.accepting = tcpClient.accepting = true;
    outlet.send({bytesOf(10), 0, false});
    EXPECT_EQ(virtualEnd.frames.back(), "\xEE" + bytesOf(10));
    EXPECT_EQ(outlet.faults().done().garbageBytes, 4u);
}
