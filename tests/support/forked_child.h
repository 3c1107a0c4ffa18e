#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>

namespace korvanteslin::test {

// How a child run by runInChild ended, and what it reported.
struct ChildOutcome {
    bool timedOut = false; // still running at the deadline: killed
    int status = 0;        // as waitpid gives it
    std::string report;    // what `body` returned

    bool exitedNormally() const { return !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
    bool killedBy(int signal) const { return !timedOut && WIFSIGNALED(status) && WTERMSIG(status) == signal; }
};

// Runs `body` in a forked child: for what must not happen in the test's own
// process (a change of user, a death on purpose, a wait that may never end).
// The child returns its report as text through a pipe.
inline ChildOutcome runInChild(const std::function<std::string()>& body, std::chrono::milliseconds timeout)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::close(ends[0]);
        const std::string report = body();
        for (std::size_t at = 0; at < report.size();) {
            const ssize_t n = ::write(ends[1], report.data() + at, report.size() - at);
            if (n <= 0)
                break;
            at += std::size_t(n);
        }
        ::_exit(0);
    }
    ::close(ends[1]);
    ChildOutcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd reader{ends[0], POLLIN, 0};
        const int ready = left.count() <= 0 ? 0 : ::poll(&reader, 1, int(left.count()));
        if (ready < 0)
            continue;
        if (ready == 0) {
            outcome.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        char chunk[512];
        const ssize_t n = ::read(ends[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        outcome.report.append(chunk, std::size_t(n));
    }
    ::close(ends[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.status = outcome.timedOut ? 0 : status;
    return outcome;
}

} // namespace korvanteslin::test
