#pragma once

#include "serial/frame_line.h"
#include "serial/link_chain.h"
#include "serial/port_failure.h"
#include "serial/port_settings.h"

#include <QObject>
#include <QString>

#include <string_view>

#include <vector>

class QSerialPort;
class QTimer;

namespace korvanteslin {

struct LineRefusal;

// The program's one serial port. It only ever sends: frames go out whole or
// not at all, and a line that cannot keep up loses frames rather than
// queueing them without bound. A port that disappears while open is closed
// at once and reopened by itself when the device comes back; a
// pseudo-terminal only through a link made again after the loss, since its
// number may meanwhile belong to another program's terminal.
class CommPort : public QObject, public FrameLine {
    Q_OBJECT
public:
    explicit CommPort(QObject* parent = nullptr);
    ~CommPort() override;

    // Folder that may hold COMN entries (links to devices); empty for none.
    void setDeviceFolder(const QString& folder);

    // A device to use instead of what the port number leads to; empty for
    // none. Choosing a port number does not clear it: the caller does.
    void setDeviceOverride(const QString& device) { deviceOverride_ = device; }
    // Keep trying, about once a second, to open a port that could not be
    // opened, as a lost one is: for runs with nobody there to pick again.
    void setRetryWhenClosed(bool retry) { retryWhenClosed_ = retry; }

    // Port for the next opening; refused below 1 and while open.
    bool setCommPort(int number);
    int commPort() const { return number_; }

    // "rate,parity,data bits,stop bits"; an open port takes them at once, a
    // closed one at its next opening. A refused string leaves the previous
    // one in force.
    bool setSettings(const QString& settings);
    QString settings() const;
    const PortSettings& lineSettings() const { return settings_; }

    // Opens the device with the settings in force.
    bool open();
    // The last opening failed only because the device would not take the
    // settings in force (the device itself is there and free).
    bool settingsRefusedByDevice() const { return settingsRefused_; }
    void close();
    bool isOpen() const;

    // Sends a frame, or the next piece of one, now. A frame is refused (false)
    // when the port is closed, when it could not be written, or when the
    // previous frame is still leaving: it is dropped and counted in
    // droppedFrames(), and none of its later pieces go.
    bool writePiece(const FramePiece& piece) override;
    // Pulled out, the port drops DTR (RTS is held down throughout), as a
    // terminal switched off does; put back, DTR is up again.
    void setPlugged(bool plugged) override;

    // Why the last failing operation failed.
    const PortFailure& lastError() const { return lastError_; }
    // Why the port is not open: its last opening failed or the device went
    // away. None while open, and when it was simply closed.
    PortFailure closedBecause() const;
    // Device that the number now in force maps to.
    QString devicePath() const;
    quint64 droppedFrames() const { return droppedFrames_; }

signals:
    void openChanged(bool open);

private:
    bool openDevice();
    void closeDevice();
    void onLineFailed();
    void onWatchTick();
    bool relinkedSinceLoss() const;
    void handleLoss(const PortFailure& failure);
    bool startFrame();
    bool writeNow(const FramePiece& piece);
    bool dropFrame();
    bool fail(PortFailure failure);
    // A failure about the device the port number (or --device) leads to.
    PortFailure about(PortFailure::Kind kind, QString value = {}, QString systemReason = {}) const;
    PortFailure openFailure() const;
    PortFailure lineRefusal(const LineRefusal& refusal, const PortSettings& tried) const;

    QSerialPort* port_;
    // While open it watches for a hung-up line; after a loss it retries.
    QTimer* watchTimer_;
    QString deviceFolder_;
    QString deviceOverride_;
    bool retryWhenClosed_ = false;
    QString device_; // what the last opening resolved to
    std::vector<LinkStamp> openedThrough_; // the links that led to the device last opened
    bool awaitingRelink_ = false; // a lost pseudo-terminal: its old number is no longer ours
    bool settingsRefused_ = false;
    bool pseudoLine_ = false; // the device opened is a pseudo-terminal
    bool plugged_ = true;
    bool taking_ = false; // the frame now leaving was taken: its later pieces go too
    PortSettings settings_;
    int number_ = 1;
    PortFailure lastError_;
    PortFailure closedBecause_;
    quint64 droppedFrames_ = 0;
    bool busy_ = false; // opening or closing: errors are reported by the caller
};

} // namespace korvanteslin
