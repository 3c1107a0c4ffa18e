#pragma once

#include "serial/frame_outlet.h"
#include <QString>

#include <string_view>

#include "shell/shell_messages.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "serial/deadline_timer.h"
#include "serial/pty_reader.h"

namespace korvanteslin {

// A pseudo-terminal pair standing in for a cable to a receiving program on
// the same machine: a symbolic link names the end that program opens like
// any serial device, and the frames go in at the other end.
class VirtualPort : public FrameLine {
public:
    // What a receiving end's terminal holds unread: a frame that would not fit
    // in whole is dropped, as bytes are lost at a real receiver that stops reading.
    static constexpr std::size_t kDefaultBacklog = 4095;

    // Makes the pair and the link at `linkPath`. Refused when something other
    // than a link left behind by an earlier run (one into /dev/pts that leads
    // nowhere any more) is already there. The text says why in words for the user.
    static std::variant<std::unique_ptr<VirtualPort>, ShellMessage> create(
        const QString& linkPath, std::size_t backlogLimit = kDefaultBacklog);

    // Removes the link, if it still leads where this run made it lead.
    ~VirtualPort();
    VirtualPort(const VirtualPort&) = delete;
    VirtualPort& operator=(const VirtualPort&) = delete;

    const QString& linkPath() const { return linkPath_; } // absolute
    const QString& devicePath() const { return devicePath_; } // /dev/pts/N

    // Puts the whole frame on the line, piece by piece, or, never blocking,
    // none of it (counted in droppedFrames()).
    bool writePiece(const FramePiece& piece) override;
    // Pulled out: the pair is closed, so its reader sees a hang-up, and the
    // link stays. Put back: a new pair, the link led to it.
    void setPlugged(bool plugged) override;
    // A line its reader has not set follows the port; one it has set is
    // noted again if it differs from the port's new settings.
    void portLineChanged() override;
    quint64 droppedFrames() const { return droppedFrames_; }

    // The port's line settings: a receiving end set otherwise is noted once
    // for each setting (looked at every tenth of a second), and with `strict`
    // reads what its UART would decode (looked at for every frame).
    void setPortLine(std::function<const PortSettings&()> port, bool strict, std::function<void(const ShellMessage&)> note);
    // The receiving end as its program set it, when it can be read.
    std::optional<PortSettings> readerSettings() const;

private:
    VirtualPort(int master, int slave, QString linkPath, QString devicePath, std::size_t backlogLimit);

    int master_;
    int slave_; // held open, so the line stays up while the receiver closes and reopens it
    QString linkPath_;
    QString devicePath_;
    bool startFrame(std::string_view frame);
    bool readsOtherwise();
    bool put(std::string_view bytes);
    void closePair();
    void startAtPortLine();
    void lookAtReader();

    std::size_t backlogLimit_;
    quint64 droppedFrames_ = 0;
    std::function<const PortSettings&()> portLine_;
    bool strict_ = false;
    std::function<void(const ShellMessage&)> note_;
    std::optional<PtyReader> reader_;
    std::optional<PortSettings> readerNoted_;
    PortSettings startedAt_; // the port's line, as the pair was set before its reader set anything
    MonoTime nextLook_{};
    bool taking_ = false; // the frame now leaving was taken: its later pieces go too
    bool decoding_ = false; // ... as the reader's UART takes it, in reading_
    std::vector<HeardChar> reading_;
    tcflag_t readerFlags_ = 0; // its reader's input flags when it started
    std::string delivered_; // what a piece of it hands the reader
};

} // namespace korvanteslin
