#include "control/options.h"

#include "control/control_token.h"
#include "shell/settings_record.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>

#include <algorithm>

namespace korvanteslin {

namespace {

const QString kControlHint = QStringLiteral("[HOST:]PORT");

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
        QStringLiteral("Shows this help and ends.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
        QStringLiteral("Shows the program's version and ends.")};
    QCommandLineOption headless{QStringLiteral("headless"),
        QStringLiteral("Runs without a window: messages go to standard error as single lines.")};
    QCommandLineOption device{QStringLiteral("device"),
        QStringLiteral("Sends on this device for this run instead of the one the port number leads to."),
        QStringLiteral("PATH")};
    QCommandLineOption virtualPort{QStringLiteral("virtual"),
        QStringLiteral("Makes a pseudo-terminal pair and a link at PATH to the end a receiving program opens."),
        QStringLiteral("PATH")};
    QCommandLineOption control{QStringLiteral("control"),
        QStringLiteral("Serves the control API on this address (default host 127.0.0.1; port 0 picks a free one); "
                       "beyond loopback only with a token."),
        kControlHint};
    QCommandLineOption controlTokenFile{QStringLiteral("control-token-file"),
        QStringLiteral("Every request to the control API but GET /health must carry the token in this file "
                       "(Authorization: Bearer TOKEN); else the one in KORVANTESLIN_CONTROL_TOKEN, if set."),
        QStringLiteral("FILE")};
    QCommandLineOption printFrames{QStringLiteral("print-frames"),
        QStringLiteral("Prints each frame on standard output: seconds since start, then the bytes in hex.")};
    QCommandLineOption tcp{QStringLiteral("tcp"),
        QStringLiteral("Sends every frame to the TCP clients of this address, as a serial device server does "
                       "(default host 127.0.0.1; another address only when given)."),
        kControlHint};
    QCommandLineOption rfc2217{QStringLiteral("rfc2217"),
        QStringLiteral("Sends every frame to the RFC 2217 (serial over telnet) clients of this address, each with "
                       "the line settings it asks for (default host 127.0.0.1; another address only when given)."),
        kControlHint};
    QCommandLineOption lineRate{QStringLiteral("line-rate"),
        QStringLiteral("Frames, and each of their bytes, leave no faster than the set line could carry them.")};
    QCommandLineOption strictLine{QStringLiteral("strict-line"),
        QStringLiteral("A reader whose end of the line is set otherwise than the port gets what its UART would "
                       "decode: garbage, parity and framing errors, breaks.")};
    QCommandLineOption dataDir{QStringLiteral("data-dir"),
        QStringLiteral("Uses DIR as the data folder for this run (created with its parents)."),
        QStringLiteral("DIR")};

    Parser()
    {
        parser.setApplicationDescription(QStringLiteral("Emulates a weighing terminal on a serial port."));
        parser.addOptions({help, version, headless, device, virtualPort, control, controlTokenFile, tcp, rfc2217, lineRate,
            strictLine, printFrames, dataDir});
    }

    OptionsExit usageError(ShellMessage refusal) const
    {
        return {kUsageExitCode, {}, QStringLiteral("\n") + helpText(), std::move(refusal), parser.value(dataDir)};
    }

    // The parser's own refusals, as facts: it words them in English only.
    ShellMessage parserRefusal() const
    {
        const QString text = parser.errorText();
        const QString quoted = text.section(QLatin1Char('\''), 1, -2);
        if (!parser.unknownOptionNames().isEmpty())
            return refusalOf(MessageId::UnknownOption, parser.unknownOptionNames().constFirst().toStdString());
        if (text.startsWith(QLatin1String("Missing value")))
            return refusalOf(MessageId::MissingOptionValue, quoted.toStdString());
        return refusalOf(MessageId::UnexpectedOptionValue, quoted.toStdString());
    }

    // The help, its usage line naming the program as it was called: the
    // parser would name the program that runs it, or "<executable_name>"
    // before there is an application object.
    QString helpText() const
    {
        QString text = parser.helpText();
        const qsizetype endOfUsage = text.indexOf(QLatin1Char('\n'));
        return text.replace(0, endOfUsage, QStringLiteral("Usage: %1 [options]").arg(calledAs));
    }

