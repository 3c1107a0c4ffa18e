#pragma once

// Pieces of the timing benchmark: a reader that timestamps every frame
// arriving on a line (a pseudo-terminal's master, say), and a reference writer
// that sends frames at absolute deadlines, the best the operating system can do.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bench {

std::int64_t monotonicNs();

// Timestamps the arrival of every frame: the moment its last byte, the
// terminator, is read. Reading can be paused to play a receiver that stalls.
class FrameReader {
public:
    FrameReader(int fd, char terminator);
    ~FrameReader();

    std::vector<std::int64_t> arrivals() const;
    std::size_t bytesRead() const { return bytes_; }
    std::size_t malformed() const { return malformed_; }
    void setPaused(bool paused) { paused_ = paused; }
    // Bytes read in the first `windowNs` after the last resume.
    std::size_t burstAfterResume() const { return burst_; }
    void resumeAndMeasureBurst(std::int64_t windowNs);

private:
    void run();

    int fd_;
    char terminator_;
    std::size_t frameLength_ = 12;
    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
    std::atomic<std::size_t> bytes_{0};
    std::atomic<std::size_t> malformed_{0};
    std::atomic<std::size_t> burst_{0};
    std::atomic<std::int64_t> burstUntil_{0};
    mutable std::mutex mutex_;
    std::vector<std::int64_t> arrivals_;
    std::thread thread_;
};

// Writes `frame` to the device every `periodNs`, each at its absolute deadline.
class ReferenceWriter {
public:
    ReferenceWriter(const std::string& device, std::string frame, std::int64_t periodNs);
    ~ReferenceWriter();

    // The first deadline; every later one is a whole number of periods after it.
    std::int64_t firstDeadline() const { return first_; }
    // CPU time the writing thread has used: what sending these frames costs at the least.
    std::int64_t cpuNs() const;

private:
    void run();

    int fd_;
    std::string frame_;
    std::int64_t periodNs_;
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> first_{0};
    std::thread thread_;
};

} // namespace bench
