#pragma once

// The real program as the benches run it: a child of this process in a
// scratch folder of its own (the test kit's), its announcements timestamped
// as they come, its CPU, memory and tick timer read from /proc. It is ended
// the way a harness ends it (SIGTERM: the close sequence).

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "program_run.h"

namespace bench {

struct RunOptions {
    int periodMs = 150;
    int oscCount = 0;          // steady frames from the start
    int model = 0;             // ZMR-1
    bool writeSettings = true; // else the program starts on an empty data folder
    // The options a test harness gives: headless, a data folder, a virtual
    // port, the device and (with `control`) the control API. Without, only
    // `extra`: a window offscreen unless they say otherwise, with the settings
    // in its program-files folder and COM2 linked to the device.
    bool harness = true;
    bool control = true;
    std::string device;             // empty: a path that does not exist, so no real device is ever written to
    std::vector<std::string> extra; // more options; "{folder}" stands for the run's folder
};

class MeasuredRun {
public:
    // Starts the program; returns at once (see waitReady).
    MeasuredRun(const std::string& program, const RunOptions& options);
    ~MeasuredRun() { stop(); }
    MeasuredRun(const MeasuredRun&) = delete;
    MeasuredRun& operator=(const MeasuredRun&) = delete;

    // Reads the program's announcements until the virtual port (and the
    // control API, if asked for) are ready. False on timeout or early exit.
    bool waitReady(std::int64_t timeoutNs);
    // The rest of the first line of standard output that starts with
    // `prefix`; empty when none came within `timeoutMs`.
    std::string lineStartingWith(const std::string& prefix, int timeoutMs = 20000);

    pid_t pid() const { return pid_; }
    std::int64_t startedAt() const { return started_; } // just before fork and exec
    const std::string& folder() const { return folder_; }
    std::string virtualPath() const { return folder_ + "/scale"; }
    std::uint16_t controlPort() const { return controlPort_; }
    std::int64_t virtualAnnouncedAt() const { return virtualAt_; }
    std::int64_t controlAnnouncedAt() const { return controlAt_; }
    // What the program said on standard error so far.
    std::string errors() const;

    // CPU time so far (all its threads), in nanoseconds.
    std::int64_t cpuNs() const;
    // Resident memory, in kibibytes; the proportional share (the shared
    // libraries divided among the processes that map them) with `proportional`.
    long memoryKiB(bool proportional = false) const;
    // The next expiry of the program's tick timer (the timer with this
    // period), on the monotonic clock.
    std::optional<std::int64_t> nextTickDeadline(std::int64_t periodNs) const;

    void stop();

private:
    struct Said {
        std::int64_t at = 0; // when the line was read
        std::string text;    // the line; in an answer, what follows the prefix
    };
    std::optional<Said> said(const std::string& prefix, std::int64_t until);

    korvanteslin::test::Scratch scratch_;
    std::string folder_;
    bool wantControl_;
    pid_t pid_ = -1;
    int out_ = -1; // the program's standard output
    std::string pending_;
    std::vector<Said> lines_;
    std::int64_t started_ = 0;
    std::int64_t virtualAt_ = 0;
    std::int64_t controlAt_ = 0;
    std::uint16_t controlPort_ = 0;
};

} // namespace bench
