// The control API over a run: each request must do exactly what the
// operator's actions do, and a refused request must do nothing at all.
#include "control/control_api.h"
#include "control/frame_log.h"
#include "station/station.h"

#include "http_client.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

using namespace korvanteslin;
using namespace korvanteslin::test;

namespace {

QJsonObject json(const QByteArray& bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

// A started run in a data folder of its own, the control API over it and a
// recorder among its lines. Its device and the COM ports a request may pick
// lead nowhere: no test reaches a real serial device.
struct Served : FrameLine {
    Served()
    {
        for (const char* name : {"COM2", "COM7"})
            QFile::link(QStringLiteral("/nonexistent/line"), folder.filePath(QLatin1String(name)));
        station.setDataFolder(folder.path());
        station.port().setDeviceOverride(QStringLiteral("/nonexistent/device"));
        station.Form_Load();
        station.Timer1.setInterval(0); // the test builds every frame itself
        station.outlet().addLine(this);
        station.outlet().onSent([this](const OutgoingFrame& f) { log.add(f.bytes, f.weight, f.stable); });
    }
    bool writePiece(const FramePiece& piece) override { return writes.emplace_back(piece.bytes()), true; }

    // The reply, without a socket; status 0 for a poll that has to wait.
    ControlApi::Reply send(const char* method, const QString& target, const QByteArray& body = {})
    {
        HttpRequest request{QLatin1String(method), target.section(QLatin1Char('?'), 0, 0), {}, body};
        for (const QString& pair : target.section(QLatin1Char('?'), 1).split(QLatin1Char('&'), Qt::SkipEmptyParts))
            request.query.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        return api.answer(request).value_or(ControlApi::Reply{0, {}});
    }

    // GET /state, the data folder named alike for every run.
    QJsonObject state() const
    {
        return json(QJsonDocument(api.state()).toJson().replace(folder.path().toUtf8(), "<folder>"));
    }

    // The frames of the next swing, as the terminal built them.
    std::vector<std::string> nextFrames()
    {
        std::vector<std::string> frames;
        for (int i = 0; i < 8; ++i) {
            station.tick();
            frames.push_back(station.terminal().strFrame);
        }
        return frames;
    }

    QTemporaryDir folder;
    Station station;
    std::vector<std::string> writes;
    FrameLog log{msSinceStart};
    ControlApi api{station, log, [] {}};
};

struct Request {
    const char* method;
    const char* target;
    QByteArray body;
};

} // namespace

TEST(ControlApi, EachRequestDoesWhatTheOperatorsActionsDo)
{
    struct Row {
        std::vector<Request> requests;
        std::function<void(Station&)> byHand;
        std::map<QString, QJsonValue> shown; // in GET /state after the next frames, by path
    };
    const Row rows[] = {
        {{{"POST", "/weights", R"({"weight1": "12,5"})"}, {"POST", "/load", R"({"load": "weight1"})"}},
            [](Station& s) { s.typeWeight(0, "12,5"), s.pressLoad(Load::Weight1); },
            {{"weights/weight1", "12,5"}, {"load", "weight1"}}},
        {{{"POST", "/weights", R"({"weight2": "-3.2"})"}, {"POST", "/load", R"({"load": "weight2"})"},
             {"POST", "/load", R"({"load": "takeoff"})"}},
            [](Station& s) { s.typeWeight(1, "-3.2"), s.pressLoad(Load::Weight2), s.pressLoad(Load::TakeOff); },
            {{"weights/weight2", "-3.2"}, {"load", "takeoff"}}},
        {{{"POST", "/model", R"({"model": "ZMR-5"})"}}, [](Station& s) { s.pickModel(2); }, {{"model", "ZMR-5"}}},
        {{{"POST", "/format", R"({"format": "##0.00"})"}}, [](Station& s) { s.pickFormat(2); }, {{"format", "##0.00"}}},
        {{{"POST", "/signals", R"({"tare": true, "overload": true})"}, {"POST", "/signals", R"({"overload": false})"}},
            [](Station& s) { s.setSignal(kSignalTare, 1), s.setSignal(kSignalOverload, 1), s.setSignal(kSignalOverload, 0); },
            {{"signals/tare", true}, {"signals/overload", false}}},
        {{{"POST", "/oscillation", R"({"amplitude": "2,5", "count": "6"})"}, {"POST", "/load", R"({"load": "weight1"})"}},
            [](Station& s) { s.typeText1(1, "2,5"), s.typeText1(2, "6"), s.applyOscillation(), s.pressLoad(Load::Weight1); },
            {{"oscillation/amplitude", "2,5"}, {"oscillation/applied_amplitude", 2.5}, {"oscillation/applied_count", 6}}},
        {{{"POST", "/period", R"({"period_ms": "75"})"}}, [](Station& s) { s.typeText1(0, "75"), s.applyPeriod(); },
            {{"period_ms", 75}}},
        {{{"POST", "/cycle", R"({"max": "5", "period_s": "1", "on": true})"}},
            [](Station& s) { s.typeCycleMax("5"), s.typeCyclePeriod("1"), s.switchCycle(true); },
            {{"cycle/on", true}, {"cycle/max", 5}, {"cycle/period_s", 1}}},
        {{{"POST", "/language", R"({"language": "rus"})"}}, [](Station& s) { s.pickLanguage(1); }, {{"language", "rus"}}},
        // A port number picked ends the device named for the run.
        {{{"POST", "/port", R"({"baud": "1200", "number": "7"})"}},
            [](Station& s) { s.typePortBox(0, "7"), s.typePortBox(1, "1200"), s.pickPortBox(0), s.applyPortBoxes(); },
            {{"port/number", 7}, {"port/device", "<folder>/COM7"}, {"port/settings", "1200,n,8,1"}}},
        {{{"POST", "/faults", R"({"drop": 2, "corrupt": 1, "garbage": "ff 00 aa"})"}},
            [](Station& s) { s.outlet().requestFaults({.drop = 2, .corrupt = 1, .garbage = std::string("\xff\x00\xaa", 3)}); },
            {{"faults/done/dropped", 2}, {"faults/done/corrupted", 1}, {"faults/done/garbage_bytes", 3},
                {"frames_dropped", 2}}},
        {{{"POST", "/cable", R"({"plugged": false})"}}, [](Station& s) { s.plugCable(false); },
            {{"cable/plugged", false}, {"frames_written", 0}}},
        {{{"POST", "/faults", R"({"drop": 20})"}, {"DELETE", "/faults", ""}},
            [](Station& s) { s.outlet().requestFaults({.drop = 20, .garbage = {}}), s.outlet().cancelFaults(); },
            {{"faults/pending/drop", 0}, {"frames_dropped", 0}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.requests[0].target + (" " + row.requests[0].body).toStdString());
        Served remote, local;
        for (const Request& request : row.requests) {
            const ControlApi::Reply reply = remote.send(request.method, QLatin1String(request.target), request.body);
            ASSERT_EQ(reply.status, 200) << reply.json.toStdString();
            EXPECT_EQ(json(reply.json), remote.api.state()) << "the reply is the state it left";
        }
        row.byHand(local.station);
        EXPECT_EQ(remote.nextFrames(), local.nextFrames());
        EXPECT_EQ(remote.writes, local.writes);
        const QJsonObject state = remote.state();
        EXPECT_EQ(state, local.state());
        for (const auto& [path, value] : row.shown) {
            QJsonValue at = state;
            for (const QString& key : path.split(QLatin1Char('/')))
                at = at.toObject().value(key);
            EXPECT_EQ(at, value) << path.toStdString();
        }
    }
}

TEST(ControlApi, ARefusedRequestChangesNothing)
{
    Served remote;
    // Faults pending up to their bounds, which no request may pass.
    ASSERT_EQ(remote.send("POST", "/period", R"({"period_ms": "150"})").status, 200);
    const QByteArray noise = "\"" + QByteArray(2 * 1000, 'A') + "\"";
    ASSERT_EQ(remote.send("POST", "/faults", R"({"drop": 1000000, "corrupt": 1000000, "garbage": )" + noise + "}").status, 200);
    const QJsonObject before = remote.state();
    const auto settingsFile = [&remote] {
        QFile file(remote.folder.filePath(QStringLiteral("Korvanteslin v.1.02.eng")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray saved = settingsFile();
    ASSERT_FALSE(saved.isEmpty());
    struct Row {
        Request request;
        int status;
    };
    const Row rows[] = {
        {{"POST", "/weights", "12.5"}, 400},
        {{"POST", "/weights", "{\"weight1\": \"12.5\""}, 400},
        {{"POST", "/weights", R"({"weight3": "1"})"}, 400},
        {{"POST", "/weights", R"({"weight1": 12.5})"}, 400},
        {{"POST", "/weights", R"({"weight1": "7", "weight2": 2})"}, 400}, // nothing of it is done
        {{"POST", "/weights", "{}"}, 400},
        {{"POST", "/weights", R"({"weight1": "7", "weight1": "8"})"}, 400},
        {{"POST", "/weights", R"({"weight1": "7", "weigh\u00741": "8"})"}, 400},
        {{"POST", "/load", R"({"load": "weight3"})"}, 400},
        {{"POST", "/load", R"({"weight": "weight1"})"}, 400},
        {{"POST", "/signals", R"({"tare": "yes"})"}, 400},
        {{"POST", "/signals", R"({"zero": true})"}, 400}, // the simulator's own signal
        {{"POST", "/model", R"({"model": "ZMR-2"})"}, 400},
        {{"POST", "/model", R"({"model": 2})"}, 400},
        {{"POST", "/format", R"({"format": "#.#"})"}, 400},
        {{"POST", "/cycle", R"({"on": 1})"}, 400},
        {{"POST", "/port", R"({"number": 5})"}, 400},
        {{"POST", "/language", R"({"language": "deu"})"}, 400},
        {{"POST", "/cable", R"({"for_ms": 5})"}, 400},
        {{"POST", "/cable", R"({"plugged": true, "for_ms": 5})"}, 400}, // only a pull lasts a while
        {{"POST", "/faults", R"({"split": 1})"}, 400}, // a split needs its gap
        {{"POST", "/faults", R"({"split": 1, "gap_ms": 151})"}, 400}, // longer than the period
        {{"POST", "/faults", R"({"drop": -1})"}, 400},
        {{"POST", "/faults", R"({"drop": 1.5})"}, 400},
        {{"POST", "/faults", R"({"garbage": "F"})"}, 400},
        {{"POST", "/faults", R"({"split": 1000001, "gap_ms": 1})"}, 400},
        // What the window would replace, clamp, round or ignore without a word.
        {{"POST", "/weights", R"({"weight1": "abc"})"}, 422},
        {{"POST", "/weights", R"({"weight1": "0x10"})"}, 422},
        {{"POST", "/weights", R"({"weight1": ""})"}, 422},
        {{"POST", "/weights", R"({"weight1": "12,5 kg"})"}, 422},
        {{"POST", "/weights", R"({"weight2": "10000"})"}, 422}, // beyond ###0.0
        {{"POST", "/weights", R"({"weight2": "1.25"})"}, 422},  // a decimal the format does not show
        {{"POST", "/oscillation", R"({"amplitude": "a lot"})"}, 422},
        {{"POST", "/oscillation", R"({"count": "2,9"})"}, 422},
        {{"POST", "/period", R"({"period_ms": "0"})"}, 422},
        {{"POST", "/period", R"({"period_ms": "32768"})"}, 422},
        {{"POST", "/period", R"({"period_ms": "abc"})"}, 422},
        {{"POST", "/period", R"({"period_ms": "50.5"})"}, 422},
        {{"POST", "/cycle", R"({"max": "100001"})"}, 422},
        {{"POST", "/cycle", R"({"period_s": "0"})"}, 422},
        {{"POST", "/port", R"({"data_bits": "9"})"}, 422},
        {{"POST", "/port", R"({"number": "0"})"}, 422},
        {{"POST", "/port", R"({"baud": "fast"})"}, 422},
        {{"POST", "/faults", R"({"drop": 1})"}, 422},
        {{"POST", "/faults", R"({"corrupt": 1})"}, 422},
        {{"POST", "/faults", R"({"garbage": "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"})"}, 422},
        {{"GET", "/frames?after=x", ""}, 400},
        {{"GET", "/frames?wait_ms=10001", ""}, 400},
        {{"GET", "/frames?after=-1", ""}, 400},
        {{"GET", "/nowhere", ""}, 404},
        {{"POST", "/state", "{}"}, 405},
        {{"GET", "/load", ""}, 405},
        {{"DELETE", "/weights", ""}, 405},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.request.method) + " " + row.request.target + " " + row.request.body.left(40).toStdString());
        const ControlApi::Reply reply = remote.send(row.request.method, QLatin1String(row.request.target), row.request.body);
        EXPECT_EQ(reply.status, row.status);
        EXPECT_FALSE(json(reply.json).value("error").toString().isEmpty());
        EXPECT_EQ(remote.state(), before);
        EXPECT_EQ(settingsFile(), saved);
    }

    // A refused port choice leaves nothing behind: the next one applies at once.
    EXPECT_EQ(remote.send("POST", "/port", R"({"baud": "4800"})").status, 200);
    EXPECT_EQ(remote.station.port().settings(), "4800,n,8,1");
    EXPECT_EQ(remote.station.Combo1[3], "8");

    // Every refusal is said in the interface language: a rule a value breaks, a body, a path.
    const struct {
        const char* target;
        const char* body;
        const char* english;
        const char* russian;
    } said[] = {
        {"/period", R"({"period_ms": "50.5"})", "period_ms: \"50.5\" is not a whole number from 1 to 32767",
            "period_ms: «50.5» — не целое число от 1 до 32767"},
        {"/weights", R"({"weight3": "1"})", "unknown field \"weight3\"", "неизвестное поле «weight3»"},
        {"/load", R"({"load": 1})", "\"load\" must be a string", "«load» должно быть строкой"},
        {"/nowhere", "{}", "no such path: /nowhere", "нет такого пути: /nowhere"},
    };
    for (const char* language : {"eng", "rus"}) {
        remote.send("POST", "/language", QStringLiteral(R"({"language": "%1"})").arg(QLatin1String(language)).toUtf8());
        for (const auto& row : said) {
            const ControlApi::Reply reply = remote.send("POST", QLatin1String(row.target), row.body);
            EXPECT_EQ(json(reply.json).value("error").toString(),
                QString::fromUtf8(language == std::string("rus") ? row.russian : row.english));
        }
    }
}

// Each waiting poll holds a connection: past the cap a poll that would wait
// is answered at once. The next frame answers those waiting, and frees their places.
TEST(ControlApi, PollsWaitForTheNextFrameAndOnlySoManyAtOnce)
{
    Served run;
    HttpServer server([&run](const HttpRequest& request, HttpResponder responder) { run.api.handle(request, responder); });
    const auto port = std::get<std::uint16_t>(server.listen(QStringLiteral("127.0.0.1"), 0));
    std::vector<std::unique_ptr<Connection>> waiting;
    for (std::size_t i = 0; i < ControlApi::kMostLongPolls; ++i) {
        waiting.push_back(std::make_unique<Connection>(port));
        waiting.back()->send(get("/frames?after=0&wait_ms=10000"));
    }
    ASSERT_TRUE(serveUntil([&] { return run.log.waiting() == ControlApi::kMostLongPolls; }, 20000));
    EXPECT_EQ(run.send("GET", "/frames?wait_ms=10000").status, 503);
    EXPECT_EQ(run.send("GET", "/frames").status, 200);
    EXPECT_EQ(run.send("HEAD", "/state").status, 200);

    // One frame of swing, then the weight itself.
    run.send("POST", "/oscillation", R"({"amplitude": "1", "count": "1"})");
    run.send("POST", "/weights", R"({"weight1": "12.5"})");
    run.send("POST", "/load", R"({"load": "weight1"})");
    run.station.tick();
    const QJsonObject swing = json(serveWhile([&] { return waiting.back()->receive(); }).body);
    EXPECT_EQ(swing.value("last_seq"), 1);
    const QJsonObject first = swing.value("frames").toArray().at(0).toObject();
    EXPECT_EQ(first.value("seq"), 1);
    EXPECT_EQ(first.value("stable"), false);
    EXPECT_GT(first.value("weight").toDouble(), 12.5);
    run.station.tick();
    QJsonObject settled = json(run.send("GET", "/frames?after=1").json).value("frames").toArray().at(0).toObject();
    EXPECT_TRUE(settled.take("t_ms").isDouble());
    EXPECT_EQ(settled, (QJsonObject{{"seq", 2}, {"hex", "02 20 30 30 31 32 2E 35 42 6B 67 0D"}, {"weight", 12.5}, {"stable", true}}));
    EXPECT_EQ(run.send("GET", "/frames?after=2&wait_ms=10000").status, 0) << "it waits";
    EXPECT_EQ(run.send("GET", "/frames?after=0&wait_ms=10000").status, 200) << "its frame is there";
}

// A probe finds the scale ready once its first frame has left.
TEST(ControlApi, HealthIsReadyOnceTheFirstFrameHasLeft)
{
    Served run;
    EXPECT_EQ(run.send("GET", "/health").status, 503);
    run.station.tick();
    EXPECT_EQ(run.send("GET", "/health").status, 200);
    EXPECT_EQ(run.send("POST", "/health").status, 405);
}

// Faults change what leaves, never the simulator's sequence.
TEST(ControlApi, FaultsLeaveTheSimulatorAlone)
{
    Served faulty, plain;
    for (Served* run : {&faulty, &plain}) {
        run->send("POST", "/oscillation", R"({"amplitude": "3", "count": "6"})");
        run->send("POST", "/load", R"({"load": "weight1"})");
    }
    ASSERT_EQ(faulty.send("POST", "/faults", R"({"drop": 2, "corrupt": 1, "garbage": "ff"})").status, 200);
    EXPECT_EQ(faulty.nextFrames(), plain.nextFrames());
    EXPECT_NE(faulty.writes, plain.writes);
}
