// The program as a test suite drives it: started with options, read on its
// standard output and its virtual port, steered and ended through its API.
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QThread>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

#include "http_client.h"
#include "pty_pair.h"
#include "qstring_printer.h"
#include "shell/settings_file.h"
#include "tcp_client.h"

using namespace korvanteslin;
using namespace korvanteslin::test;

namespace {

// A home and a program-files folder of its own for every run, so that
// nothing outside them is touched and what was touched can be seen.
struct Scratch {
    Scratch()
    {
        QDir().mkpath(appFolder());
        // COM2 leads nowhere unless a test says otherwise: no run ever
        // reaches a real serial device.
        QFile::link(QStringLiteral("/nonexistent/line"), appFolder() + QStringLiteral("COM2"));
    }
    QString appFolder() const { return root.path() + QStringLiteral("/pf/Korvanteslin v.1.02/"); }
    QString settingsFile() const { return appFolder() + QStringLiteral("Korvanteslin v.1.02.eng"); }
    QStringList entries() const
    {
        QStringList found;
        QDirIterator it(root.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
            QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next().mid(root.path().size());
        found.sort();
        return found;
    }
    void linkCom2(const QString& target)
    {
        QFile::remove(appFolder() + QStringLiteral("COM2"));
        QFile::link(target, appFolder() + QStringLiteral("COM2"));
    }

    QTemporaryDir root;
};

class Program {
public:
    Program(const Scratch& scratch, const QStringList& arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ProgramFiles"), scratch.root.path() + QStringLiteral("/pf"));
        environment.insert(QStringLiteral("HOME"), scratch.root.path() + QStringLiteral("/home"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KORVANTESLIN_PROGRAM), arguments);
        process.waitForStarted();
    }
    ~Program()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    // The first line of standard output that starts with `prefix`, without it.
    QString lineStartingWith(const QString& prefix, int timeoutMs = 10000)
    {
        for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired();) {
            while (process.canReadLine()) {
                const QString line = QString::fromLocal8Bit(process.readLine()).trimmed();
                if (line.startsWith(prefix))
                    return line.mid(prefix.size());
            }
            if (!process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
                break;
        }
        return {};
    }

    // Waits until standard error holds `text`.
    bool saysOnStandardError(const QString& text, int timeoutMs = 10000)
    {
        process.setReadChannel(QProcess::StandardError);
        for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired();) {
            err += process.readAllStandardError();
            if (QString::fromLocal8Bit(err).contains(text))
                break;
            process.waitForReadyRead(50);
        }
        process.setReadChannel(QProcess::StandardOutput);
        return QString::fromLocal8Bit(err).contains(text);
    }

    bool ends(int timeoutMs = 10000) { return process.waitForFinished(timeoutMs); }

