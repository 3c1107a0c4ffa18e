#include "serial/frame_outlet.h"


namespace korvanteslin {

namespace {

std::int64_t nowMs()
{
    return monotonicNs() / 1'000'000;
}

} // namespace

FrameOutlet::FrameOutlet()
{
    QObject::connect(&pacerTimer_, &DeadlineTimer::expired, [this] { releaseWaiting(); });
    QObject::connect(&splitTimer_, &DeadlineTimer::expired, [this] { finishSplit(); });
    QObject::connect(&silenceTimer_, &DeadlineTimer::expired, [this] { endSilence(); });
}

void FrameOutlet::addLine(FrameLine* line)
{
    lines_.push_back(line);
}

void FrameOutlet::onSent(std::function<void(const OutgoingFrame&)> observer)
{
    observers_.push_back(std::move(observer));
}

void FrameOutlet::setLinePacing(bool on)
{
    pacing_ = on;
}

void FrameOutlet::send(const OutgoingFrame& frame)
{
    ++built_;
    if (pacing_ && !pacer_.submit(monotonicNs(), frame.bytes, occupancyNs(frame.bytes))) {
        waiting_ = frame;
        pacerTimer_.startAt(pacer_.freeAt());
        return;
    }
    leave(frame);
}

void FrameOutlet::releaseWaiting()
{
    if (pacer_.release(monotonicNs()))
        leave(std::exchange(waiting_, {}));
    else if (pacer_.hasWaiting())
        pacerTimer_.startAt(pacer_.freeAt());
}

void FrameOutlet::leave(OutgoingFrame frame)
{
    // A frame cut in two is whole on the line before the next one starts.
    if (!splitRest_.isEmpty()) {
        splitTimer_.stop();
        finishSplit();
    }
    const std::int64_t now = nowMs();
    FaultVerdict verdict = faults_.next(frame.bytes, now);
    if (faults_.silentAt(now)) {
        silenced_ = frame;
        return;
    }
    if (!verdict.write) {
        if (!verdict.garbage.isEmpty())
            writeNoise(verdict.garbage, verdict.garbage);
        return;
    }
    frame.bytes = verdict.frame;
    const QByteArray first = verdict.splitAt > 0 ? frame.bytes.left(verdict.splitAt) : frame.bytes;
    // Noise and the frame in one write: a real line takes a write whole or not at all.
    if (writeNoise(verdict.garbage, verdict.garbage + first))
        ++written_;
    if (verdict.splitAt > 0) {
        splitRest_ = frame.bytes.mid(verdict.splitAt);
        splitTimer_.startAt(monotonicNs() + std::int64_t(verdict.gapMs) * 1'000'000);
    }
    notify(frame);
}

void FrameOutlet::finishSplit()
{
    writeAll(std::exchange(splitRest_, {}));
}

void FrameOutlet::requestFaults(const FaultRequest& request)
{
    faults_.request(request, nowMs());
    if (request.silenceMs > 0) {
        // Silent from now: the rest of a frame cut in two is not sent either.
        splitTimer_.stop();
        splitRest_.clear();
        silenceTimer_.startAt(faults_.silenceUntil() * 1'000'000);
    }
}

void FrameOutlet::cancelFaults()
{
    const bool wasSilent = faults_.silentAt(nowMs());
    faults_.cancel();
    if (wasSilent)
        endSilence();
}

void FrameOutlet::endSilence()
{
    silenceTimer_.stop();
    // The line speaks again at once, with the latest frame, not a period later.
    if (silenced_ && !faults_.silentAt(nowMs()))
        leave(*std::exchange(silenced_, std::nullopt));
}

bool FrameOutlet::writeNoise(const QByteArray& garbage, const QByteArray& bytes)
{
    const bool left = writeAll(bytes);
    if (garbage.isEmpty())
        return left;
    if (left)
        faults_.garbageWritten(garbage);
    else
        faults_.garbageNotWritten(garbage);
    return left;
}

bool FrameOutlet::writeAll(const QByteArray& bytes)
{
    // A closed port just misses the bytes; the other lines still get them.
    bool left = false;
    for (FrameLine* line : lines_)
        left = line->write(bytes) || left;
    return left;
}

void FrameOutlet::notify(const OutgoingFrame& frame)
{
    for (const auto& observer : observers_)
        observer(frame);
}

std::int64_t FrameOutlet::occupancyNs(const QByteArray& frame) const
{
    return frameTimeNs(std::size_t(frame.size()), lineSettings_);
}

} // namespace korvanteslin
