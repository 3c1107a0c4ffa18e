#include "line_probe.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

namespace bench {

std::int64_t monotonicNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FrameReader::FrameReader(int fd, char terminator)
    : fd_(fd)
    , terminator_(terminator)
    , thread_([this] { run(); })
{
}

FrameReader::~FrameReader()
{
    stop_ = true;
    thread_.join();
}

std::vector<std::int64_t> FrameReader::arrivals() const
{
    std::lock_guard lock(mutex_);
    return arrivals_;
}

void FrameReader::resumeAndMeasureBurst(std::int64_t windowNs)
{
    burst_ = 0;
    burstUntil_ = monotonicNs() + windowNs;
    paused_ = false;
}

void FrameReader::run()
{
    std::size_t sinceTerminator = 0;
    char buffer[4096];
    while (!stop_) {
        if (paused_) {
            usleep(1000);
            continue;
        }
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN))
            continue;
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        const std::int64_t now = monotonicNs();
        if (n <= 0)
            continue;
        bytes_ += std::size_t(n);
        if (now < burstUntil_)
            burst_ += std::size_t(n);
        std::lock_guard lock(mutex_);
        for (ssize_t i = 0; i < n; ++i) {
            ++sinceTerminator;
            if (buffer[i] == terminator_) {
                if (sinceTerminator != frameLength_)
                    ++malformed_;
                sinceTerminator = 0;
                arrivals_.push_back(now);
            }
        }
    }
}

ReferenceWriter::ReferenceWriter(const std::string& device, std::string frame, std::int64_t periodNs)
    : fd_(::open(device.c_str(), O_WRONLY | O_NOCTTY))
    , frame_(std::move(frame))
    , periodNs_(periodNs)
    , thread_([this] { run(); })
{
}

std::int64_t ReferenceWriter::cpuNs() const
{
    clockid_t clock{};
    timespec used{};
    if (pthread_getcpuclockid(const_cast<std::thread&>(thread_).native_handle(), &clock) != 0
        || clock_gettime(clock, &used) != 0)
        return 0;
    return std::int64_t(used.tv_sec) * 1'000'000'000 + used.tv_nsec;
}

ReferenceWriter::~ReferenceWriter()
{
    stop_ = true;
    thread_.join();
    ::close(fd_);
}

void ReferenceWriter::run()
{
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    first_ = std::int64_t(deadline.tv_sec) * 1'000'000'000 + deadline.tv_nsec + periodNs_;
    while (!stop_) {
        deadline.tv_nsec += periodNs_;
        while (deadline.tv_nsec >= 1'000'000'000) {
            deadline.tv_nsec -= 1'000'000'000;
            ++deadline.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
        if (::write(fd_, frame_.data(), frame_.size()) < 0)
            return;
    }
}

} // namespace bench
