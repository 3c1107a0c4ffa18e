#pragma once

// One reader thread for many receiving ends: every read is kept with the
// moment it returned, so a bench can see frames, their halves and the noise
// between them, each on the monotonic clock.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bench {

// What one read returned, and when.
struct Chunk {
    std::int64_t t = 0;
    std::string bytes;
};

// A frame as a receiving program cuts it: everything up to and including the terminator.
struct ReceivedFrame {
    std::int64_t first = 0; // arrival of its first byte
    std::int64_t last = 0;  // arrival of its terminator
    std::string bytes;
    std::size_t chunks = 0; // reads it took
};

// The reads of one line grouped by the quiet between them: what one tick of
// the sender put on the line, however many writes it took.
struct Burst {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::string bytes;
    std::vector<Chunk> chunks;
};

std::vector<ReceivedFrame> framesOf(const std::vector<Chunk>& chunks, char terminator = '\r');
std::vector<Burst> burstsOf(const std::vector<Chunk>& chunks, std::int64_t quietNs);
std::vector<std::int64_t> arrivalsOf(const std::vector<ReceivedFrame>& frames);

class PortWatch {
public:
    PortWatch();
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // Opens a serial device (a virtual port's link) raw and watches it; the
    // watch closes it. Returns the line's number. Throws when it cannot.
    std::size_t open(const std::string& path);
    // Watches a descriptor the caller keeps open.
    std::size_t watch(int fd);

    std::vector<Chunk> chunks(std::size_t line) const;
    std::size_t chunkCount(std::size_t line) const;
    // Waits until the line holds more than `count` chunks; false on timeout.
    bool waitForMore(std::size_t line, std::size_t count, std::int64_t timeoutNs) const;
    // Forgets what was read so far (keeps memory flat over long runs).
    void clear(std::size_t line);

private:
    struct Line {
        int fd = -1;
        bool owned = false;
        std::vector<Chunk> chunks;
    };
    std::size_t add(int fd, bool owned);
    void run();

    int epoll_ = -1;
    int wake_ = -1; // an eventfd that ends the thread
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::deque<Line> lines_; // a deque: adding a line never moves the others
    std::thread thread_;
};

} // namespace bench