    QProcess process;
    QByteArray err;
};

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

// Whether every frame of `part` is in `whole`, in the same order.
bool inOrderWithin(const QByteArray& part, const QByteArray& whole)
{
    qsizetype at = 0;
    for (qsizetype i = 0; i + 12 <= part.size(); i += 12) {
        while (at + 12 <= whole.size() && whole.mid(at, 12) != part.mid(i, 12))
            at += 12;
        if (at + 12 > whole.size())
            return false;
        at += 12;
    }
    return true;
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
    const Row rows[] = {
        {{"--help"}, 0, "--virtual", ""},
        {{"-h"}, 0, "--control", ""},
        {{"--version"}, 0, "Korvanteslin v.1.02\n", ""},
        {{"-v"}, 0, "Korvanteslin v.1.02\n", ""},
        {{"--bogus"}, 2, "", "bogus"},
        {{"--control", "10.0.0.1:80"}, 2, "", "loopback"},
        {{"--control", "127.0.0.1:99999"}, 2, "", "99999"},
        {{"--device"}, 2, "", "device"},
        {{"--headless", "leftover"}, 2, "", "leftover"},
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
    request(api, post("/quit", {}));
    ASSERT_TRUE(program.ends());
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(path).isSymLink()) << "the link outlived the run";

    // A path that holds something else is never taken over.
    QFile existing(path);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("keep");
    existing.close();
    Program refused(scratch, {"--headless", "--virtual", path});
    ASSERT_TRUE(refused.ends());
    EXPECT_NE(refused.process.exitCode(), 0);
    EXPECT_TRUE(refused.process.readAllStandardError().contains(QFile::encodeName(path)));
    QFile kept(path);
    kept.open(QIODevice::ReadOnly);
    EXPECT_EQ(kept.readAll(), "keep");
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

TEST(Program, TcpClientsGetTheSameFramesAndAStalledOneHoldsUpNobody)
{
    Scratch scratch; // COM2 leads nowhere: the frames go to the TCP clients all the same
    Program program(scratch, {"--headless", "--tcp", "0", "--control", "0"});
    const QString tcp = program.lineStartingWith(QStringLiteral("tcp: "));
    const std::uint16_t api = portOf(program.lineStartingWith(QStringLiteral("control: ")));
    ASSERT_TRUE(tcp.startsWith(QStringLiteral("127.0.0.1:"))) << tcp.toStdString();
    ASSERT_NE(api, 0);
    TcpClient first("127.0.0.1", portOf(tcp)), second("127.0.0.1", portOf(tcp));
    TcpClient stalled("127.0.0.1", portOf(tcp), 2048);
    const auto readers = [&](int forMs) {
        for (QDeadlineTimer deadline(forMs); !deadline.hasExpired();) {
            first.wait(5);
            first.read();
            second.read();
        }
    };
    for (QDeadlineTimer deadline(10000); tcpClients(api).size() < 3 && !deadline.hasExpired();)
        readers(20);
    ASSERT_EQ(tcpClients(api).size(), 3u);

    // A fast line, and a weight on its way so that the frames differ.
    request(api, post("/period", R"({"period_ms": "1"})"));
    request(api, post("/weights", R"({"weight1": "1234.5"})"));
    request(api, post("/load", R"({"load": "weight1"})"));
    std::map<QString, QJsonObject> clients;
    for (QDeadlineTimer deadline(30000); !deadline.hasExpired();) {
        readers(100);
        clients = tcpClients(api);
        if (clients[peerOf(stalled)].value("dropped").toInteger() >= 1000)
            break;
    }
    EXPECT_GE(clients[peerOf(stalled)].value("dropped").toInteger(), 1000);
    EXPECT_EQ(clients[peerOf(first)].value("dropped").toInteger(), 0);
    EXPECT_EQ(clients[peerOf(second)].value("dropped").toInteger(), 0);

    // Reading again, it is sent frames again.
    const qint64 before = clients[peerOf(stalled)].value("frames").toInteger();
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired();) {
        readers(50);
        stalled.read();
        if (tcpClients(api)[peerOf(stalled)].value("frames").toInteger() > before + 100)
            break;
    }
    EXPECT_GT(tcpClients(api)[peerOf(stalled)].value("frames").toInteger(), before + 100);

    request(api, post("/quit", {}));
    for (QDeadlineTimer deadline(10000); !(first.ended && second.ended && stalled.ended) && !deadline.hasExpired();) {
        readers(5);
        stalled.read();
    }
    ASSERT_TRUE(program.ends());

    const QByteArray& longer = std::max(first.received, second.received, [](auto& a, auto& b) { return a.size() < b.size(); });
    const QByteArray& shorter = &longer == &first.received ? second.received : first.received;
    EXPECT_TRUE(wholeFrames(longer));
    EXPECT_GT(shorter.size(), 12 * 1000);
    EXPECT_TRUE(longer.endsWith(shorter)) << "the two readers saw different frames";
    EXPECT_NE(longer.left(12), longer.right(12)) << "the weight never moved";

    EXPECT_TRUE(wholeFrames(stalled.received)) << stalled.received.left(120).toHex(' ').toStdString();
    EXPECT_LT(stalled.received.size(), shorter.size());
    EXPECT_TRUE(inOrderWithin(stalled.received, longer));
}

TEST(Program, TheTcpServerListensOnlyWhereToldAndTakesThirtyTwoClients)
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
        Scratch scratch;
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

    // The thirty-third client is closed at once, with a line on standard error.
    Scratch scratch;
    Program program(scratch, {"--headless", "--tcp", "0", "--control", "0"});
    const std::uint16_t tcp = portOf(program.lineStartingWith(QStringLiteral("tcp: ")));
    const std::uint16_t api = portOf(program.lineStartingWith(QStringLiteral("control: ")));
    std::vector<std::unique_ptr<TcpClient>> clients;
    for (int i = 0; i < 32; ++i)
        clients.push_back(std::make_unique<TcpClient>("127.0.0.1", tcp));
    for (QDeadlineTimer deadline(10000); tcpClients(api).size() < 32 && !deadline.hasExpired();)
        clients.back()->wait(20);
    TcpClient extra("127.0.0.1", tcp);
    for (QDeadlineTimer deadline(5000); !extra.ended && !deadline.hasExpired();) {
        extra.wait(20);
        extra.read();
    }
    EXPECT_TRUE(extra.ended);
    EXPECT_TRUE(program.saysOnStandardError(peerOf(extra)));
    EXPECT_EQ(tcpClients(api).size(), 32u);
    for (auto& client : clients) {
        while (client->received.size() < 24 && client->wait(5000))
            client->read();
        EXPECT_TRUE(wholeFrames(client->received.left(24))) << client->received.left(24).toHex(' ').toStdString();
    }
}
