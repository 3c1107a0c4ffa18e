#pragma once

#include <QtGlobal>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "serial/deadline_timer.h"
#include "serial/frame_line.h"
#include "serial/fault_plan.h"
#include "serial/line_pacer.h"
#include "serial/paced_frame.h"
#include "serial/port_settings.h"

namespace korvanteslin {

// One frame of the emulated terminal, with what a receiving side would read from it.
struct OutgoingFrame {
    std::string bytes;
    double weight = 0;
    bool stable = false;
};

// Where every frame of the transmission tick goes out: every line the run
// has, the serial port among them. The tick does not know how many there
// are. On the way out stand what a run may ask for: pacing at the line's own
// rate, and the faults injected on request; both apply to every line alike.
class FrameOutlet {
public:
    FrameOutlet();

    void addLine(FrameLine* line);
    std::size_t lineCount() const { return lines_.size(); }
    // Called with every frame sent out, as it was sent (a fault may have
    // changed it), whether or not any line was open to take it.
    void onSent(std::function<void(const OutgoingFrame&)> observer);

    // Frames leave no faster than the port's settings could carry them, and
    // each byte of a frame at its own time.
    void setLinePacing(bool on);
    // The settings the pacing counts with: the serial port's, told whenever
    // they change; the lines are told too.
    void setLineSettings(const PortSettings& settings);
    bool linePacing() const { return pacing_; }

    void send(const OutgoingFrame& frame);

    // Pulled out, nothing leaves on any line and each line shows its reader
    // the loss; put back, frames go out again.
    void setPlugged(bool plugged);
    bool plugged() const { return plugged_; }

    void requestFaults(const FaultRequest& request);
    void cancelFaults();
    const FaultPlan& faults() const { return faults_; }

    quint64 framesBuilt() const { return built_; }
    quint64 framesWritten() const { return written_; }
    // Built, but taken by no line: every line closed, busy or gone, replaced
    // while waiting for the line, dropped or silenced on request.
    quint64 framesDropped() const { return built_ - written_; }

private:
    void leave(OutgoingFrame frame);
    void releaseWaiting();
    void finishSplit();
    void endSilence();
    // `slot`: where the pacer put the frame on the line, when it did.
    bool writeAll(std::string_view bytes, MonoTime slot = MonoTime::max());
    bool writePieceAll(const FramePiece& piece);
    // Writes `bytes`, which begin with the fault's `garbage`, and tells the plan whether the noise left.
    bool writeNoise(const std::string& garbage, std::string_view bytes, MonoTime slot = MonoTime::max());
    void notify(const OutgoingFrame& frame);

    std::vector<FrameLine*> lines_;
    std::vector<std::function<void(const OutgoingFrame&)>> observers_;
    quint64 built_ = 0;
    quint64 written_ = 0;

    bool plugged_ = true;
    bool pacing_ = false;
    LinePacer pacer_;
    PortSettings lineSettings_;
    OutgoingFrame waiting_; // the frame the pacer holds, with its weight
    MonoTime slotStart_ = MonoTime::max(); // where the pacer put the frame leaving now
    DeadlineTimer pacerTimer_;
    PacedFrame paced_; // the frame leaving byte by byte

    FaultPlan faults_;
    std::string splitRest_; // a split frame's second part, still to go
    DeadlineTimer splitTimer_;
    DeadlineTimer silenceTimer_;
    std::optional<OutgoingFrame> silenced_; // the latest frame a silence held back
};

} // namespace korvanteslin
