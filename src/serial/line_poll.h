#pragma once

class QSerialPort;

namespace korvanteslin {

enum class LineState {
    Ready,  // the line takes at least one more byte now
    Busy,   // the line's queue is full: the receiver is not keeping up
    HungUp, // the device went away (unplugged, far end of a pair closed)
};

// Looks at an open port's line without touching its data.
LineState pollLine(const QSerialPort& port);

} // namespace korvanteslin
