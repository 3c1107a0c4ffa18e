#include "control/control_api.h"
#include "control/entry_rules.h"
#include "emulation/send_period.h"

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
#include "serial/tcp_frame_server.h"
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

QJsonObject tcpJson(const TcpFrameServer& server)
{
    QJsonArray clients;
    for (const auto& client : server.clients())
        clients.append(QJsonObject{
            {"peer", client.peer}, {"frames", qint64(client.frames)}, {"dropped", qint64(client.dropped)}});
    return {{"address", server.address()}, {"clients", clients}};
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

// The display formats, named by their patterns.
std::array<const char*, kDisplayFormats.size()> formatNames()
{
    std::array<const char*, kDisplayFormats.size()> names{};
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i] = kDisplayFormats[i].pattern;
    return names;
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
        {"faults", faultsJson(outlet.faults())},
    };
    if (tcp)
        state.insert(QStringLiteral("tcp"), tcpJson(*tcp));
    return state;
}

namespace {

// What a request does, once it has been found sound; a refusal when the
// run itself turned it down (a device that would not take the settings).
using Action = std::function<std::optional<Refusal>()>;

// Each POST path: the fields it takes, and how a checked body becomes the
// operator's action on the run (or a refusal).
using Planner = std::function<std::variant<Action, Refusal>(Body&, Station&)>;

QString overLimitText(const FaultPlan::OverLimit& over)
{
    return QStringLiteral("\"%1\" would leave more than %2 pending; %3 are pending now")
        .arg(QLatin1String(over.field))
        .arg(over.most)
        .arg(over.pending);
}

template <class Do>
std::variant<Action, Refusal> planned(Body& body, Do action)
{
    if (const auto refusal = body.refusal())
        return *refusal;
    if constexpr (std::is_void_v<std::invoke_result_t<Do>>)
        return Action([action] { return action(), std::optional<Refusal>(); });
    else
        return Action(action);
}

// The first value the window would replace, clamp or ignore without a word: 422.
std::optional<Refusal> firstBroken(std::initializer_list<std::optional<QString>> refusals)
{
    for (const auto& refusal : refusals)
        if (refusal)
            return Refusal{422, *refusal};
    return std::nullopt;
}

constexpr long kLongestCount = 32767;

struct PostRoute {
    const char* path;
    std::initializer_list<const char*> fields;
    Planner plan;
};

const PostRoute kPostRoutes[] = {
    {"/weights", {"weight1", "weight2"},
        [](Body& body, Station& run) {
            const auto first = body.text("weight1"), second = body.text("weight2");
            const DisplayFormat& format = run.terminal().displayFormat();
            if (const auto broken = firstBroken({first ? weightRefusal("weight1", *first, format, run.language()) : std::nullopt,
                    second ? weightRefusal("weight2", *second, format, run.language()) : std::nullopt}))
                return std::variant<Action, Refusal>(*broken);
            return planned(body, [=, &run] {
                if (first)
                    run.typeWeight(0, first->toStdString());
                if (second)
                    run.typeWeight(1, second->toStdString());
            });
        }},
    {"/load", {"load"},
        [](Body& body, Station& run) {
            body.require("load");
            const auto load = body.choice("load", kLoadNames);
            const Load loads[] = {Load::Weight1, Load::Weight2, Load::TakeOff};
            return planned(body, [=, &run] { run.pressLoad(loads[*load]); });
        }},
    {"/signals", {"tare", "overload"},
        [](Body& body, Station& run) {
            const auto tare = body.flag("tare"), overload = body.flag("overload");
            return planned(body, [=, &run] {
                if (tare)
                    run.setSignal(kSignalTare, *tare ? 1 : 0);
                if (overload)
                    run.setSignal(kSignalOverload, *overload ? 1 : 0);
            });
        }},
    {"/model", {"model"},
        [](Body& body, Station& run) {
            body.require("model");
            const auto model = body.choice("model", kModelNames);
            return planned(body, [=, &run] { run.pickModel(*model); });
        }},
    {"/format", {"format"},
        [](Body& body, Station& run) {
            body.require("format");
            const auto format = body.choice("format", formatNames());
            return planned(body, [=, &run] { run.pickFormat(std::size_t(*format)); });
        }},
    {"/oscillation", {"amplitude", "count"},
        [](Body& body, Station& run) {
            const auto amplitude = body.text("amplitude"), count = body.text("count");
            if (const auto broken = firstBroken({amplitude ? numberRefusal("amplitude", *amplitude, run.language()) : std::nullopt,
                    count ? wholeNumberRefusal("count", *count, 0, kLongestCount, run.language()) : std::nullopt}))
                return std::variant<Action, Refusal>(*broken);
            return planned(body, [=, &run] {
                if (amplitude)
                    run.typeText1(1, amplitude->toStdString());
                if (count)
                    run.typeText1(2, count->toStdString());
                run.applyOscillation();
            });
        }},
    {"/period", {"period_ms"},
        [](Body& body, Station& run) {
            body.require("period_ms");
            const auto period = body.text("period_ms");
            if (const auto broken = firstBroken(
                    {period ? wholeNumberRefusal("period_ms", *period, 1, kLongestSendPeriod, run.language()) : std::nullopt}))
                return std::variant<Action, Refusal>(*broken);
            return planned(body, [=, &run] {
                run.typeText1(0, period->toStdString());
                run.applyPeriod();
            });
        }},
    {"/cycle", {"on", "max", "period_s"},
        [](Body& body, Station& run) {
            const auto on = body.flag("on");
            const auto max = body.text("max"), period = body.text("period_s");
            if (const auto broken = firstBroken(
                    {max ? wholeNumberRefusal("max", *max, 1, CycleMode::kLimit, run.language()) : std::nullopt,
                        period ? wholeNumberRefusal("period_s", *period, 1, CycleMode::kLimit, run.language()) : std::nullopt}))
                return std::variant<Action, Refusal>(*broken);
            return planned(body, [=, &run] {
                if (max)
                    run.typeCycleMax(max->toStdString());
                if (period)
                    run.typeCyclePeriod(period->toStdString());
                if (on && run.Check2 != *on)
                    run.switchCycle(*on);
            });
        }},
    {"/port", {"number", "baud", "parity", "data_bits", "stop_bits"},
        [](Body& body, Station& run) {
            const std::array<std::optional<QString>, 5> boxes{
                body.text("number"), body.text("baud"), body.text("parity"), body.text("data_bits"), body.text("stop_bits")};
            // The boxes as they would stand: a choice that cannot apply is refused before anything is done.
            PortBoxes after = run.Combo1;
            for (std::size_t i = 0; i < boxes.size(); ++i)
                if (boxes[i])
                    after[i] = *boxes[i];
            if (const auto broken = portBoxesRefusal(after, run.language()))
                return std::variant<Action, Refusal>(Refusal{422, *broken});
            return planned(body, [=, &run]() -> std::optional<Refusal> {
                int picked = -1;
                for (std::size_t i = 0; i < boxes.size(); ++i) {
                    if (boxes[i]) {
                        run.typePortBox(i, *boxes[i]);
                        picked = int(i);
                    }
                }
                if (picked < 0)
                    return std::nullopt;
                // One pick (of the port number, when one is given), and its
                // apply step at once: the caller learns how it ended. A
                // device that would not take the choice leaves the line as
                // it was.
                run.pickPortBox(boxes[0] ? 0 : picked);
                if (run.applyPortBoxes(false))
                    return Refusal{422, wordPortFailure(run.port().lastError(), run.language())};
                return std::nullopt;
            });
        }},
    {"/faults", {"drop", "corrupt", "split", "gap_ms", "silence_ms", "garbage"},
        [](Body& body, Station& run) {
            constexpr qint64 kMostFrames = FaultPlan::kMostPendingFrames, kLongestSilenceMs = 86'400'000,
                           kMostGarbage = FaultPlan::kMostPendingGarbage;
            FaultRequest request;
            request.drop = int(body.count("drop", kMostFrames).value_or(0));
            request.corrupt = int(body.count("corrupt", kMostFrames).value_or(0));
            const auto split = body.count("split", kMostFrames);
            const auto gap = body.count("gap_ms", run.sendPeriod());
            request.split = int(split.value_or(0));
            request.gapMs = int(gap.value_or(0));
            request.silenceMs = body.count("silence_ms", kLongestSilenceMs).value_or(0);
            request.garbage = body.hexBytes("garbage", kMostGarbage).value_or(QByteArray()).toStdString();
            if (split.value_or(0) > 0 && !gap)
                body.refuse(QStringLiteral("\"split\" needs \"gap_ms\", at most the period"));
            if (const auto refusal = body.refusal())
                return std::variant<Action, Refusal>(*refusal);
            if (const auto over = run.outlet().faults().overLimit(request))
                return std::variant<Action, Refusal>(Refusal{422, overLimitText(*over)});
            return planned(body, [=, &run] { run.outlet().requestFaults(request); });
        }},
    {"/language", {"language"},
        [](Body& body, Station& run) {
            body.require("language");
            const auto language = body.choice("language", kLanguageNames);
            return planned(body, [=, &run] { run.pickLanguage(*language); });
        }},
};

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

ControlApi::Reply refused(const Refusal& refusal)
{
    return {refusal.status, json({{"error", refusal.error}})};
}

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
    if (request.path == QLatin1String("/state")) {
        if (!get)
            return refused({405, QStringLiteral("use GET or HEAD")});
        return Reply{200, json(state())};
    }
    if (request.path == QLatin1String("/frames")) {
        if (!get)
            return refused({405, QStringLiteral("use GET or HEAD")});
        const auto after = count(request, "after", 0);
        const auto waitMs = count(request, "wait_ms", 0);
        if (!after || !waitMs || *waitMs > FrameLog::kMaxWaitMs)
            return refused(
                {400, QStringLiteral("after must be a whole number, wait_ms one from 0 to %1").arg(FrameLog::kMaxWaitMs)});
        if (*waitMs == 0 || log.lastSeq() > quint64(*after))
            return Reply{200, framesJson(log.after(quint64(*after)), log.lastSeq())};
        // Each waiting poll holds a connection: enough are left for everything
        // else. A poll whose client hung up has been answered and counts no more.
        std::erase_if(polls, [](const HttpResponder& poll) { return poll.replied(); });
        if (polls.size() >= kMostLongPolls)
            return refused({503, QStringLiteral("%1 requests are waiting already; try again shortly").arg(kMostLongPolls)});
        return std::nullopt;
    }
    if (request.path == QLatin1String("/quit")) {
        if (!post)
            return refused({405, QStringLiteral("use POST")});
        // Exit from the menu, once the reply is on its way.
        QTimer::singleShot(0, &run, [quit = quit] { quit(); });
        return Reply{200, json({{"ok", true}})};
    }
    if (request.path == QLatin1String("/faults") && request.method == QLatin1String("DELETE")) {
        run.outlet().cancelFaults();
        return Reply{200, json(state())};
    }
    for (const PostRoute& route : kPostRoutes) {
        if (request.path != QLatin1String(route.path))
            continue;
        if (!post)
            return refused({405, request.path == QLatin1String("/faults") ? QStringLiteral("use POST or DELETE")
                                                                           : QStringLiteral("use POST")});
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
    return refused({404, QStringLiteral("no such path: %1").arg(request.path)});
}

} // namespace korvanteslin
