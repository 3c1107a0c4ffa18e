#include "control/control_api.h"
#include "control/post_routes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimer>
#include <cmath>
#include <array>
#include <optional>

#include "control/frame_log.h"
#include "control/request_body.h"
#include "emulation/frame_builder.h"
#include "emulation/names.h"
#include "serial/port_settings.h"
#include "serial/tcp_frame_server.h"
#include "serial/virtual_port.h"
#include "station/station.h"

namespace korvanteslin {

namespace {


QString hexOf(const std::string& bytes)
{
    return QString::fromStdString(hexEcho(bytes)).trimmed();
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}


QJsonObject frameJson(const FrameRecord& frame)
{
    return {{"seq", qint64(frame.seq)}, {"t_ms", qint64(frame.tMs)}, {"hex", hexOf(frame.bytes)},
        {"weight", frame.weight}, {"stable", frame.stable}};
}

// Each client, and for one whose protocol tells its end of the line, those
// settings and whether they are the port's.
QJsonObject tcpJson(const TcpFrameServer& server, const QString& portSettings)
{
    QJsonArray clients;
    for (const auto& client : server.clients()) {
        QJsonObject shown{{"peer", client.peer}, {"frames", qint64(client.frames)}, {"dropped", qint64(client.dropped)}};
        if (client.reader) {
            const QString reader = QString::fromStdString(formatPortSettings(*client.reader));
            shown.insert(QStringLiteral("reader"), reader);
            shown.insert(QStringLiteral("matches"), client.reader == parsePortSettings(portSettings.toStdString()));
        }
        clients.append(shown);
    }
    return {{"address", server.address()}, {"clients", clients}};
}

// The virtual port, and its receiving end as the program there set it (its
// speed and stop bits; a pseudo-terminal holds no data size or parity).
QJsonObject virtualJson(const VirtualPort& port, const PortSettings& portLine)
{
    QJsonObject shown{{"path", port.linkPath()}, {"device", port.devicePath()}, {"dropped", qint64(port.droppedFrames())}};
    if (const auto reader = port.readerSettings()) {
        shown.insert(QStringLiteral("reader"), QString::fromStdString(formatPortSettings(*reader)));
        shown.insert(QStringLiteral("matches"), *reader == portLine);
    }
    return shown;
}

QString loadName(Load load)
{
    if (load == Load::None)
        return QStringLiteral("none");
    return QLatin1String(kLoadNames[std::size_t(load) - std::size_t(Load::Weight1)]);
}

QJsonObject signalsJson(const SignalStates& states)
{
    QJsonObject shown;
    for (std::size_t i = 0; i < kSignalNames.size(); ++i)
        shown.insert(QLatin1String(kSignalNames[i]), states[i] == 1);
    return shown;
}

QJsonObject faultsJson(const FaultPlan& faults)
{
    const FaultRequest& pending = faults.pending();
    const FaultPlan::Done& done = faults.done();
    return {
        {"pending", QJsonObject{{"drop", pending.drop}, {"corrupt", pending.corrupt}, {"split", pending.split},
                        {"gap_ms", pending.gapMs}, {"silence_ms", qint64(faults.silenceLeft(MonoClock::now()).count())},
                        {"garbage", hexOf(pending.garbage)}}},
        {"done", QJsonObject{{"dropped", qint64(done.dropped)}, {"corrupted", qint64(done.corrupted)},
                     {"split", qint64(done.split)}, {"silenced", qint64(done.silenced)},
                     {"garbage_bytes", qint64(done.garbageBytes)}}},
    };
}

} // namespace

ControlApi::ControlApi(Station& station, FrameLog& frames, std::function<void()> exit)
    : run(station)
    , log(frames)
    , quit(std::move(exit))
{
}

QJsonObject ControlApi::state() const
{
    const Terminal& terminal = run.terminal();
    const CycleMode& cycle = run.cycle();
    CommPort& port = run.port();
    const FrameOutlet& outlet = run.outlet();
    const OutgoingFrame last = run.outgoingFrame();
    const auto text = [](const std::string& value) { return QString::fromStdString(value); };
    QJsonObject state{
        {"model", kModelNames[std::size_t(std::clamp<int>(terminal.intTerminalModel, 0, int(kModelNames.size()) - 1))]},
        {"period_ms", run.sendPeriod()},
        {"weights", QJsonObject{{"weight1", text(terminal.Text9[0])}, {"weight2", text(terminal.Text9[1])},
                        {"shown1", text(terminal.Text2[0])}, {"shown2", text(terminal.Text2[1])}}},
        {"format", kDisplayFormats[terminal.displayFormatIndex()].pattern},
        // The boxes as typed, and what the last "Change" applied.
        {"oscillation", QJsonObject{{"amplitude", text(run.Text1[1])}, {"count", text(run.Text1[2])},
                            {"applied_amplitude", terminal.dblAmplitude}, {"applied_count", terminal.intOscCount}}},
        {"load", loadName(terminal.chosenLoad)},
        {"signals", signalsJson(terminal.Check1)},
        {"weight", last.weight},
        {"weight_text", text(terminal.frameWeightText())},
        {"frame", hexOf(terminal.strFrame)},
        {"frames_built", qint64(outlet.framesBuilt())},
        {"frames_written", qint64(outlet.framesWritten())},
        {"frames_dropped", qint64(outlet.framesDropped())},
        {"port", QJsonObject{{"number", port.commPort()}, {"device", port.devicePath()}, {"settings", port.settings()},
                     {"open", port.isOpen()}, {"error", wordPortFailure(port.closedBecause(), run.language())}}},
        {"cycle", QJsonObject{{"on", cycle.timer3Enabled}, {"count", cycle.lngCycleCounter},
                      {"max", cycle.lngMaxCounter}, {"period_s", cycle.lngCyclePeriod}}},
        {"language", kLanguageNames[std::size_t(run.language())]},
        {"line_rate", outlet.linePacing()},
        {"cable", QJsonObject{{"plugged", run.cablePlugged()}}},
        {"faults", faultsJson(outlet.faults())},
    };
    if (tcp)
        state.insert(QStringLiteral("tcp"), tcpJson(*tcp, run.port().settings()));
    if (rfc2217)
        state.insert(QStringLiteral("rfc2217"), tcpJson(*rfc2217, run.port().settings()));
    if (virtualPort)
        state.insert(QStringLiteral("virtual"), virtualJson(*virtualPort, run.port().lineSettings()));
    return state;
}

namespace {

// A query parameter as a whole number not below zero; `fallback` when absent.
std::optional<qint64> count(const HttpRequest& request, const char* name, qint64 fallback)
{
    const auto it = request.query.find(QLatin1String(name));
    if (it == request.query.end())
        return fallback;
    bool ok = false;
    const qint64 value = it->toLongLong(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

ControlApi::Reply refused(const Refusal& refusal, Language language)
{
    return {refusal.status, json({{"error", refusal.error.in(language)}})};
}

const Wording kUseGet{"use GET or HEAD", "используйте GET или HEAD"};
const Wording kUsePost{"use POST", "используйте POST"};
const Wording kUsePostOrDelete{"use POST or DELETE", "используйте POST или DELETE"};

QByteArray framesJson(const std::vector<FrameRecord>& found, std::uint64_t lastSeq)
{
    QJsonArray list;
    for (const FrameRecord& frame : found)
        list.append(frameJson(frame));
    return json({{"frames", list}, {"last_seq", qint64(lastSeq)}});
}

} // namespace

void ControlApi::handle(const HttpRequest& request, HttpResponder responder)
{
    if (const auto reply = answer(request))
        return responder.reply(reply->status, reply->json);
    // A poll that waits for the next frame: answered when it comes, or at its deadline.
    polls.push_back(responder);
    FrameLog& frames = log;
    log.waitAfter(quint64(count(request, "after", 0).value_or(0)), count(request, "wait_ms", 0).value_or(0),
        [responder, &frames](std::vector<FrameRecord> found) mutable {
            responder.reply(200, framesJson(found, frames.lastSeq()));
        });
}

std::optional<ControlApi::Reply> ControlApi::answer(const HttpRequest& request)
{
    // HEAD reads as GET does; the server sends the head of the reply only.
    const bool get = request.method == QLatin1String("GET") || request.method == QLatin1String("HEAD");
    const bool post = request.method == QLatin1String("POST");
    const auto refused = [this](const Refusal& refusal) { return korvanteslin::refused(refusal, run.language()); };
    if (request.path == QLatin1String("/state")) {
        if (!get)
            return refused({405, kUseGet});
        return Reply{200, json(state())};
    }
    if (request.path == QLatin1String("/health")) {
        if (!get)
            return refused({405, kUseGet});
        // Ready once the tick has sent a frame, whether or not a reader took it.
        if (run.outlet().framesBuilt() == 0)
            return refused({503, Wording{"no frame has left yet", "ни один кадр ещё не отправлен"}});
        return Reply{200, json({{"ok", true}, {"frames_built", qint64(run.outlet().framesBuilt())}})};
    }
    if (request.path == QLatin1String("/frames")) {
        if (!get)
            return refused({405, kUseGet});
        const auto after = count(request, "after", 0);
        const auto waitMs = count(request, "wait_ms", 0);
        if (!after || !waitMs || *waitMs > FrameLog::kMaxWaitMs)
            return refused({400, {QStringLiteral("after must be a whole number, wait_ms one from 0 to %1").arg(FrameLog::kMaxWaitMs),
                                     QStringLiteral("after должно быть целым числом, wait_ms — целым от 0 до %1").arg(FrameLog::kMaxWaitMs)}});
        if (*waitMs == 0 || log.lastSeq() > quint64(*after))
            return Reply{200, framesJson(log.after(quint64(*after)), log.lastSeq())};
        // Each waiting poll holds a connection: enough are left for everything
        // else. A poll whose client hung up has been answered and counts no more.
        std::erase_if(polls, [](const HttpResponder& poll) { return poll.replied(); });
        if (polls.size() >= kMostLongPolls)
            return refused({503, {QStringLiteral("%1 requests are waiting already; try again shortly").arg(kMostLongPolls),
                                     QStringLiteral("уже ждут %1 запросов; повторите чуть позже").arg(kMostLongPolls)}});
        return std::nullopt;
    }
    if (request.path == QLatin1String("/quit")) {
        if (!post)
            return refused({405, kUsePost});
        // Exit from the menu, once the reply is on its way.
        QTimer::singleShot(0, &run, [quit = quit] { quit(); });
        return Reply{200, json({{"ok", true}})};
    }
    if (request.path == QLatin1String("/faults") && request.method == QLatin1String("DELETE")) {
        run.outlet().cancelFaults();
        return Reply{200, json(state())};
    }
    for (const PostRoute& route : postRoutes()) {
        if (request.path != QLatin1String(route.path))
            continue;
        if (!post)
            return refused({405, request.path == QLatin1String("/faults") ? kUsePostOrDelete : kUsePost});
        auto body = Body::parse(request.body, route.fields);
        if (const auto* refusal = std::get_if<Refusal>(&body))
            return refused(*refusal);
        auto plan = route.plan(std::get<Body>(body), run);
        if (const auto* refusal = std::get_if<Refusal>(&plan))
            return refused(*refusal);
        if (const auto refusal = std::get<Action>(plan)())
            return refused(*refusal);
        return Reply{200, json(state())};
    }
    return refused({404, {QStringLiteral("no such path: %1").arg(request.path), QStringLiteral("нет такого пути: %1").arg(request.path)}});
}

} // namespace korvanteslin
