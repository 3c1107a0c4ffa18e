#include "control/options.h"

#include "qstring_printer.h"

#include <QFile>
#include <sys/stat.h>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace korvanteslin;

namespace {

QStringList argv(std::initializer_list<const char*> args)
{
    QStringList list{QStringLiteral("korvanteslin")};
    for (const char* arg : args)
        list << QString::fromUtf8(arg);
    return list;
}

// The options that differ from a plain start, as one text.
QString describe(const Options& options)
{
    QStringList parts;
    if (options.headless)
        parts << QStringLiteral("headless");
    if (options.printFrames)
        parts << QStringLiteral("print-frames");
    if (!options.device.isEmpty())
        parts << QStringLiteral("device=") + options.device;
    if (!options.virtualPath.isEmpty())
        parts << QStringLiteral("virtual=") + options.virtualPath;
    if (!options.dataDir.isEmpty())
        parts << QStringLiteral("data-dir=") + options.dataDir;
    if (options.control)
        parts << QStringLiteral("control=%1 %2").arg(options.control->host).arg(options.control->port);
    if (options.tcp)
        parts << QStringLiteral("tcp=%1 %2").arg(options.tcp->host).arg(options.tcp->port);
    if (options.rfc2217)
        parts << QStringLiteral("rfc2217=%1 %2").arg(options.rfc2217->host).arg(options.rfc2217->port);
    if (options.lineRate)
        parts << QStringLiteral("line-rate");
    if (options.strictLine)
        parts << QStringLiteral("strict-line");
    return parts.join(QLatin1Char(' '));
}

} // namespace

