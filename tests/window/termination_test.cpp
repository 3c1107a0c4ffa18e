// How the program ends when it is told to from outside: shutdown or kill
// (SIGTERM), Ctrl+C in its terminal (SIGINT), its terminal closed (SIGHUP).
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>
#include <fstream>
#include <iterator>

#include "program_run.h"
#include "shell/folders.h"
#include "shell/settings_file.h"
#include "station/termination_signals.h"

#include "file_bytes.h"

using namespace korvanteslin;
using korvanteslin::test::readAll;

namespace {

// A pseudo-terminal whose slave only the program holds, so that the master
// sees the line hang up the moment the program closes its port.
struct Line {
    Line()
    {
        int slave = -1;
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        ::close(slave);
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        slavePath = name;
    }
    ~Line() { ::close(master); }

    // Takes what arrived; false once the line has hung up.
    bool drain(std::size_t& received) const
    {
        char chunk[4096];
        for (ssize_t n; (n = ::read(master, chunk, sizeof chunk)) != 0;) {
            if (n < 0)
                return errno == EAGAIN;
            received += std::size_t(n);
        }
        return true;
    }

    int master = -1;
    std::string slavePath;
};

struct Event {
    int watch;
    std::uint32_t mask;
    std::string name;
};

std::vector<Event> readEvents(int fd)
{
    std::vector<Event> events;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            events.push_back({event->wd, event->mask, event->len > 0 ? std::string(event->name) : std::string()});
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    return events;
}

} // namespace

TEST(Termination, EachSignalClosesThePortThenSavesWhatChangedInTheWindowOnce)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        test::Scratch scratch;
        const std::string app = scratch.appFolder().toStdString();
        const std::string file = scratch.settingsFile().toStdString();
        Line line;
        scratch.linkCom2(QString::fromStdString(line.slavePath));
        // Cycle values the window's boxes do not accept: start-up puts their
        // defaults in the record, which only the end of the run writes back.
        SettingsRecord stored = SetDefaultSettings(app, localNow());
        stored.lngMaxCounter = 0;
        stored.lngCyclePeriod = 0;
        ASSERT_EQ(SaveSettings(file, stored), std::nullopt);

        // One queue for the line and the folder keeps their events in the order they happened.
        const int events = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        const int lineWatch = inotify_add_watch(events, line.slavePath.c_str(), IN_OPEN | IN_CLOSE_WRITE);
        const int folderWatch = inotify_add_watch(events, app.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);

        test::Program program(scratch, {});
        // Until the program has opened the line, its master only reports the hang-up.
        std::size_t received = 0;
        bool lineOpen = false;
        for (const QDeadlineTimer deadline(60000); received == 0 && !deadline.hasExpired();) {
            pollfd ready{lineOpen ? line.master : events, POLLIN, 0};
            ::poll(&ready, 1, 100);
            if (!lineOpen) {
                for (const Event& event : readEvents(events))
                    lineOpen = lineOpen || (event.watch == lineWatch && (event.mask & IN_OPEN));
            } else {
                lineOpen = line.drain(received);
            }
        }
        ASSERT_GT(received, 0u) << "the program never sent a frame";
        EXPECT_EQ(readAll(file), encodeSettings(stored)) << "nothing saved while it runs";
        readEvents(events); // start-up's

        ::kill(pid_t(program.process.processId()), signal);
        ASSERT_TRUE(program.ends(60000)) << "still running";
        EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.process.exitCode(), 0);

        const auto saved = decodeSettings(readAll(file));
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved->lngMaxCounter, 100);
        EXPECT_EQ(saved->lngCyclePeriod, 2);

        std::vector<std::string> order;
        for (const Event& event : readEvents(events)) {
            if (event.watch == lineWatch && (event.mask & IN_CLOSE_WRITE))
                order.push_back("port closed");
            if (event.watch == folderWatch && event.name == settingsFileName())
                order.push_back("settings saved");
        }
        EXPECT_EQ(order, (std::vector<std::string>{"port closed", "settings saved"}));
        ::close(events);
    }
}

TEST(Termination, SignalsArriveOnTheEventLoopAndOneIgnoredAtStartStaysIgnored)
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
