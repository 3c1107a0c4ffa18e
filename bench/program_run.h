#pragma once

// The real program, started offscreen with a private data folder whose COM2
// leads to a pseudo-terminal, watched through /proc and its standard output.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

class ProgramRun {
public:
    ProgramRun(const std::string& program, const std::string& device, int periodMs,
        const std::vector<std::string>& arguments = {});
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    pid_t pid() const { return pid_; }
    // User plus system CPU time so far, in nanoseconds.
    std::int64_t cpuNs() const;
    // Resident memory, in kibibytes.
    long rssKiB() const;
    // The next expiry of the program's tick timer (the timer with this
    // period), on the monotonic clock.
    std::optional<std::int64_t> nextTickDeadline(std::int64_t periodNs) const;
    // The rest of the first line of standard output that starts with
    // `prefix`; empty when none came within `timeoutMs`.
    std::string lineStartingWith(const std::string& prefix, int timeoutMs = 20000);

private:
    std::string folder_;
    pid_t pid_ = -1;
    int out_ = -1; // the program's standard output
    std::string outBuffer_;
};

} // namespace bench
