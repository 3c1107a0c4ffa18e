#include <signal.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>
#include <vector>

#include "station/termination_signals.h"

using namespace korvanteslin;

TEST(TerminationSignals, ArriveOnTheEventLoopAndOneIgnoredAtStartStaysIgnored)
{
    // SIGHUP ignored, as under nohup; the other two as from a terminal.
    const int numbers[] = {SIGTERM, SIGINT, SIGHUP};
    struct sigaction before[3] {}, action {};
    for (int i = 0; i < 3; ++i) {
        action.sa_handler = numbers[i] == SIGHUP ? SIG_IGN : SIG_DFL;
        ::sigaction(numbers[i], &action, &before[i]);
    }
    std::vector<int> received;
    {
        TerminationSignals termination;
        QObject::connect(&termination, &TerminationSignals::received, [&](int number) { received.push_back(number); });
        // A caught SIGHUP would come first: the numbers queue in the order raised.
        ::raise(SIGHUP);
        ::raise(SIGTERM);
        ::raise(SIGINT);
        EXPECT_TRUE(received.empty()) << "nothing happens inside the handler";
        for (const QDeadlineTimer deadline(10000); received.size() < 2 && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGINT}));
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, SIG_DFL) << "the earlier handling is back";
    for (int i = 0; i < 3; ++i)
        ::sigaction(numbers[i], &before[i], nullptr);
}
