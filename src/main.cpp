#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

#include "app/display_check.h"
#include "app/window_module.h"
#include "control/control_api.h"
#include "control/frame_log.h"
#include "control/frame_log_timer.h"
#include "control/frame_printer.h"
#include "control/http_server.h"
#include "control/options.h"
#include "serial/tcp_frame_server.h"
#include "serial/telnet_session.h"
#include "serial/virtual_port.h"
#include "station/console_line.h"
#include "station/station.h"
#include "station/termination_signals.h"

namespace {

using namespace korvanteslin;

QStringList argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// A line for a harness that reads standard output: printed whole and at once.
void announce(const QString& line)
{
    std::cout << line.toStdString() << std::endl;
}

// What a run adds to the window: the virtual port, the frames' TCP server,
// the frame lines on standard output, the control API. Made before start-up,
// so that a path or an address that cannot be had ends the run before
// anything is touched.
struct Extras {
    std::unique_ptr<VirtualPort> virtualPort;
    std::unique_ptr<TcpFrameServer> tcp;
    std::unique_ptr<TcpFrameServer> rfc2217;
    std::unique_ptr<FrameLog> log;
    std::unique_ptr<FrameLogTimer> logTimer;
    std::unique_ptr<ControlApi> api;
    std::unique_ptr<HttpServer> server;
};

// Nothing on success, else why the run cannot go on.
std::optional<ShellMessage> prepareExtras(const Options& options, Station& station, Extras& extras)
{
    // What the lines tell of along the way: clients turned away, readers set otherwise.
    const auto note = [&station](const ShellMessage& message) {
        std::cerr << wordMessage(message, station.language()) << std::endl;
    };
    if (!options.virtualPath.isEmpty()) {
        auto created = VirtualPort::create(options.virtualPath);
        if (auto* refusal = std::get_if<ShellMessage>(&created))
            return *refusal;
        extras.virtualPort = std::move(std::get<std::unique_ptr<VirtualPort>>(created));
        extras.virtualPort->setPortLine([&station]() -> const PortSettings& { return station.port().lineSettings(); },
            options.strictLine, note);
        station.outlet().addLine(extras.virtualPort.get());
    }
    const std::tuple<const std::optional<ControlAddress>&, std::unique_ptr<TcpFrameServer>&, TcpFrameServer::ProtocolMaker>
        servers[] = {{options.tcp, extras.tcp, {}},
            {options.rfc2217, extras.rfc2217, [] { return std::make_unique<TelnetSession>(); }}};
    for (const auto& [address, server, protocol] : servers) {
        if (!address)
            continue;
        server = std::make_unique<TcpFrameServer>(note, protocol);
        server->setPortLine([&station]() -> const PortSettings& { return station.port().lineSettings(); }, options.strictLine);
        const auto listening = server->listen(address->host, address->port);
        if (auto* refusal = std::get_if<ShellMessage>(&listening))
            return *refusal;
        station.outlet().addLine(server.get());
    }
    if (options.printFrames) {
        station.outlet().onSent([&station](const OutgoingFrame& frame) {
            printFrame(std::cout, msSinceStart(), frame.bytes);
            // Whoever read the lines has gone (`| head`): the run ends as on a
            // signal, settings saved, rather than printing into nothing.
            if (!std::cout.good() && !station.hasEnded())
                QMetaObject::invokeMethod(&station, &Station::endOnRequest, Qt::QueuedConnection);
        });
    }
    if (options.control) {
        extras.log = std::make_unique<FrameLog>(msSinceStart);
        extras.logTimer = std::make_unique<FrameLogTimer>(*extras.log);
        extras.api = std::make_unique<ControlApi>(station, *extras.log, [&station] { station.mnu_Exit_Click(); });
        extras.api->setTcpServers(extras.tcp.get(), extras.rfc2217.get());
        extras.api->setVirtualPort(extras.virtualPort.get());
        extras.server = std::make_unique<HttpServer>(
            [api = extras.api.get()](const HttpRequest& request, HttpResponder responder) { api->handle(request, responder); });
        extras.server->setLanguage([&station] { return station.language(); });
        extras.server->setToken(options.controlToken);
        const auto listening = extras.server->listen(options.control->host, options.control->port);
        if (auto* refusal = std::get_if<ShellMessage>(&listening))
            return *refusal;
        station.outlet().onSent([log = extras.log.get()](const OutgoingFrame& frame) {
            log->add(frame.bytes, frame.weight, frame.stable);
        });
    }
    return std::nullopt;
}

void announceExtras(const Options& options, const Extras& extras)
{
    if (extras.virtualPort)
        announce(QStringLiteral("virtual: %1").arg(extras.virtualPort->linkPath()));
    if (extras.tcp)
        announce(QStringLiteral("tcp: %1").arg(extras.tcp->address()));
    if (extras.rfc2217)
        announce(QStringLiteral("rfc2217: %1").arg(extras.rfc2217->address()));
    if (extras.server) {
        const QString host = options.control->host.contains(QLatin1Char(':')) ? '[' + options.control->host + ']'
                                                                               : options.control->host;
        announce(QStringLiteral("control: http://%1:%2").arg(host).arg(extras.server->port()));
    }
}

void nameTheApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Korvanteslin"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.02"));
}

