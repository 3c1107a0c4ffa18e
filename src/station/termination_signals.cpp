#include "station/termination_signals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <stdexcept>

namespace korvanteslin {

namespace {

constexpr std::array kSignals{SIGTERM, SIGINT, SIGHUP};

// Shared with the handler, which may use nothing but async-signal-safe calls.
volatile sig_atomic_t writeEnd = -1;
std::array<struct sigaction, kSignals.size()> previous{};
std::array<bool, kSignals.size()> installed{};

void onSignal(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full socket means the event loop has signals waiting already: dropping one is fine.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (writeEnd >= 0)
        throw std::logic_error("termination signals are already being caught");
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::runtime_error("no socket pair for the termination signals");
    readEnd = ends[0];
    writeEnd = ends[1];
    notifier = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);

    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        struct sigaction current {};
        ::sigaction(kSignals[i], nullptr, &current);
        if (current.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        installed[i] = ::sigaction(kSignals[i], &action, &previous[i]) == 0;
    }
}

TerminationSignals::~TerminationSignals()
{
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        if (installed[i])
            ::sigaction(kSignals[i], &previous[i], nullptr);
        installed[i] = false;
    }
    ::close(writeEnd);
    writeEnd = -1;
    ::close(readEnd);
}

void TerminationSignals::drain()
{
    unsigned char numbers[16];
    for (ssize_t got; (got = ::read(readEnd, numbers, sizeof numbers)) > 0;) {
        for (ssize_t i = 0; i < got; ++i)
            emit received(numbers[i]);
    }
}

} // namespace korvanteslin
