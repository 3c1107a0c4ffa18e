#pragma once

#include "serial/port_settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;
class QTimer;

namespace korvanteslin {

// The program's one serial port. It only ever sends: frames go out whole or
// not at all, and a line that cannot keep up loses frames rather than
// queueing them without bound. A port that disappears while open is closed
// at once and reopened by itself when the device comes back.
class CommPort : public QObject {
    Q_OBJECT
public:
    explicit CommPort(QObject* parent = nullptr);
    ~CommPort() override;

    // Folder that may hold COMN entries (links to devices); empty for none.
    void setDeviceFolder(const QString& folder);

    // Port for the next opening; refused below 1 and while open.
    bool setCommPort(int number);
    int commPort() const;

    // "rate,parity,data bits,stop bits"; an open port takes them at once.
    // A refused string leaves the previous one in force.
    bool setSettings(const QString& settings);
    QString settings() const;

    bool open();
    void close();
    bool isOpen() const;

    // Sends one frame now. False when closed, when the frame could not be
    // written, or when the previous frame is still leaving: that frame is
    // dropped and counted in droppedFrames().
    bool output(const QByteArray& frame);

    // Why the last failing operation failed, worded for the operator.
    QString lastError() const;
    // Device that the number now in force maps to.
    QString devicePath() const;
    quint64 droppedFrames() const;

signals:
    void openChanged(bool open);

private:
    bool openDevice();
    void closeDevice();
    void onLineFailed();
    void onWatchTick();
    void handleLoss(const QString& reason);
    bool dropFrame();
    bool fail(const QString& reason);
    QString describe(const QString& reason) const;

    QSerialPort* port_;
    // While open it watches for a hung-up line; after a loss it retries.
    QTimer* watchTimer_;
    QString deviceFolder_;
    QString device_; // what the last opening resolved to
    PortSettings settings_;
    int number_ = 1;
    QString lastError_;
    quint64 droppedFrames_ = 0;
    bool busy_ = false; // opening or closing: errors are reported by the caller
};

} // namespace korvanteslin