// The run as the options make it, with its extras; then start-up. An exit
// code when the run ends here, nothing when it goes on to the event loop.
std::optional<int> start(Station& station, const Options& options, TerminationSignals& termination, Extras& extras)
{
    // From here on a termination signal waits for the event loop, where it
    // runs the close sequence: port closed, settings saved, program ended.
    QObject::connect(&termination, &TerminationSignals::received, &station, &Station::endOnRequest);
    if (!options.dataDir.isEmpty())
        station.setDataFolder(options.dataDir);
    if (!options.device.isEmpty())
        station.port().setDeviceOverride(options.device);
    station.outlet().setLinePacing(options.lineRate);
    // Nobody is there to pick the port again: it is retried as a lost one is.
    station.port().setRetryWhenClosed(options.headless);
    station.setSerialPortOptional(options.headless && options.device.isEmpty() && (!options.virtualPath.isEmpty() || options.tcp || options.rfc2217));

    // Before start-up: in the language of the settings file that start-up will read.
    if (const auto refusal = prepareExtras(options, station, extras)) {
        std::cerr << wordMessage(*refusal, storedLanguage(dataFolderFor(options.dataDir))) << std::endl;
        return 1;
    }
    return std::nullopt;
}

// Without a window: no widget, no display, no platform plugin. Messages are
// single lines on standard error and nothing waits for a person.
int runHeadless(int argc, char** argv, const Options& options)
{
    QCoreApplication app(argc, argv);
    TerminationSignals termination;
    Station station;
    station.setReporter([](const QString& text) { std::cerr << oneLine(text).toStdString() << std::endl; });
    Extras extras;
    if (const auto ended = start(station, options, termination, extras))
        return *ended;
    if (!station.Form_Load())
        return 1; // another copy runs on this data folder
    if (station.hasEnded())
        return 0; // asked to end while start-up was still telling something
    announceExtras(options, extras);
    return QCoreApplication::exec();
}

int runWindow(int argc, char** argv, const Options& options)
{
    const auto refuse = [&](const ShellMessage& message) {
        std::cerr << wordMessage(message, storedLanguage(dataFolderFor(options.dataDir))) << std::endl;
        return 1;
    };
    // Qt would end the program on its own (an abort) without a display.
    if (!displayAvailable()) {
        ShellMessage noDisplay;
        noDisplay.id = MessageId::NoDisplay;
        return refuse(noDisplay);
    }
    const auto loaded = loadWindowModule();
    if (const auto* failure = std::get_if<ShellMessage>(&loaded))
        return refuse(*failure);
    const std::unique_ptr<WindowSide> window(std::get<MakeWindowFunction>(loaded)(argc, argv));
    TerminationSignals termination;
    Extras extras;
    if (const auto ended = start(window->station(), options, termination, extras))
        return *ended;
    if (!window->startUp())
        return 1; // another copy runs on this data folder
    if (window->hasEnded())
        return 0; // asked to end while start-up was still showing a message
    announceExtras(options, extras);
    return window->exec();
}

} // namespace

int main(int argc, char** argv)
{
    // A harness that stops reading the frame lines must not end the emulator.
    std::signal(SIGPIPE, SIG_IGN);

    const auto parsed = parseOptions(argumentsOf(argc, argv));
    if (const auto* done = std::get_if<OptionsExit>(&parsed)) {
        std::cout << done->out.toStdString();
        if (done->refusal)
            std::cerr << wordMessage(*done->refusal, storedLanguage(dataFolderFor(done->dataDir))) << '\n';
        std::cerr << done->err.toStdString();
        return done->exitCode;
    }
    const Options& options = std::get<Options>(parsed);
    nameTheApplication();
    return options.headless ? runHeadless(argc, argv, options) : runWindow(argc, argv, options);
}
