#pragma once

// The real program, started offscreen with a private data folder whose COM2
// leads to a pseudo-terminal, watched through /proc.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace bench {

class ProgramRun {
public:
    ProgramRun(const std::string& program, const std::string& device, int periodMs);
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

private:
    std::string folder_;
    pid_t pid_ = -1;
};

} // namespace bench
