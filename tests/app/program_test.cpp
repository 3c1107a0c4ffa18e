// The program as a test suite drives it: started with options, read on its
// standard output and its virtual port, steered and ended through its API.
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <map>

#include "http_client.h"
#include "program_run.h"
#include "pty_pair.h"
#include "qstring_printer.h"
#include "shell/settings_file.h"
#include "tcp_client.h"

using namespace korvanteslin;
using namespace korvanteslin::test;

namespace {

std::uint16_t portOf(const QString& url)
{
    return std::uint16_t(url.section(QLatin1Char(':'), -1).toUInt());
}

QJsonObject request(std::uint16_t port, const QByteArray& raw)
{
    return QJsonDocument::fromJson(Connection(port).exchange(raw).body).object();
}

// Reads a device opened like any serial device until `wanted` has arrived.
QByteArray readUntil(const QString& device, const QByteArray& wanted, int timeoutMs = 5000)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    QByteArray data;
    for (QDeadlineTimer deadline(timeoutMs); fd >= 0 && !data.contains(wanted) && !deadline.hasExpired();) {
        pollfd line{fd, POLLIN, 0};
        char chunk[4096];
        if (::poll(&line, 1, 20) > 0)
            data.append(chunk, std::max<ssize_t>(0, ::read(fd, chunk, sizeof chunk)));
    }
    if (fd >= 0)
        ::close(fd);
    return data;
}

const QByteArray kSettledTakeOff = QByteArray::fromHex("022030303030 2E30436B670D");

// The frames' TCP server's clients, as GET /state lists them, by peer.
std::map<QString, QJsonObject> tcpClients(std::uint16_t api)
{
    std::map<QString, QJsonObject> clients;
    for (const QJsonValue client : request(api, get("/state")).value("tcp").toObject().value("clients").toArray())
        clients[client.toObject().value("peer").toString()] = client.toObject();
    return clients;
}

QString peerOf(const TcpClient& client)
{
    return QStringLiteral("127.0.0.1:%1").arg(client.localPort());
}

} // namespace