    QString calledAs = QStringLiteral("korvanteslin");
};

QString programVersion()
{
    return QStringLiteral("%1 %2\n").arg(QLatin1String(kProgName), QLatin1String(kProgVersion));
}

// "PORT", "HOST:PORT" or "[IPV6]:PORT"; the port is the text after the last
// colon; the host a numeric address or localhost.
std::variant<ControlAddress, ShellMessage> parseAddress(const QString& option, const QString& value)
{
    const ShellMessage badValue = refusalOf(MessageId::BadAddress, option.toStdString(), value.toStdString());
    const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? QStringLiteral("127.0.0.1") : value.left(colon);
    const QString portText = value.mid(colon + 1);

    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const uint port = portText.toUInt();
    if (!digits.match(portText).hasMatch() || port > 65535 || host.isEmpty())
        return badValue;

    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    // A colon left in the host makes it an IPv6 address or nothing: "127.0.0.1:80:90" is a typo, not a host.
    if (host.contains(QLatin1Char(':')) && QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
        return badValue;
    QHostAddress address;
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    else
        address.setAddress(host);
    // ::ffff:127.0.0.1 is an IPv4 address in IPv6 dress: listen on the IPv4 one.
    static const QHostAddress kMappedPrefix(QStringLiteral("::ffff:0:0"));
    if (address.protocol() == QAbstractSocket::IPv6Protocol && address.isInSubnet(kMappedPrefix, 96))
        address.setAddress(address.toIPv4Address());
    if (address.isNull())
        return badValue;
    return ControlAddress{address.toString(), std::uint16_t(port)};
}

// The control API's token, when one is given: it guards the API wherever
// it listens, and an address beyond loopback is served only with one. These
// refusals end the run (1) without the help: the command line was right.
std::variant<Options, OptionsExit> withToken(const Parser& p, Options options, const QProcessEnvironment& environment)
{
    if (!options.control)
        return options;
    const QString file = p.parser.value(p.controlTokenFile);
    if (p.parser.isSet(p.controlTokenFile) && file.isEmpty())
        return p.usageError(refusalOf(MessageId::EmptyOptionValue, "control-token-file"));
    const auto token = controlToken(file, environment);
    if (const ShellMessage* refusal = std::get_if<ShellMessage>(&token))
        return OptionsExit{1, {}, {}, *refusal, p.parser.value(p.dataDir)};
    if (const QByteArray* given = std::get_if<QByteArray>(&token))
        options.controlToken = *given;
    if (options.controlToken.isEmpty() && !QHostAddress(options.control->host).isLoopback())
        return OptionsExit{1, {}, {}, refusalOf(MessageId::ControlNotLoopback, options.control->host.toStdString()),
            p.parser.value(p.dataDir)};
    return options;
}

} // namespace

std::variant<Options, OptionsExit> parseOptions(const QStringList& arguments, const QProcessEnvironment& environment)
{
    Parser p;
    if (!arguments.isEmpty())
        p.calledAs = QFileInfo(arguments.first()).fileName();
    QCommandLineParser& parser = p.parser;
    if (!parser.parse(arguments))
        return p.usageError(p.parserRefusal());
    if (parser.isSet(p.help))
        return OptionsExit{0, p.helpText(), {}, {}, {}};
    if (parser.isSet(p.version))
        return OptionsExit{0, programVersion(), {}, {}, {}};
    if (!parser.positionalArguments().isEmpty())
        return p.usageError(
            refusalOf(MessageId::UnexpectedArgument, parser.positionalArguments().constFirst().toStdString()));

    Options options;
    options.headless = parser.isSet(p.headless);
    options.printFrames = parser.isSet(p.printFrames);
    const std::pair<const QCommandLineOption&, QString&> paths[] = {
        {p.device, options.device}, {p.virtualPort, options.virtualPath}, {p.dataDir, options.dataDir}};
    for (const auto& [option, value] : paths) {
        if (!parser.isSet(option))
            continue;
        value = parser.value(option);
        if (value.isEmpty())
            return p.usageError(refusalOf(MessageId::EmptyOptionValue, option.names().constLast().toStdString()));
        // Paths are printed one to a line (the virtual port's announcement, messages): a
        // line break or another control character in one would forge or split those lines.
        if (std::any_of(value.begin(), value.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
            return p.usageError(refusalOf(MessageId::ControlCharacterInPath, option.names().constLast().toStdString()));
    }
    options.lineRate = parser.isSet(p.lineRate);
    options.strictLine = parser.isSet(p.strictLine);
    const std::pair<const QCommandLineOption&, std::optional<ControlAddress>&> addresses[] = {
        {p.control, options.control}, {p.tcp, options.tcp}, {p.rfc2217, options.rfc2217}};
    for (const auto& [option, address] : addresses) {
        if (!parser.isSet(option))
            continue;
        auto parsed = parseAddress(option.names().constLast(), parser.value(option));
        if (const ShellMessage* refusal = std::get_if<ShellMessage>(&parsed))
            return p.usageError(*refusal);
        address = std::get<ControlAddress>(parsed);
    }
    return withToken(p, std::move(options), environment);
}

} // namespace korvanteslin
