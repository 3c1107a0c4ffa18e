#include "serial/frame_outlet.h"

#include "serial/comm_port.h"

namespace korvanteslin {

FrameOutlet::FrameOutlet(CommPort& port)
    : port_(port)
{
}

void FrameOutlet::addLine(FrameLine* line)
{
    lines_.push_back(line);
}

void FrameOutlet::onWritten(std::function<void(const OutgoingFrame&)> observer)
{
    observers_.push_back(std::move(observer));
}

void FrameOutlet::send(const OutgoingFrame& frame)
{
    ++built_;
    // A closed port just misses the frame; the other lines still get it.
    bool left = port_.output(frame.bytes);
    for (FrameLine* line : lines_)
        left = line->write(frame.bytes) || left;
    if (!left)
        return;
    ++written_;
    for (const auto& observer : observers_)
        observer(frame);
}

} // namespace korvanteslin
