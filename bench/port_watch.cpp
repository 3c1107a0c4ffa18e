#include "port_watch.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "line_probe.h"

namespace bench {

std::vector<ReceivedFrame> framesOf(const std::vector<Chunk>& chunks, char terminator)
{
    std::vector<ReceivedFrame> frames;
    ReceivedFrame current;
    for (const Chunk& chunk : chunks) {
        std::size_t from = 0;
        while (from < chunk.bytes.size()) {
            if (current.bytes.empty())
                current.first = chunk.t;
            const std::size_t end = chunk.bytes.find(terminator, from);
            const std::size_t stop = end == std::string::npos ? chunk.bytes.size() : end + 1;
            current.bytes.append(chunk.bytes, from, stop - from);
            ++current.chunks;
            from = stop;
            if (end != std::string::npos) {
                current.last = chunk.t;
                frames.push_back(std::move(current));
                current = {};
            }
        }
    }
    return frames;
}

std::vector<Burst> burstsOf(const std::vector<Chunk>& chunks, std::int64_t quietNs)
{
    std::vector<Burst> bursts;
    for (const Chunk& chunk : chunks) {
        if (bursts.empty() || chunk.t - bursts.back().last > quietNs) {
            bursts.emplace_back();
            bursts.back().first = chunk.t;
        }
        Burst& burst = bursts.back();
        burst.last = chunk.t;
        burst.bytes += chunk.bytes;
        burst.chunks.push_back(chunk);
    }
    return bursts;
}

std::vector<std::int64_t> arrivalsOf(const std::vector<ReceivedFrame>& frames)
{
    std::vector<std::int64_t> out;
    out.reserve(frames.size());
    for (const auto& frame : frames)
        out.push_back(frame.last);
    return out;
}

PortWatch::PortWatch()
    : epoll_(epoll_create1(EPOLL_CLOEXEC))
    , wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (epoll_ < 0 || wake_ < 0)
        throw std::runtime_error("epoll or eventfd failed");
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = UINT64_MAX;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
    thread_ = std::thread([this] { run(); });
}

PortWatch::~PortWatch()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t woken = ::write(wake_, &one, sizeof one);
    thread_.join();
    for (Line& line : lines_)
        if (line.owned)
            ::close(line.fd);
    ::close(wake_);
    ::close(epoll_);
}

std::size_t PortWatch::open(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    termios raw{};
    if (tcgetattr(fd, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
    return add(fd, true);
}

std::size_t PortWatch::watch(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return add(fd, false);
}

std::size_t PortWatch::add(int fd, bool owned)
{
    std::size_t index;
    {
        std::lock_guard lock(mutex_);
        index = lines_.size();
        lines_.push_back(Line{fd, owned, {}});
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = index;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0)
        throw std::runtime_error("epoll_ctl failed");
    return index;
}

std::vector<Chunk> PortWatch::chunks(std::size_t line) const
{
    std::lock_guard lock(mutex_);
    return lines_[line].chunks;
}

std::size_t PortWatch::chunkCount(std::size_t line) const
{
    std::lock_guard lock(mutex_);
    return lines_[line].chunks.size();
}

bool PortWatch::waitForMore(std::size_t line, std::size_t count, std::int64_t timeoutNs) const
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::nanoseconds(timeoutNs),
        [&] { return lines_[line].chunks.size() > count; });
}

void PortWatch::clear(std::size_t line)
{
    std::lock_guard lock(mutex_);
    lines_[line].chunks.clear();
}

void PortWatch::run()
{
    epoll_event events[64];
    char buffer[4096];
    for (;;) {
        const int ready = epoll_wait(epoll_, events, 64, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        bool any = false;
        for (int i = 0; i < ready; ++i) {
            const std::uint64_t index = events[i].data.u64;
            if (index == UINT64_MAX)
                return;
            int fd;
            {
                std::lock_guard lock(mutex_);
                fd = lines_[index].fd;
            }
            for (;;) {
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                const std::int64_t now = monotonicNs();
                if (n < 0 && (errno == EAGAIN || errno == EINTR))
                    break;
                if (n <= 0) {
                    // The sender is gone (a pseudo-terminal then reads EIO): stop
                    // watching, or epoll would report the hang-up forever.
                    epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
                    break;
                }
                std::lock_guard lock(mutex_);
                lines_[index].chunks.push_back(Chunk{now, std::string(buffer, std::size_t(n))});
                any = true;
            }
        }
        if (any)
            arrived_.notify_all();
    }
}

} // namespace bench
