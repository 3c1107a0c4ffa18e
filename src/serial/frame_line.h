#pragma once

#include <cstddef>
#include <string_view>

namespace korvanteslin {

// The bytes of a frame that leave now: [from, to) of the whole `frame`. A
// frame paced at the line's speed leaves a few bytes at a time; otherwise
// it is one piece.
struct FramePiece {
    std::string_view frame;
    std::size_t from = 0;
    std::size_t to = 0;

    bool first() const { return from == 0; }
    bool last() const { return to >= frame.size(); }
    std::string_view bytes() const { return frame.substr(from, to - from); }
};

// A line the frames go out on: the serial port, the virtual port's end, the
// TCP clients. The outlet writes every frame to each line alike.
class FrameLine {
public:
    virtual ~FrameLine() = default;

    // Hands one frame over whole, now, or not at all.
    bool write(std::string_view frame) { return writePiece({frame, 0, frame.size()}); }

    // The first piece of a frame decides, for each reader on the line,
    // whether it takes the frame (true when one does); a reader that took it
    // gets every later piece, one that did not gets none, so each reader has
    // every frame whole or not at all.
    virtual bool writePiece(const FramePiece& piece) = 0;
    // The cable to the reader pulled out or put back: the line shows its
    // reader what a real one would (a hang-up, modem lines dropping).
    virtual void setPlugged(bool /*plugged*/) {}
    // The port's settings changed: a line that holds its reader's end up to
    // them looks again.
    virtual void portLineChanged() {}
};

} // namespace korvanteslin
