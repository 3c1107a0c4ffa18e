#include "serial/frame_outlet.h"

namespace korvanteslin {

FrameOutlet::FrameOutlet()
    : paced_([this](const FramePiece& piece) { return writePieceAll(piece); })
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
    if (pacing_ && !pacer_.submit(MonoClock::now(), frame.bytes, frameTime(frame.bytes.size(), lineSettings_))) {
        waiting_ = frame;
        pacerTimer_.startAt(pacer_.freeAt());
        return;
    }
    slotStart_ = pacer_.startedAt();
    leave(frame);
}

void FrameOutlet::releaseWaiting()
{
    if (pacer_.release(MonoClock::now())) {
        // Its bytes are timed from where the line came free, however late this wakes.
        slotStart_ = pacer_.startedAt();
        leave(std::exchange(waiting_, {}));
    }
    else if (pacer_.hasWaiting())
        pacerTimer_.startAt(pacer_.freeAt());
}

void FrameOutlet::leave(OutgoingFrame frame)
{
    // A frame cut in two is whole on the line before the next one starts.
    if (!splitRest_.empty()) {
        splitTimer_.stop();
        finishSplit();
    }
    const MonoTime now = MonoClock::now();
    const MonoTime slot = std::exchange(slotStart_, MonoTime::max());
    FaultVerdict verdict = faults_.next(frame.bytes, now);
    if (faults_.silentAt(now)) {
        silenced_ = frame;
        return;
    }
    if (!verdict.write) {
        if (!verdict.garbage.empty())
            writeNoise(verdict.garbage, verdict.garbage, slot);
        return;
    }
    frame.bytes = std::move(verdict.frame);
    const std::string_view whole = frame.bytes;
    const std::string_view first = verdict.splitAt > 0 ? whole.substr(0, std::size_t(verdict.splitAt)) : whole;
    // Noise and the frame in one write: a real line takes a write whole or not at all.
    const bool left = verdict.garbage.empty() ? writeAll(first, slot)
                                              : writeNoise(verdict.garbage, verdict.garbage + std::string(first), slot);
    if (left)
        ++written_;
    if (verdict.splitAt > 0) {
        splitRest_ = whole.substr(std::size_t(verdict.splitAt));
        // Paced, the first part takes its time on the line before the gap begins.
        const auto onLine = pacing_ ? frameTime(verdict.garbage.size() + first.size(), lineSettings_) : std::chrono::nanoseconds(0);
        splitTimer_.startAt(MonoClock::now() + onLine + std::chrono::milliseconds(verdict.gapMs));
    }
    notify(frame);
}

void FrameOutlet::finishSplit()
{
    writeAll(std::exchange(splitRest_, {}));
}

void FrameOutlet::requestFaults(const FaultRequest& request)
{
    faults_.request(request, MonoClock::now());
    if (request.silenceMs > 0) {
        // Silent from now: the rest of a frame leaving or cut in two is not sent either.
        paced_.cut();
        splitTimer_.stop();
        splitRest_.clear();
        silenceTimer_.startAt(faults_.silenceUntil());
    }
}

void FrameOutlet::cancelFaults()
{
    const bool wasSilent = faults_.silentAt(MonoClock::now());
    faults_.cancel();
    if (wasSilent)
        endSilence();
}

void FrameOutlet::endSilence()
{
    silenceTimer_.stop();
    // The line speaks again at once, with the latest frame, not a period later.
    if (silenced_ && !faults_.silentAt(MonoClock::now()))
        leave(*std::exchange(silenced_, std::nullopt));
}

bool FrameOutlet::writeNoise(const std::string& garbage, std::string_view bytes, MonoTime slot)
{
    const bool left = writeAll(bytes, slot);
    if (garbage.empty())
        return left;
    if (left)
        faults_.garbageWritten(garbage);
    else
        faults_.garbageNotWritten(garbage);
    return left;
}

void FrameOutlet::setLineSettings(const PortSettings& settings)
{
    lineSettings_ = settings;
    for (FrameLine* line : lines_)
        line->portLineChanged();
}

void FrameOutlet::setPlugged(bool plugged)
{
    if (plugged == plugged_)
        return;
    plugged_ = plugged;
    if (!plugged)
        paced_.cut();
    for (FrameLine* line : lines_)
        line->setPlugged(plugged);
}

bool FrameOutlet::writeAll(std::string_view bytes, MonoTime slot)
{
    if (!plugged_)
        return false;
    if (pacing_)
        return paced_.start(std::string(bytes), frameTime(1, lineSettings_), slot);
    return writePieceAll({bytes, 0, bytes.size()});
}

bool FrameOutlet::writePieceAll(const FramePiece& piece)
{
    // A closed port just misses the bytes; the other lines still get them.
    bool left = false;
    for (FrameLine* line : lines_)
        left = line->writePiece(piece) || left;
    return left;
}

void FrameOutlet::notify(const OutgoingFrame& frame)
{
    for (const auto& observer : observers_)
        observer(frame);
}

} // namespace korvanteslin
