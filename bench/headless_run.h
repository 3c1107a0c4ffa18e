#pragma once

// The real program as a test harness runs it: headless, with its own data
// folder, a virtual port and the control API, in a scratch folder of its own.
// The serial port leads to a device the bench gives, or nowhere (a path that
// does not exist), so no real device is ever written to.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct HeadlessOptions {
    int periodMs = 150;
    int oscCount = 0;           // steady frames from the start
    int model = 0;              // ZMR-1
    bool writeSettings = true;  // else the program starts on an empty data folder
    bool control = true;
    std::string device;         // the serial port's device; empty: a path that does not exist
    std::vector<std::string> extra; // e.g. "--line-rate"
};

class HeadlessRun {
public:
    // Starts the program; returns at once (see waitReady).
    HeadlessRun(const std::string& program, const HeadlessOptions& options);
    // Ends it the way a harness does (SIGTERM: the close sequence) and removes the folder.
    ~HeadlessRun();
    HeadlessRun(const HeadlessRun&) = delete;
    HeadlessRun& operator=(const HeadlessRun&) = delete;

    // Reads the program's announcements until the virtual port (and the
    // control API, if asked for) are ready. False on timeout or early exit.
    bool waitReady(std::int64_t timeoutNs);

    pid_t pid() const { return pid_; }
    std::int64_t startedAt() const { return started_; } // just before fork and exec
    const std::string& folder() const { return folder_; }
    const std::string& virtualPath() const { return virtualPath_; }
    std::uint16_t controlPort() const { return controlPort_; }
    std::int64_t virtualAnnouncedAt() const { return virtualAt_; }
    std::int64_t controlAnnouncedAt() const { return controlAt_; }
    // What the program said on standard error so far.
    std::string errors() const;

    void stop();

private:
    std::string folder_;
    std::string virtualPath_;
    bool wantControl_;
    pid_t pid_ = -1;
    int out_ = -1; // the program's standard output
    std::string outText_;
    std::int64_t started_ = 0;
    std::int64_t virtualAt_ = 0;
    std::int64_t controlAt_ = 0;
    std::uint16_t controlPort_ = 0;
};

} // namespace bench
