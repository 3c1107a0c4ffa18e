#pragma once

#include <QByteArray>
#include <QString>

namespace korvanteslin::test {

// A pseudo-terminal pair standing in for a serial cable: the port under test
// opens the slave by path, the test reads what arrives on the master.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const QString& slavePath() const { return slavePath_; }
    // The test's own handle on the slave, for looking at its line settings.
    int slave() const { return slave_; }

    // What the receiver sends back towards the port.
    void send(const QByteArray& bytes);

    // Hangs up the slave side, as when the far end of a cable goes away.
    void closeMaster();

    // Reads until at least `count` bytes arrived or `timeoutMs` passed. The Qt
    // event loop runs in between, so output the port still holds can leave.
    QByteArray read(qsizetype count, int timeoutMs);

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

} // namespace korvanteslin::test
