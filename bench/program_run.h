#pragma once

// The real program, started offscreen with a private data folder whose COM2
// leads to a pseudo-terminal, watched through /proc.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// CPU time of a process so far (all its threads), in nanoseconds.
std::int64_t processCpuNs(pid_t pid);
// Resident memory of a process, in kibibytes; the proportional share (the
// shared libraries divided among the processes that map them) with `proportional`.
long processMemoryKiB(pid_t pid, bool proportional = false);

class ProgramRun {
public:
    // `extraArguments` go on the program's command line; "{folder}" in them
    // stands for the run's own scratch folder.
    ProgramRun(const std::string& program, const std::string& device, int periodMs,
        const std::vector<std::string>& extraArguments = {});
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    pid_t pid() const { return pid_; }
    const std::string& folder() const { return folder_; }
    // CPU time so far (all its threads), in nanoseconds.
    std::int64_t cpuNs() const;
    // Resident memory, in kibibytes.
    long rssKiB() const;
    // The next expiry of the program's tick timer (the timer with this
    // period), on the monotonic clock.
    std::optional<std::int64_t> nextTickDeadline(std::int64_t periodNs) const;
    // The rest of the first line of standard output that starts with
    // `prefix`; empty when none came within `timeoutMs`.
    std::string lineStartingWith(const std::string& prefix, int timeoutMs = 20000) const;

private:
    std::string folder_;
    pid_t pid_ = -1;
};

} // namespace bench
