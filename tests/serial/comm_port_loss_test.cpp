#include "serial/comm_port.h"

#include "com_folder.h"
#include "event_loop.h"
#include "pty_pair.h"
#include "qstring_printer.h"

#include <QSerialPort>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace korvanteslin {
namespace {

using test::ComFolder;
using test::PtyPair;

const QByteArray greeting = "back again\r\n";

qsizetype lineErrors(const QSignalSpy& errors)
{
    return std::count_if(errors.begin(), errors.end(), [](const QList<QVariant>& error) {
        const auto code = error[0].value<QSerialPort::SerialPortError>();
        return code == QSerialPort::ResourceError || code == QSerialPort::WriteError;
    });
}

TEST(CommPortLoss, ClosesOnceQuietlyAndReopensWhenTheDeviceIsBack)
{
    for (const bool bytesPending : {false, true}) {
        SCOPED_TRACE(bytesPending ? "bytes still pending in the port" : "idle line");
        ComFolder folder;
        PtyPair lost;
        PtyPair replacement;
        ASSERT_TRUE(folder.link(2, lost.slavePath()));
        CommPort port;
        port.setDeviceFolder(folder.path());
        port.setCommPort(2);
        ASSERT_TRUE(port.open()) << port.lastError().toStdString();
        auto* serial = port.findChild<QSerialPort*>();
        ASSERT_NE(serial, nullptr);
        QSignalSpy errors(serial, &QSerialPort::errorOccurred);
        QSignalSpy changes(&port, &CommPort::openChanged);

        // Unsent bytes make QSerialPort retry the dead line on every pass.
        if (bytesPending)
            serial->write("pending");
        lost.closeMaster();
        ASSERT_TRUE(changes.wait(3000));
        EXPECT_FALSE(changes[0][0].toBool());
        EXPECT_FALSE(port.isOpen());
        EXPECT_LT(test::eventLoopWakeups(300), 50);
        EXPECT_EQ(changes.size(), 1);
        EXPECT_LE(lineErrors(errors), 1);
        EXPECT_TRUE(port.lastError().startsWith(QStringLiteral("COM2 (%1): ").arg(lost.slavePath())))
            << port.lastError().toStdString();
        EXPECT_FALSE(port.output(greeting));

        ASSERT_TRUE(folder.link(2, replacement.slavePath()));
        ASSERT_TRUE(changes.wait(3000));
        EXPECT_TRUE(changes.last()[0].toBool());
        ASSERT_TRUE(port.output(greeting)) << port.lastError().toStdString();
        EXPECT_EQ(replacement.read(greeting.size(), 2000), greeting);
    }
}

TEST(CommPortLoss, ReopensByItselfOnlyAfterALossTheProgramLeftAlone)
{
    ComFolder folder;
    PtyPair closedAfterLoss;
    PtyPair reopenedAfterLoss;
    std::unique_ptr<CommPort> ports[3];
    for (int i = 0; i < 3; ++i) {
        ports[i] = std::make_unique<CommPort>();
        ports[i]->setDeviceFolder(folder.path());
        ports[i]->setCommPort(3 + i);
    }
    CommPort& neverOpened = *ports[0];
    CommPort& closedByProgram = *ports[1];
    CommPort& failedToReopen = *ports[2];
    const QString nowhere = folder.path() + QStringLiteral("/nowhere");

    ASSERT_TRUE(folder.link(3, nowhere));
    EXPECT_FALSE(neverOpened.open());

    ASSERT_TRUE(folder.link(4, closedAfterLoss.slavePath()));
    ASSERT_TRUE(closedByProgram.open());
    closedAfterLoss.closeMaster();
    EXPECT_FALSE(closedByProgram.output(greeting)); // notices the loss at once
    EXPECT_FALSE(closedByProgram.isOpen());
    closedByProgram.close();

    ASSERT_TRUE(folder.link(5, reopenedAfterLoss.slavePath()));
    ASSERT_TRUE(failedToReopen.open());
    reopenedAfterLoss.closeMaster();
    EXPECT_FALSE(failedToReopen.output(greeting));
    ASSERT_TRUE(folder.link(5, nowhere));
    EXPECT_FALSE(failedToReopen.open());

    // Every device comes back; a retry would find it within a second.
    PtyPair back[3];
    std::unique_ptr<QSignalSpy> changes[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(folder.link(3 + i, back[i].slavePath()));
        changes[i] = std::make_unique<QSignalSpy>(ports[i].get(), &CommPort::openChanged);
    }
    test::eventLoopWakeups(1500);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(3 + i);
        EXPECT_TRUE(changes[i]->isEmpty());
        EXPECT_FALSE(ports[i]->isOpen());
    }
}

TEST(CommPortFlow, StalledReceiverLosesWholeFramesOnly)
{
    ComFolder folder;
    PtyPair pty;
    ASSERT_TRUE(folder.link(2, pty.slavePath()));
    CommPort port;
    port.setDeviceFolder(folder.path());
    port.setCommPort(2);
    ASSERT_TRUE(port.open()) << port.lastError().toStdString();
    const auto* serial = port.findChild<QSerialPort*>();
    ASSERT_NE(serial, nullptr);

    // Numbered 12-byte frames into a line nobody reads, until it has been
    // refusing frames for a while.
    QByteArray sent;
    qsizetype attempts = 0;
    for (; port.droppedFrames() < 100 && attempts < 200'000; ++attempts) {
        const QByteArray frame = '\x02' + QByteArray::number(attempts).rightJustified(9, '0') + "\r\n";
        if (port.output(frame))
            sent += frame;
        ASSERT_LE(serial->bytesToWrite(), frame.size());
    }
    ASSERT_EQ(port.droppedFrames(), 100u);
    EXPECT_EQ(sent.size() / 12 + 100, attempts);
    EXPECT_TRUE(port.isOpen());

    // What finally arrives is exactly the frames that were accepted, whole.
    const QByteArray received = pty.read(sent.size(), 5000);
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent);
    EXPECT_TRUE(port.output(greeting)) << port.lastError().toStdString();
}

} // namespace
} // namespace korvanteslin