TEST(Options, RunsWithWhatTheCommandLineAsks)
{
    struct Row {
        QStringList args;
        const char* expected;
    };
    const Row rows[] = {
        {argv({}), ""},
        {argv({"--headless", "--print-frames"}), "headless print-frames"},
        {argv({"--device", "/dev/ttyUSB0", "--virtual=/tmp/scale", "--data-dir", "/tmp/d"}),
         "device=/dev/ttyUSB0 virtual=/tmp/scale data-dir=/tmp/d"},
        {argv({"--device", "a", "--device", "b"}), "device=b"},
        {argv({"--control", "0"}), "control=127.0.0.1 0"},
        {argv({"--control", "65535"}), "control=127.0.0.1 65535"},
        {argv({"--control=127.0.0.1:8080"}), "control=127.0.0.1 8080"},
        {argv({"--control", "127.9.8.7:1"}), "control=127.9.8.7 1"},
        {argv({"--control", "localhost:99"}), "control=127.0.0.1 99"},
        {argv({"--control", "LocalHost:99"}), "control=127.0.0.1 99"},
        {argv({"--control", "[::1]:5000"}), "control=::1 5000"},
        {argv({"--control", "::1:5000"}), "control=::1 5000"},
        {argv({"--control", "[::ffff:127.0.0.1]:7"}), "control=127.0.0.1 7"},
        {argv({"--tcp", "4001", "--line-rate"}), "tcp=127.0.0.1 4001 line-rate"},
        {argv({"--tcp", "0.0.0.0:4001"}), "tcp=0.0.0.0 4001"}, // another address when given
        {argv({"--rfc2217", "4002", "--tcp", "0", "--strict-line"}), "tcp=127.0.0.1 0 rfc2217=127.0.0.1 4002 strict-line"},
        {argv({"--tcp", "[::]:0", "--control", "0"}), "control=127.0.0.1 0 tcp=:: 0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const auto result = parseOptions(row.args, QProcessEnvironment());
        ASSERT_TRUE(std::holds_alternative<Options>(result)) << std::get<OptionsExit>(result).err.toStdString();
        EXPECT_EQ(describe(std::get<Options>(result)), QString::fromUtf8(row.expected));
    }
}

TEST(Options, EndsWithHelpVersionOrUsageError)
{
    struct Row {
        QStringList args;
        int exitCode;
        const char* out; // the exact text, or (prefix "~") a part of it
        const char* err;
    };
    const Row rows[] = {
        {argv({"--version"}), 0, "Korvanteslin v.1.02\n", ""},
        {argv({"-v"}), 0, "Korvanteslin v.1.02\n", ""},
        {argv({"--help"}), 0, "~--control <[HOST:]PORT>", ""},
        {argv({"-h", "--headless"}), 0, "~--print-frames", ""},
        {argv({"-h", "-v"}), 0, "~Usage: korvanteslin [options]\n", ""},
        {argv({"--frobnicate"}), 2, "", "~Unknown option 'frobnicate'"},
        {argv({"-headless"}), 2, "", "~Unknown option"},
        {argv({"--help", "--frobnicate"}), 2, "", "~Unknown option"},
        {argv({"--device"}), 2, "", "~Missing value after '--device'"},
        {argv({"--headless=yes"}), 2, "", "~Unexpected value after '--headless'"},
        {argv({"--device="}), 2, "", "~Empty value for --device"},
        {argv({"--virtual", ""}), 2, "", "~Empty value for --virtual"},
        {argv({"--data-dir="}), 2, "", "~Empty value for --data-dir"},
        {argv({"COM2"}), 2, "", "~Unexpected argument 'COM2'"},
        {argv({"--headless", "--", "--version"}), 2, "", "~Unexpected argument '--version'"},
        {argv({"--control", "65536"}), 2, "", "~Bad value for --control: '65536'"},
        {argv({"--control", "-1"}), 2, "", "~Bad value for --control"},
        {argv({"--control", "+80"}), 2, "", "~Bad value for --control"},
        {argv({"--control", " 80"}), 2, "", "~Bad value for --control"},
        {argv({"--control", "080800"}), 2, "", "~Bad value for --control"},
        {argv({"--control", "http"}), 2, "", "~Bad value for --control"},
        {argv({"--control", ":80"}), 2, "", "~Bad value for --control"},
        {argv({"--control", "127.0.0.1:"}), 2, "", "~Bad value for --control"},
        // Beyond loopback only with a token: the run ends (1), the command line itself was right.
        {argv({"--control", "0.0.0.0:80"}), 1, "", "~Refused --control host '0.0.0.0'"},
        {argv({"--control", "192.168.1.5:80"}), 1, "", "~is served only with a token"},
        {argv({"--control", "[::]:80"}), 1, "", "~Refused --control host '::'"},
        {argv({"--control", "[::ffff:10.0.0.1]:80"}), 1, "", "~Refused"},
        {argv({"--control", "[fe80::1%lo]:80"}), 1, "", "~Refused"},
        {argv({"--control", "example.org:80"}), 2, "", "~Bad value for --control: 'example.org:80'"},
        {argv({"--control", "localhost.evil:80"}), 2, "", "~Bad value for --control"},
        {argv({"--control", "127.0.0.1:80:90"}), 2, "", "~Bad value for --control"},
        {argv({"--virtual", "/tmp/a\nvirtual: /tmp/b"}), 2, "", "~Bad value for --virtual: a path may not hold a line break"},
        {argv({"--data-dir", "/tmp/\x1b[2Jd"}), 2, "", "~Bad value for --data-dir"},
        {argv({"--tcp", "scale.example:4001"}), 2, "", "~Bad value for --tcp"},
        {argv({"--tcp", "70000"}), 2, "", "~Bad value for --tcp"},
        {argv({"--rfc2217", "a:b"}), 2, "", "~Bad value for --rfc2217"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const auto result = parseOptions(row.args, QProcessEnvironment());
        ASSERT_TRUE(std::holds_alternative<OptionsExit>(result));
        const OptionsExit& got = std::get<OptionsExit>(result);
        EXPECT_EQ(got.exitCode, row.exitCode);
        // As main prints it: the refusal in words, then the help.
        const QString err = got.refusal ? QString::fromStdString(wordMessage(*got.refusal, Language::English)) + '\n' + got.err
                                        : got.err;
        for (const auto& [text, expected] : {std::pair{got.out, row.out}, std::pair{err, row.err}}) {
            const QString want = QString::fromUtf8(expected);
            if (want.startsWith('~'))
                EXPECT_TRUE(text.contains(want.mid(1))) << text.toStdString();
            else
                EXPECT_EQ(text, want);
        }
        // A usage error shows the usage after the reason.
        if (row.exitCode == 2) {
            EXPECT_TRUE(got.err.contains(QStringLiteral("Usage:"))) << got.err.toStdString();
        }
    }

    // The refusal is a fact, worded in the language of the data folder asked for.
    const auto refused = std::get<OptionsExit>(parseOptions(argv({"--data-dir", "/srv/scale", "--control", "x:99999"})));
    EXPECT_EQ(refused.dataDir, QStringLiteral("/srv/scale"));
    ASSERT_TRUE(refused.refusal);
    EXPECT_EQ(wordMessage(*refused.refusal, Language::Russian),
        "Недопустимое значение для --control: «x:99999» (ожидается [HOST:]PORT, PORT от 0 до 65535).");
}

// The control API's token: from its file, else from the environment; it
// lets the API listen beyond loopback, and one that cannot be used ends the
// run without ever being shown.
TEST(Options, TheControlApisTokenComesFromItsFileOrTheEnvironment)
{
    QTemporaryDir dir;
    const auto file = [&dir](const char* name, const QByteArray& content) {
        QFile made(dir.filePath(QLatin1String(name)));
        made.open(QIODevice::WriteOnly);
        made.write(content);
        return made.fileName().toStdString();
    };
    const std::string good = file("good", "0123456789abcdef-XYZ\n");
    const std::string shortOne = file("short", "0123456789abcde\n");
    const std::string blanks = file("blanks", "0123456789 abcdef\n");
    const std::string twoLines = file("two", "0123456789abcdef\nsecond-line-here\n");
    const std::string missing = dir.filePath(QStringLiteral("missing")).toStdString();
    const std::string fifo = dir.filePath(QStringLiteral("fifo")).toStdString();
    ::mkfifo(fifo.c_str(), 0600); // no writer: opening it must not wait for one
    const std::string tooLong = file("long", QByteArray(4096, 'k') + QByteArray(64, '\n') + "more");
    struct Row {
        std::vector<std::string> args;
        const char* variable; // KORVANTESLIN_CONTROL_TOKEN, when set
        int exitCode;         // -1: the run goes on
        const char* expected; // the token, or a part of the refusal
    };
    const Row rows[] = {
        {{"--control", "0.0.0.0:8451", "--control-token-file", good}, nullptr, -1, "0123456789abcdef-XYZ"},
        {{"--control", "0.0.0.0:8451"}, "  env-token-0123456789 ", -1, "env-token-0123456789"},
        {{"--control", "8451", "--control-token-file", good}, "env-token-0123456789", -1, "0123456789abcdef-XYZ"},
        {{"--control", "8451"}, nullptr, -1, ""},
        {{"--control-token-file", missing}, nullptr, -1, ""}, // no API, no token to read
        {{"--control", "8451", "--control-token-file", missing}, nullptr, 1, "cannot be read from"},
        {{"--control", "8451", "--control-token-file", fifo}, nullptr, 1, "it is not a regular file"},
        {{"--control", "8451", "--control-token-file", dir.path().toStdString()}, nullptr, 1, "it is a folder"},
        {{"--control", "8451", "--control-token-file", tooLong}, nullptr, 1, "is unusable"},
        {{"--control", "8451", "--control-token-file", shortOne}, nullptr, 1, "is unusable"},
        {{"--control", "8451", "--control-token-file", blanks}, nullptr, 1, "is unusable"},
        {{"--control", "8451", "--control-token-file", twoLines}, nullptr, 1, "is unusable"},
        {{"--control", "0.0.0.0:8451"}, "short", 1, "KORVANTESLIN_CONTROL_TOKEN is unusable"},
        {{"--control", "0.0.0.0:8451"}, "", 1, "is unusable"},
    };
    for (const Row& row : rows) {
        QStringList args{QStringLiteral("korvanteslin")};
        for (const std::string& arg : row.args)
            args << QString::fromStdString(arg);
        SCOPED_TRACE(args.join(' ').toStdString());
        QProcessEnvironment environment;
        if (row.variable)
            environment.insert(QStringLiteral("KORVANTESLIN_CONTROL_TOKEN"), QString::fromUtf8(row.variable));
        const auto result = parseOptions(args, environment);
        if (row.exitCode < 0) {
            ASSERT_TRUE(std::holds_alternative<Options>(result));
            EXPECT_EQ(std::get<Options>(result).controlToken, QByteArray(row.expected));
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<OptionsExit>(result));
        const OptionsExit& refused = std::get<OptionsExit>(result);
        EXPECT_EQ(refused.exitCode, row.exitCode);
        ASSERT_TRUE(refused.refusal);
        for (const Language language : {Language::English, Language::Russian}) {
            const std::string said = wordMessage(*refused.refusal, language) + refused.err.toStdString();
            EXPECT_TRUE(language == Language::Russian || said.find(row.expected) != std::string::npos) << said;
            EXPECT_EQ(said.find("0123456789"), std::string::npos) << "the token is never shown: " << said;
        }
    }
}
