// The program as a test suite drives it: started with options, read on its
// standard output and its lines, steered and ended through its API. The
// options, the lines and the API have tests of their own; here, one run of
// each piece of wiring.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <gtest/gtest.h>

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

// The receiving end of a virtual port, opened like any serial device.
int openLine(const QString& path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
}

// Reads the line until `wanted` has arrived.
QByteArray readUntil(const QString& path, const QByteArray& wanted)
{
    const int fd = openLine(path);
    QByteArray data;
    for (QDeadlineTimer deadline(5000); fd >= 0 && !data.contains(wanted) && !deadline.hasExpired();) {
        pollfd line{fd, POLLIN, 0};
        char chunk[4096];
        if (::poll(&line, 1, 20) > 0)
            data.append(chunk, std::max<ssize_t>(0, ::read(fd, chunk, sizeof chunk)));
    }
    ::close(fd);
    return data;
}

// A settings file of defaults, changed by `change`, for the run to start with.
template <class Change>
void store(const Scratch& scratch, Change change)
{
    SettingsRecord record = SetDefaultSettings(scratch.appFolder().toStdString(), {2026, 12, 5, 10, 30, 0});
    change(record);
    SaveSettings(scratch.settingsFile().toStdString(), record);
}

} // namespace

TEST(Program, EndsBeforeTouchingAnythingWhenTheOptionsOrItsExtrasSaySo)
{
    struct Row {
        QStringList arguments;
        int exitCode;
        const char* out; // all of standard output
        const char* err; // a part of standard error
    };
    const Row rows[] = {
        {{"--version"}, 0, "Korvanteslin v.1.02\n", ""},
        {{"--bogus"}, 2, "", "bogus"},
        // An address that is not this machine's cannot be listened on, nor
        // can a path that holds something else be the virtual port.
        {{"--headless", "--tcp", "192.0.2.1:0"}, 1, "", "192.0.2.1:0"},
        {{"--headless", "--virtual", "{scratch}"}, 1, "", "{scratch}"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        Scratch scratch;
        const QStringList before = scratch.entries();
        Program program(scratch, QStringList(row.arguments).replaceInStrings("{scratch}", scratch.root.path()));
        ASSERT_TRUE(program.ends());
        EXPECT_EQ(program.process.exitCode(), row.exitCode);
        EXPECT_EQ(QString::fromLocal8Bit(program.process.readAllStandardOutput()), QLatin1String(row.out));
        const QString err = QString::fromLocal8Bit(program.process.readAllStandardError());
        EXPECT_TRUE(err.contains(QString::fromLatin1(row.err).replace("{scratch}", scratch.root.path()))) << err.toStdString();
        EXPECT_EQ(scratch.entries(), before) << "a file was made or changed";
    }
}

// The device named for the run is missing at first: the run says so once, in
// one line, and goes on. The frames leave on every line, the device's once it
// is there; the API lists the TCP server and its clients, and its quit ends
// the run and its virtual port. Without a window no platform plugin is loaded.
TEST(Program, AHeadlessRunSendsOnEveryLineItWasGiven)
{
    Scratch scratch;
    PtyPair line;
    const QString device = scratch.root.path() + QStringLiteral("/device");
    const QString scale = scratch.root.path() + QStringLiteral("/scale");
    Program program(scratch, {"--headless", "--device", device, "--virtual", scale, "--tcp", "0.0.0.0:0", "--control", "0"});
    ASSERT_TRUE(program.saysOnStandardError(device));
    EXPECT_EQ(program.lineStartingWith(QStringLiteral("virtual: ")), scale);
    const QString tcp = program.lineStartingWith(QStringLiteral("tcp: "));
    const std::uint16_t api = portOf(program.lineStartingWith(QStringLiteral("control: ")));
    ASSERT_NE(api, 0);

    TcpClient client("127.0.0.1", portOf(tcp));
    EXPECT_TRUE(TcpClient("127.0.0.2", portOf(tcp)).connected()) << "listens where it was told";
    QFile::link(line.slavePath(), device);
    EXPECT_TRUE(line.read(12, 5000).startsWith('\x02'));
    for (QDeadlineTimer deadline(5000); client.received.size() < 12 && !deadline.hasExpired();)
        client.wait(20), client.read();
    EXPECT_TRUE(client.received.startsWith('\x02'));
    const QByteArray settledTakeOff = QByteArray::fromHex("022030303030 2E30436B670D");
    EXPECT_TRUE(readUntil(scale, settledTakeOff).contains(settledTakeOff));

    const QJsonObject state = request(api, get("/state"));
    EXPECT_EQ(state.value("port").toObject().value("device").toString(), device);
    EXPECT_EQ(state.value("tcp").toObject().value("address").toString(), tcp);
    const QJsonArray clients = state.value("tcp").toObject().value("clients").toArray();
    EXPECT_TRUE(std::any_of(clients.begin(), clients.end(), [&](const QJsonValue& c) {
        return c.toObject().value("peer") == QStringLiteral("127.0.0.1:%1").arg(client.localPort());
    }));
    QFile maps(QStringLiteral("/proc/%1/maps").arg(program.process.processId()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    EXPECT_FALSE(mapped.contains("/platforms/"));
    EXPECT_FALSE(mapped.contains("libQt6Gui")) << "a headless run loads no GUI library";
    EXPECT_FALSE(mapped.contains("korvanteslin-window"));

    request(api, post("/quit", {}));
    ASSERT_TRUE(program.ends());
    EXPECT_EQ(program.process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(scale).isSymLink()) << "the link outlived the run";
    const QString err = QString::fromLocal8Bit(program.err + program.process.readAllStandardError());
    EXPECT_EQ(err.split(QLatin1Char('\n')).filter(device).size(), 1) << err.toStdString();
}

// Beyond loopback the control API is served only with a token, and the run
// never shows the token, nor lets a request without it through.
TEST(Program, TheControlApiBeyondLoopbackWantsItsTokenAndNeverShowsIt)
{
    const QByteArray token = "Xy7-0123456789abcdef";
    Scratch scratch;
    Program refused(scratch, {"--headless", "--control", "0.0.0.0:0"});
    ASSERT_TRUE(refused.ends());
    EXPECT_EQ(refused.process.exitCode(), 1);
    EXPECT_TRUE(refused.process.readAllStandardError().contains("only with a token"));

    QProcessEnvironment environment = scratch.environment();
    environment.insert(QStringLiteral("KORVANTESLIN_CONTROL_TOKEN"), QLatin1String(token));
    Program program(scratch, {"--headless", "--control", "0.0.0.0:0"}, environment);
    const std::uint16_t api = portOf(program.lineStartingWith(QStringLiteral("control: ")));
    ASSERT_NE(api, 0);
    const QByteArray authorized = "Authorization: Bearer " + token + "\r\n";
    EXPECT_EQ(Connection(api).exchange(get("/state")).status, 401);
    EXPECT_EQ(Connection(api).exchange(get("/state").chopped(2) + authorized + "\r\n").status, 200);
    QDeadlineTimer ready(5000);
    while (Connection(api).exchange(get("/health")).status != 200 && !ready.hasExpired())
        QThread::msleep(20);
    EXPECT_FALSE(ready.hasExpired()) << "healthy once the first frame has left";
    request(api, post("/quit", {}).replace("Content-Type", authorized + "Content-Type"));
    ASSERT_TRUE(program.ends());
    EXPECT_EQ(program.process.exitCode(), 0);
    const QByteArray said = program.process.readAllStandardOutput() + program.process.readAllStandardError();
    EXPECT_FALSE(said.contains(token)) << said.toStdString();
}

// On a virtual port nothing paces the frames but the program itself: with
// --line-rate they leave as fast as the line the settings name could carry
// them, the serial port's as the virtual port's, each whole.
TEST(Program, LineRateHoldsFramesToTheSetLinesRate)
{
    Scratch scratch;
    PtyPair device;
    store(scratch, [](SettingsRecord& r) { r.strPortSettings = "19200,e,7,2", r.intSendPeriod = 1; });
    const QString path = scratch.root.path() + QStringLiteral("/scale");
    Program program(scratch, {"--headless", "--virtual", path, "--device", device.slavePath(), "--line-rate"});
    ASSERT_EQ(program.lineStartingWith(QStringLiteral("virtual: ")), path);
    const int fds[] = {openLine(path), device.master()};
    ASSERT_GE(fds[0], 0);
    QByteArray received[2];
    const auto drain = [&] {
        for (int at = 0; at < 2; ++at) {
            char chunk[4096];
            for (ssize_t n; (n = ::read(fds[at], chunk, sizeof chunk)) > 0;)
                received[at].append(chunk, n);
        }
    };
    QThread::msleep(300); // the backlog of the start-up is read away first
    drain();
    received[0].clear();
    received[1].clear();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000) {
        pollfd lines[] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
        ::poll(lines, 2, 20);
        drain();
    }
    ::close(fds[0]);
    const double perSecond = 19200.0 / (12 * 11); // ZMR-1 frames of 12 bytes, 11 bits a byte
    for (const QByteArray& line : received) {
        EXPECT_NEAR(double(line.size()) / 12 / (double(clock.elapsed()) / 1000), perSecond, perSecond * 0.1);
        QList<QByteArray> frames = line.split('\r');
        frames = frames.mid(1, frames.size() - 2); // those that began and ended inside
        ASSERT_FALSE(frames.isEmpty());
        for (const QByteArray& frame : frames)
            ASSERT_TRUE(frame.size() == 11 && frame.startsWith('\x02')) << "a frame broken: " << frame.toHex().toStdString();
    }
}

// Without a display the window run says so in one line, in the interface
// language the settings file holds, and ends: no abort, nothing touched.
// A window run that cannot have its window says so in one line, in the
// interface language the settings file holds, and ends: no abort, nothing touched.
TEST(Program, AWindowRunWithoutAWindowSaysHowToRunWithoutOne)
{
    const struct {
        const char* why;
        bool moduleLeftBehind; // the program alone, copied away from its window module
        const char* english;
        const char* russian;
    } rows[] = {
        {"no display", false, "No display was found", "Дисплей не найден"},
        {"no module", true, "The window cannot open: its module", "Окно открыть нельзя: его модуль"},
    };
    for (const auto& row : rows)
        for (const int language : {0, 1}) {
            SCOPED_TRACE(std::string(row.why) + (language ? " ru" : " en"));
            Scratch scratch;
            if (language == 1)
                store(scratch, [](SettingsRecord& r) { r.intLanguage = 1; });
            QString path = QStringLiteral(KORVANTESLIN_PROGRAM);
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                environment.remove(QLatin1String(name));
            if (row.moduleLeftBehind) {
                path = scratch.root.path() + QStringLiteral("/korvanteslin");
                ASSERT_TRUE(QFile::copy(QStringLiteral(KORVANTESLIN_PROGRAM), path));
                environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            }
            const QStringList before = scratch.entries();
            environment.insert(QStringLiteral("ProgramFiles"), scratch.root.path() + QStringLiteral("/pf"));
            environment.insert(QStringLiteral("HOME"), scratch.root.path() + QStringLiteral("/home"));
            QProcess program;
            program.setProcessEnvironment(environment);
            program.start(path, {});
            ASSERT_TRUE(program.waitForFinished(10000));
            EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(program.exitCode(), 1);
            const QString said = QString::fromUtf8(program.readAllStandardError()).trimmed();
            EXPECT_TRUE(said.contains(QString::fromUtf8(language == 0 ? row.english : row.russian))) << said.toStdString();
            EXPECT_TRUE(said.contains(QStringLiteral("--headless")));
            EXPECT_EQ(said.count(QLatin1Char('\n')), 0);
            EXPECT_EQ(scratch.entries(), before);
        }
}
