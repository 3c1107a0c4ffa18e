#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <vector>

namespace korvanteslin {

class CommPort;

// A line that frames go to besides the serial port: the virtual port's end,
// the TCP clients.
class FrameLine {
public:
    virtual ~FrameLine() = default;
    // Hands one frame over whole, now, or not at all.
    virtual bool write(const QByteArray& frame) = 0;
};

// One frame of the emulated terminal, with what a receiving side would read from it.
struct OutgoingFrame {
    QByteArray bytes;
    double weight = 0;
    bool stable = false;
};

// Where every frame of the transmission tick goes out: the serial port and
// whatever other lines the run has. The tick does not know how many there are.
class FrameOutlet {
public:
    explicit FrameOutlet(CommPort& port);

    void addLine(FrameLine* line);
    // Called with every frame that left on at least one line.
    void onWritten(std::function<void(const OutgoingFrame&)> observer);

    void send(const OutgoingFrame& frame);

    quint64 framesBuilt() const { return built_; }
    quint64 framesWritten() const { return written_; }
    // Built, but taken by no line: every line closed, busy or gone.
    quint64 framesDropped() const { return built_ - written_; }

private:
    CommPort& port_;
    std::vector<FrameLine*> lines_;
    std::vector<std::function<void(const OutgoingFrame&)>> observers_;
    quint64 built_ = 0;
    quint64 written_ = 0;
};

} // namespace korvanteslin