TEST(Program, HelpVersionAndUsageErrorsEndBeforeAnythingIsTouched)
{
    struct Row {
        QStringList arguments;
        int exitCode;
        const char* out;
        const char* err;
    };
    // Every option's parsing is tried on its own; here one run of each way of ending.
    const Row rows[] = {
        {{"--help"}, 0, "--virtual", ""},
        {{"--version"}, 0, "Korvanteslin v.1.02\n", ""},
        {{"--bogus"}, 2, "", "bogus"},
        {{"--control", "10.0.0.1:80"}, 2, "", "loopback"},
        // An address that is not this machine's cannot be listened on.
        {{"--headless", "--tcp", "192.0.2.1:0"}, 1, "", "192.0.2.1:0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        Scratch scratch;
        const QStringList before = scratch.entries();
        Program program(scratch, row.arguments);
        ASSERT_TRUE(program.ends());
        EXPECT_EQ(program.process.exitCode(), row.exitCode);
        const QString out = QString::fromLocal8Bit(program.process.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(program.process.readAllStandardError());
        if (row.exitCode == 0 && QLatin1String(row.out).endsWith('\n')) {
            EXPECT_EQ(out, QLatin1String(row.out));
        }
        EXPECT_TRUE(out.contains(QLatin1String(row.out))) << out.toStdString();
        EXPECT_TRUE(err.contains(QLatin1String(row.err))) << err.toStdString();
        EXPECT_EQ(scratch.entries(), before) << "a file was made or changed";
    }
}

TEST(Program, HeadlessSaysThePortIsMissingGoesOnAndSendsOnceTheLinkIsMade)
{
    Scratch scratch;
    PtyPair line;
    Program program(scratch, {QStringLiteral("--headless")});
    ASSERT_TRUE(program.saysOnStandardError(QStringLiteral("COM2")));
    EXPECT_EQ(program.process.state(), QProcess::Running) << "no message may wait for a person";
    const QStringList lines = QString::fromLocal8Bit(program.err).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.filter(QStringLiteral("COM2")).size(), 1) << "one line per message, said once";

    scratch.linkCom2(line.slavePath());
    const QByteArray received = line.read(100, 5000);
    EXPECT_TRUE(received.startsWith('\x02')) << received.toHex(' ').toStdString();
    EXPECT_GE(received.size(), 24);
}

TEST(Program, AVirtualPortCarriesTheFramesAndGoesAwayWithTheRun)
{
    Scratch scratch;
    const QString path = scratch.root.path() + QStringLiteral("/scale");
    Program program(scratch, {"--headless", "--virtual", path, "--control", "0"});
    EXPECT_EQ(program.lineStartingWith(QStringLiteral("virtual: ")), path);
    const std::uint16_t api = portOf(program.lineStartingWith(QStringLiteral("control: ")));
    ASSERT_NE(api, 0);

    EXPECT_TRUE(readUntil(path, kSettledTakeOff).contains(kSettledTakeOff));
    // Without a window nothing of one is made: no platform plugin is loaded.
    QFile maps(QStringLiteral("/proc/%1/maps").arg(program.process.processId()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    EXPECT_FALSE(maps.readAll().contains("/platforms/"));
    request(api, post("/quit", {}));
    ASSERT_TRUE(program.ends());
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(path).isSymLink()) << "the link outlived the run";

    // A path that holds something else ends the run (what is refused, and
    // that it stays as it was, is the virtual port's own test).
    QDir().mkdir(path);
    Program refused(scratch, {"--headless", "--virtual", path});
    ASSERT_TRUE(refused.ends());
    EXPECT_NE(refused.process.exitCode(), 0);
    EXPECT_TRUE(refused.process.readAllStandardError().contains(QFile::encodeName(path)));
}

TEST(Program, ADeviceForTheRunLeavesTheStoredPortNumberAlone)
{
    Scratch scratch;
    SettingsRecord record = SetDefaultSettings(scratch.appFolder().toStdString(), {2026, 12, 5, 10, 30, 0});
    record.intPortNumber = 7;
    SaveSettings(scratch.settingsFile().toStdString(), record);
    QFile::link(QStringLiteral("/nonexistent/seven"), scratch.appFolder() + QStringLiteral("COM7"));
    PtyPair line;
    Program program(scratch, {"--headless", "--device", line.slavePath(), "--control", "0"});
    const std::uint16_t api = portOf(program.lineStartingWith(QStringLiteral("control: ")));
    ASSERT_NE(api, 0);
    EXPECT_TRUE(line.read(12, 5000).startsWith('\x02'));
    const QJsonObject port = request(api, get("/state")).value("port").toObject();
    EXPECT_EQ(port.value("number").toInt(), 7);
    EXPECT_EQ(port.value("device").toString(), line.slavePath());

    // A pick of a port number goes back to what the numbers lead to.
    const QJsonObject picked = request(api, post("/port", R"({"baud": "9600", "number": "7"})")).value("port").toObject();
    EXPECT_EQ(picked.value("device").toString(), scratch.appFolder() + QStringLiteral("COM7"));
    request(api, post("/quit", {}));
    ASSERT_TRUE(program.ends());

    QFile file(scratch.settingsFile());
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    const auto saved = decodeSettings(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->intPortNumber, 7);
}

// On a virtual port nothing paces the frames but the program itself: with
// --line-rate they leave as fast as the set line could carry them.
TEST(Program, LineRateHoldsFramesToTheSetLinesRate)
{
    struct Row {
        const char* settings;
        double perSecond; // ZMR-1 frames of 12 bytes
    };
    const Row rows[] = {{"9600,n,8,1", 80.0}, {"19200,e,7,2", 19200.0 / (12 * 11)}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.settings);
        Scratch scratch;
        SettingsRecord record = SetDefaultSettings(scratch.appFolder().toStdString(), {2026, 12, 5, 10, 30, 0});
        record.strPortSettings = row.settings;
        record.intSendPeriod = 1;
        SaveSettings(scratch.settingsFile().toStdString(), record);
        const QString path = scratch.root.path() + QStringLiteral("/scale");
        Program program(scratch, {"--headless", "--virtual", path, "--line-rate"});
        ASSERT_EQ(program.lineStartingWith(QStringLiteral("virtual: ")), path);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        auto drain = [fd] {
            qint64 bytes = 0;
            char chunk[4096];
            for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
                bytes += n;
            return bytes;
        };
        QThread::msleep(300); // the backlog of the start-up is read away first
        drain();
        QElapsedTimer clock;
        clock.start();
        qint64 received = 0;
        while (clock.elapsed() < 2000) {
            pollfd line{fd, POLLIN, 0};
            ::poll(&line, 1, 20);
            received += drain();
        }
        const double rate = double(received) / 12 / (double(clock.elapsed()) / 1000);
        ::close(fd);
        EXPECT_NEAR(rate, row.perSecond, row.perSecond * 0.1);
    }
}

// The server itself (whole frames, stalled clients, the thirty-third) is
// tried on its own; here, that the run serves its frames where it was told
// and lists the clients in its state.
TEST(Program, TcpClientsGetTheSameFramesWhereToldAndTheStateListsThem)
{
    struct Row {
        const char* tcp;
        const char* announced; // before the port
        bool loopbackOne;      // 127.0.0.1 reaches it
        bool loopbackTwo;      // 127.0.0.2 reaches it
    };
    const Row rows[] = {
        {"0", "127.0.0.1", true, false},
        {"0.0.0.0:0", "0.0.0.0", true, true},
        {"127.0.0.2:0", "127.0.0.2", false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tcp);
        Scratch scratch; // COM2 leads nowhere: the frames go to the TCP clients all the same
        Program program(scratch, {"--headless", "--tcp", row.tcp, "--control", "0"});
        const QString tcp = program.lineStartingWith(QStringLiteral("tcp: "));
        const std::uint16_t api = portOf(program.lineStartingWith(QStringLiteral("control: ")));
        ASSERT_NE(api, 0);
        EXPECT_EQ(tcp.section(QLatin1Char(':'), 0, 0), QLatin1String(row.announced));
        EXPECT_NE(portOf(tcp), 0);
        EXPECT_EQ(request(api, get("/state")).value("tcp").toObject().value("address").toString(), tcp);
        EXPECT_EQ(TcpClient("127.0.0.1", portOf(tcp)).connected(), row.loopbackOne);
        EXPECT_EQ(TcpClient("127.0.0.2", portOf(tcp)).connected(), row.loopbackTwo);
    }

    Scratch scratch;
    Program program(scratch, {"--headless", "--tcp", "0", "--control", "0"});
    const std::uint16_t tcp = portOf(program.lineStartingWith(QStringLiteral("tcp: ")));
    const std::uint16_t api = portOf(program.lineStartingWith(QStringLiteral("control: ")));
    TcpClient first("127.0.0.1", tcp), second("127.0.0.1", tcp);
    for (QDeadlineTimer deadline(10000); tcpClients(api).size() < 2 && !deadline.hasExpired();)
        first.wait(20);
    const auto clients = tcpClients(api);
    ASSERT_EQ(clients.size(), 2u);
    EXPECT_TRUE(clients.contains(peerOf(first)) && clients.contains(peerOf(second)));

    // A fast line, and a weight on its way so that the frames differ.
    request(api, post("/period", R"({"period_ms": "1"})"));
    request(api, post("/weights", R"({"weight1": "1234.5"})"));
    request(api, post("/load", R"({"load": "weight1"})"));
    for (QDeadlineTimer deadline(10000); std::min(first.received.size(), second.received.size()) < 12 * 500 && !deadline.hasExpired();) {
        first.wait(5);
        first.read();
        second.read();
    }
    request(api, post("/quit", {}));
    for (QDeadlineTimer deadline(10000); !(first.ended && second.ended) && !deadline.hasExpired();) {
        first.wait(5);
        first.read();
        second.read();
    }
    ASSERT_TRUE(program.ends());

    const QByteArray& longer = std::max(first.received, second.received, [](auto& a, auto& b) { return a.size() < b.size(); });
    const QByteArray& shorter = &longer == &first.received ? second.received : first.received;
    EXPECT_TRUE(wholeFrames(longer));
    EXPECT_GT(shorter.size(), 12 * 500);
    EXPECT_TRUE(longer.endsWith(shorter)) << "the two readers saw different frames";
    EXPECT_NE(longer.left(12), longer.right(12)) << "the weight never moved";
}

// Without a display the window run says so in one line, in the interface
// language the settings file holds, and ends: no abort, nothing touched.
TEST(Program, WithoutADisplayTheWindowRunSaysHowToRunWithoutOne)
{
    for (const int language : {0, 1}) {
        Scratch scratch;
        if (language == 1) {
            SettingsRecord russian = SetDefaultSettings(scratch.appFolder().toStdString(), {2026, 12, 5, 9, 7, 3});
            russian.intLanguage = 1;
            const auto bytes = encodeSettings(russian);
            QFile file(scratch.settingsFile());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        }
        const QStringList before = scratch.entries();
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("ProgramFiles"), scratch.root.path() + QStringLiteral("/pf"));
        environment.insert(QStringLiteral("HOME"), scratch.root.path() + QStringLiteral("/home"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(KORVANTESLIN_PROGRAM), {});
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 1);
        const QString said = QString::fromUtf8(program.readAllStandardError()).trimmed();
        EXPECT_TRUE(said.contains(language == 0 ? QStringLiteral("No display was found") : QStringLiteral("Дисплей не найден")))
            << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("--headless")));
        EXPECT_EQ(said.count(QLatin1Char('\n')), 0);
        EXPECT_EQ(scratch.entries(), before);
    }
}
