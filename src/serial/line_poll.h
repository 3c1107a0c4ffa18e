#pragma once

class QSerialPort;

namespace korvanteslin {

enum class LineState {
    Ready,  // the line takes at least one more byte now
    Busy,   // the line's queue is full: the receiver is not keeping up
    HungUp, // the device went away (unplugged, far end of a pair closed)
};

// Looks at an open port's line without touching its data: whether it hung
// up, and whether its queue has room (all a pseudo-terminal can tell).
LineState pollLine(const QSerialPort& port);

// Whether the next frame may go now, at no more than one system call a
// frame: a real line is judged on what it still has to send (its driver would
// take frames faster than the wire carries them). A pseudo-terminal, and a
// real line that went away, say so when they are written to.
LineState lineRoom(const QSerialPort& port, bool pseudoTerminal);

} // namespace korvanteslin
