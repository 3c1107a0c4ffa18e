#pragma once

#include <string_view>

namespace korvanteslin {

// A line the frames go out on: the serial port, the virtual port's end, the
// TCP clients. The outlet writes every frame to each line alike.
class FrameLine {
public:
    virtual ~FrameLine() = default;
    // Hands one frame over whole, now, or not at all.
    virtual bool write(std::string_view frame) = 0;
    // The cable to the reader pulled out or put back: the line shows its
    // reader what a real one would (a hang-up, modem lines dropping).
    virtual void setPlugged(bool /*plugged*/) {}
    // The port's settings changed: a line that holds its reader's end up to
    // them looks again.
    virtual void portLineChanged() {}
};

} // namespace korvanteslin
