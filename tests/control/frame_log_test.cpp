#include "control/frame_log.h"
#include "control/frame_log_timer.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

using namespace korvanteslin;

namespace {

std::vector<std::uint64_t> seqs(const std::vector<FrameRecord>& records)
{
    std::vector<std::uint64_t> numbers;
    for (const FrameRecord& record : records)
        numbers.push_back(record.seq);
    return numbers;
}

// A log on a clock the test moves by hand, and a record of what each waiter got.
struct LogWithFakeClock : testing::Test {
    std::int64_t clock = 0;
    FrameLog log{[this] { return clock; }};
    std::vector<std::pair<int, std::vector<std::uint64_t>>> answers; // (waiter, seqs) in call order

    void wait(int waiter, std::uint64_t after, std::int64_t waitMs)
    {
        log.waitAfter(after, waitMs,
            [this, waiter](std::vector<FrameRecord> records) { answers.emplace_back(waiter, seqs(records)); });
    }
    void addFrames(int count)
    {
        for (int i = 0; i < count; ++i)
            log.add("frame", 1.5, false);
    }
};

} // namespace

TEST_F(LogWithFakeClock, NumbersFramesAndKeepsTheLastThousand)
{
    clock = 1234;
    const FrameRecord& first = log.add(std::string("\x02 12.5kg\r", 9), 12.5, true);
    EXPECT_EQ(first.seq, 1u);
    EXPECT_EQ(first.tMs, 1234);
    EXPECT_EQ(first.bytes, std::string("\x02 12.5kg\r", 9));
    EXPECT_EQ(first.weight, 12.5);
    EXPECT_TRUE(first.stable);

    addFrames(1004);
    EXPECT_EQ(log.lastSeq(), 1005u);
    struct Row {
        std::uint64_t after;
        std::size_t count;
        std::uint64_t firstSeq;
    };
    for (const Row& row : {Row{0, 1000, 6}, Row{5, 1000, 6}, Row{6, 999, 7}, Row{1000, 5, 1001},
                           Row{1004, 1, 1005}, Row{1005, 0, 0}, Row{999999, 0, 0}}) {
        SCOPED_TRACE(row.after);
        const auto records = log.after(row.after);
        ASSERT_EQ(records.size(), row.count);
        if (row.count > 0) {
            EXPECT_EQ(records.front().seq, row.firstSeq);
            EXPECT_EQ(records.back().seq, 1005u);
        }
    }
}

TEST_F(LogWithFakeClock, AnswersWaitersAtOnceOnTheNextFrameOrAtTheirDeadline)
{
    using Answers = std::vector<std::pair<int, std::vector<std::uint64_t>>>;
    addFrames(3);

    wait(1, 1, 500);  // frames are there: answered at once
    wait(2, 3, 0);    // no waiting asked for: answered at once, empty
    EXPECT_EQ(answers, (Answers{{1, {2, 3}}, {2, {}}}));
    answers.clear();

    wait(3, 3, 500);
    wait(4, 3, 100);
    wait(5, 4, 100);  // asks for what comes after the next frame
    EXPECT_EQ(log.nextDeadline(), 100);
    clock = 99;
    log.expire();
    EXPECT_TRUE(answers.empty());

    addFrames(1);  // frame 4 answers the two waiting for it, nothing else
    EXPECT_EQ(answers, (Answers{{4, {4}}, {3, {4}}}));
    answers.clear();

    clock = 100;
    log.expire();
    EXPECT_EQ(answers, (Answers{{5, {}}}));
    EXPECT_EQ(log.waiting(), 0u);
    EXPECT_EQ(log.nextDeadline(), std::nullopt);

    // A wait is never longer than ten seconds.
    wait(6, 4, 60'000);
    EXPECT_EQ(log.nextDeadline(), clock + 10'000);
}

TEST_F(LogWithFakeClock, WaiterMayWaitAgainFromItsAnswer)
{
    std::vector<std::int64_t> deadlines;
    log.setDeadlineListener([&](std::optional<std::int64_t> deadline) { deadlines.push_back(deadline.value_or(-1)); });
    std::vector<std::uint64_t> seen;
    std::function<void(std::vector<FrameRecord>)> follow = [&](std::vector<FrameRecord> records) {
        for (const FrameRecord& record : records)
            seen.push_back(record.seq);
        log.waitAfter(log.lastSeq(), 1000, follow);
    };
    log.waitAfter(0, 1000, follow);
    clock = 10;
    addFrames(1);
    clock = 20;
    addFrames(2);
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{1, 2, 3}));
    EXPECT_EQ(log.waiting(), 1u);
    // Each new wait moved the one deadline the timer has to keep.
    EXPECT_EQ(deadlines, (std::vector<std::int64_t>{-1, 1000, -1, 1010, -1, 1020, -1, 1020}));
}

TEST(FrameLogTimer, EndsAWaitOnTimeFromTheEventLoop)
{
    FrameLog log(msSinceStart);
    FrameLogTimer timer(log);
    QEventLoop loop;
    std::optional<std::int64_t> answeredAfter;
    const std::int64_t start = log.now();
    log.waitAfter(0, 40, [&](std::vector<FrameRecord> records) {
        EXPECT_TRUE(records.empty());
        answeredAfter = log.now() - start;
        loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_TRUE(answeredAfter.has_value());
    EXPECT_GE(*answeredAfter, 40);
    EXPECT_LT(*answeredAfter, 1000);
}
