#pragma once

#include <QObject>

class QSocketNotifier;

namespace korvanteslin {

// SIGTERM (shutdown, kill), SIGINT (Ctrl+C in the terminal) and SIGHUP (the
// terminal closed) as a Qt signal on the event loop, where the program can end
// in good order. The handler itself only writes the signal's number into a
// socket pair; everything else happens on the event loop. A signal that was
// ignored when the program started (nohup, a background job) stays ignored.
// One instance at a time; the previous handling is restored when it goes.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void drain();

    int readEnd = -1;
    QSocketNotifier* notifier = nullptr;
};

} // namespace korvanteslin
