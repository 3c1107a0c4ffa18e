// The control API against the real window: each request must do exactly what
// the operator's action does, and a refused request must do nothing at all.
#include "control/control_api.h"
#include "control/frame_log.h"
#include "control/frame_log_timer.h"
#include "control/http_server.h"

#include "http_client.h"
#include "window_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace korvanteslin;
using namespace korvanteslin::test;

namespace {

struct Request {
    QByteArray method, target, body;
    // As the user's tools send it.
    QByteArray raw() const
    {
        return method + " " + target + " HTTP/1.1\r\nHost: " + kHost + "\r\nContent-Type: application/json\r\n"
            + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }
};

// A started window and the control API over its run, also served on a free loopback port.
struct Served {
    explicit Served(bool ticking = false)
        : form(workspace.start(ticking))
    {
        form->outlet().onSent([this](const OutgoingFrame& f) { log.add(f.bytes.toStdString(), f.weight, f.stable); });
        port = std::get<std::uint16_t>(server.listen(QStringLiteral("127.0.0.1"), 0));
    }

    // The reply the API gives, without a socket: what the server sends. A
    // poll that waits gets no reply here (status 0).
    Response send(const Request& request)
    {
        HttpRequest http{QString::fromLatin1(request.method), {}, {}, request.body};
        const QList<QByteArray> parts = request.target.split('?');
        http.path = QString::fromLatin1(parts[0]);
        for (const QString& pair : QString::fromLatin1(parts.value(1)).split(QLatin1Char('&'), Qt::SkipEmptyParts))
            http.query.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        const auto reply = api.answer(http);
        return reply ? Response{reply->status, {}, reply->json} : Response{};
    }

    // Over a connection, for what only the server can show.
    Response sendOverHttp(const Request& request)
    {
        return serveWhile([&] { return Connection(port).exchange(request.raw()); });
    }

    QJsonObject state() const { return api.state(); }

    Workspace workspace;
    std::unique_ptr<Form1> form;
    FrameLog log{msSinceStart};
    FrameLogTimer logTimer{log};
    ControlApi api{form->station(), log, [] {}};
    HttpServer server{[this](const HttpRequest& request, HttpResponder responder) { api.handle(request, responder); }};
    std::uint16_t port = 0;
};

QJsonObject json(const QByteArray& bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

// What a receiver and a reader of the window would compare: the frames of
// the next swing and everything the state shows but the device's own path.
std::vector<std::string> nextFrames(Form1& form)
{
    std::vector<std::string> frames;
    for (int i = 0; i < 8; ++i) {
        form.Timer1_Timer();
        frames.push_back(form.terminal().strFrame);
    }
    return frames;
}

QJsonObject comparable(QJsonObject state)
{
    QJsonObject port = state.value("port").toObject();
    port.remove("device");
    state.insert("port", port);
    return state;
}

} // namespace

TEST(ControlApi, EachRequestDoesWhatTheOperatorsActionDoes)
{
    struct Row {
        const char* name;
        std::vector<Request> requests;
        std::function<void(Form1&)> byHand;
    };
    const std::vector<Row> rows = {
        {"weight typed with a comma, then placed",
            {{"POST", "/weights", R"({"weight1": "12,5 kg"})"}, {"POST", "/load", R"({"load": "weight1"})"}},
            [](Form1& form) {
                typeInto(form, "Text9_0", QStringLiteral("12,5 kg"));
                click(form, "Command1");
            }},
        {"second weight placed, then taken off",
            {{"POST", "/weights", R"({"weight2": "-3.25"})"}, {"POST", "/load", R"({"load": "weight2"})"},
                {"POST", "/load", R"({"load": "takeoff"})"}},
            [](Form1& form) {
                typeInto(form, "Text9_1", QStringLiteral("-3.25"));
                click(form, "Command2");
                click(form, "Command3");
            }},
        {"model", {{"POST", "/model", R"({"model": "ZMR-5"})"}},
            [](Form1& form) { QTest::mouseClick(control<QRadioButton>(form, "Option1_2"), Qt::LeftButton); }},
        {"format", {{"POST", "/format", R"({"format": "##0.00"})"}},
            [](Form1& form) {
                control<QComboBox>(form, "Combo2")->setCurrentIndex(2);
                form.Combo2_Click();
            }},
        {"signals", {{"POST", "/signals", R"({"tare": true, "overload": true})"}},
            [](Form1& form) {
                QTest::mouseClick(control<QCheckBox>(form, "Check1_2"), Qt::LeftButton);
                QTest::mouseClick(control<QCheckBox>(form, "Check1_3"), Qt::LeftButton);
            }},
        {"oscillation",
            {{"POST", "/oscillation", R"({"amplitude": "2,5", "count": "6"})"}, {"POST", "/load", R"({"load": "weight1"})"}},
            [](Form1& form) {
                typeInto(form, "Text1_1", QStringLiteral("2,5"));
                typeInto(form, "Text1_2", QStringLiteral("6"));
                click(form, "Command5");
                click(form, "Command1");
            }},
        {"period", {{"POST", "/period", R"({"period_ms": "75.9"})"}},
            [](Form1& form) {
                typeInto(form, "Text1_0", QStringLiteral("75.9"));
                click(form, "Command4");
            }},
        {"cycle", {{"POST", "/cycle", R"({"max": "5", "period_s": "1", "on": true})"}},
            [](Form1& form) {
                typeInto(form, "Text4", QStringLiteral("5"));
                typeInto(form, "Text7", QStringLiteral("1"));
                QTest::mouseClick(control<QCheckBox>(form, "Check2"), Qt::LeftButton);
            }},
        {"language", {{"POST", "/language", R"({"language": "rus"})"}},
            [](Form1& form) { control<QAction>(form, "mnu_rus")->trigger(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Served remote;
        Workspace local;
        auto form = local.start();
        for (const Request& request : row.requests)
            ASSERT_EQ(remote.send(request).status, 200) << request.target.toStdString();
        row.byHand(*form);
        EXPECT_EQ(nextFrames(*remote.form), nextFrames(*form));
        ControlApi localApi(form->station(), remote.log, [] {});
        EXPECT_EQ(comparable(remote.state()), comparable(localApi.state()));
        EXPECT_EQ(remote.form->settings().intSendPeriod, form->settings().intSendPeriod);
        EXPECT_EQ(remote.form->settings().intLanguage, form->settings().intLanguage);
    }
}

TEST(ControlApi, ARefusedRequestChangesNothing)
{
    Served remote;
    const QJsonObject before = remote.state();
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
        {{"GET", "/frames?after=x", ""}, 400},
        {{"GET", "/frames?wait_ms=10001", ""}, 400},
        {{"GET", "/frames?after=-1", ""}, 400},
        {{"GET", "/nowhere", ""}, 404},
        {{"POST", "/state", "{}"}, 405},
        {{"GET", "/load", ""}, 405},
        {{"DELETE", "/weights", ""}, 405},
        {{"POST", "/weights", R"({"weight1": "7", "weight1": "8"})"}, 400},
        {{"POST", "/weights", R"({"weight1": "7", "weigh\u00741": "8"})"}, 400},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.request.method.toStdString() + " " + row.request.target.left(40).toStdString() + " "
            + row.request.body.left(40).toStdString());
        const Response response = remote.send(row.request);
        EXPECT_EQ(response.status, row.status);
        EXPECT_FALSE(json(response.body).value("error").toString().isEmpty());
        EXPECT_EQ(remote.state(), before);
    }
}

// Each waiting poll holds a connection: past the cap a poll that would wait
// is answered at once, and one that finds its frames still is.
TEST(ControlApi, LongPollsWaitingAtOnceAreCapped)
{
    Served remote;
    std::vector<std::unique_ptr<Connection>> waiting;
    for (std::size_t i = 0; i < ControlApi::kMostLongPolls; ++i) {
        waiting.push_back(std::make_unique<Connection>(remote.port));
        waiting.back()->send(get("/frames?after=999999&wait_ms=10000"));
    }
    ASSERT_TRUE(serveUntil([&] { return remote.log.waiting() == ControlApi::kMostLongPolls; }, 20000));
    EXPECT_EQ(remote.send({"GET", "/frames?after=999999&wait_ms=10000", ""}).status, 503);
    EXPECT_EQ(remote.send({"GET", "/frames?after=999999", ""}).status, 200);
    EXPECT_EQ(remote.send({"HEAD", "/state", ""}).status, 200);

    // Clients that hang up are noticed while they wait, and their places come free.
    waiting.clear();
    int status = 0;
    for (int attempt = 0; attempt < 100 && status != 200; ++attempt) {
        serveUntil([] { return false; }, 20);
        status = remote.sendOverHttp({"GET", "/frames?after=999999&wait_ms=1", ""}).status;
    }
    EXPECT_EQ(status, 200);
}

// A test suite's usual wait: place a load, then follow the frames until the
// first stable one, and read it as the receiving program would.
TEST(ControlApi, ATestSuiteWaitsOnTheFramesForTheStableOneAfterALoad)
{
    Served remote(true);
    ASSERT_EQ(remote.send({"POST", "/period", R"({"period_ms": "10"})"}).status, 200);
    struct Seen {
        std::vector<QJsonObject> frames;
        QString error;
    };
    const Seen seen = serveWhile([port = remote.port] {
        Seen result;
        Connection api(port);
        api.exchange(post("/weights", R"({"weight1": "12.5"})"));
        const qint64 start = json(api.exchange(get("/frames")).body).value("last_seq").toInteger();
        api.exchange(post("/load", R"({"load": "weight1"})"));
        for (qint64 after = start; result.frames.size() < 50;) {
            const QJsonArray frames = json(api.exchange(get("/frames?after=" + QByteArray::number(after) + "&wait_ms=2000")).body)
                                          .value("frames")
                                          .toArray();
            if (frames.isEmpty()) {
                result.error = QStringLiteral("no frame within 2 s");
                break;
            }
            for (const QJsonValue& frame : frames) {
                result.frames.push_back(frame.toObject());
                after = frame.toObject().value("seq").toInteger();
            }
            if (result.frames.back().value("stable").toBool() && result.frames.back().value("weight").toDouble() == 12.5)
                break;
        }
        return result;
    });
    ASSERT_TRUE(seen.error.isEmpty()) << seen.error.toStdString();
    ASSERT_FALSE(seen.frames.empty());
    const QJsonObject stable = seen.frames.back();
    EXPECT_EQ(stable.value("hex").toString(), "02 20 30 30 31 32 2E 35 42 6B 67 0D");
    EXPECT_EQ(stable.value("weight").toDouble(), 12.5);
    // The swing of three frames comes first, each numbered after the one before.
    EXPECT_GE(seen.frames.size(), 4u);
    for (std::size_t i = 1; i < seen.frames.size(); ++i)
        EXPECT_EQ(seen.frames[i].value("seq").toInteger(), seen.frames[i - 1].value("seq").toInteger() + 1);
}

// Faults change what leaves, never the simulator: the weights swing exactly as
// they would have, and the receiving side sees precisely the faults asked for.
TEST(ControlApi, FaultsTouchOnlyTheLinesNotTheSimulatorsSequence)
{
    struct Recorder : FrameLine {
        bool write(const QByteArray& bytes) override
        {
            writes.push_back(bytes);
            return true;
        }
        std::vector<QByteArray> writes;
    } receiver;
    Served remote;
    Workspace local;
    auto reference = local.start();
    remote.form->outlet().addLine(&receiver);
    for (Form1* form : {remote.form.get(), reference.get()}) {
        form->station().typeText1(1, "3");
        form->station().typeText1(2, "6");
        form->station().applyOscillation();
        form->station().pressLoad(Load::Weight1);
    }
    const Response response = remote.send({"POST", "/faults", R"({"drop": 2, "corrupt": 1, "garbage": "ff 00 aa"})"});
    ASSERT_EQ(response.status, 200) << response.body.toStdString();
    EXPECT_EQ(json(response.body).value("faults").toObject().value("pending").toObject().value("drop").toInt(), 2);

    const std::vector<std::string> faulty = nextFrames(*remote.form), expected = nextFrames(*reference);
    EXPECT_EQ(faulty, expected) << "the simulator stepped differently";
    // The noise goes out at the next tick, whose frame is one of the two dropped.
    ASSERT_EQ(receiver.writes.size(), 7u);
    EXPECT_EQ(receiver.writes[0], QByteArray::fromHex("FF00AA"));
    // The one flipped bit is counted in the outlet's own test.
    EXPECT_EQ(receiver.writes[1].size(), qsizetype(expected[2].size()));
    EXPECT_NE(receiver.writes[1].toStdString(), expected[2]);
    for (std::size_t i = 2; i < receiver.writes.size(); ++i)
        EXPECT_EQ(receiver.writes[i].toStdString(), expected[i + 1]);

    const QJsonObject done = remote.state().value("faults").toObject().value("done").toObject();
    EXPECT_EQ(done.value("dropped").toInt(), 2);
    EXPECT_EQ(done.value("corrupted").toInt(), 1);
    EXPECT_EQ(done.value("garbage_bytes").toInt(), 3);
    EXPECT_EQ(remote.state().value("frames_dropped").toInt(), 2);

    EXPECT_EQ(remote.send({"POST", "/faults", R"({"split": 1})"}).status, 400) << "a split needs its gap";
    EXPECT_EQ(remote.send({"POST", "/faults", R"({"split": 1, "gap_ms": 151})"}).status, 400) << "longer than the period";
    EXPECT_EQ(remote.send({"POST", "/faults", R"({"drop": -1})"}).status, 400);
    EXPECT_EQ(remote.send({"POST", "/faults", R"({"drop": 1.5})"}).status, 400);
    EXPECT_EQ(remote.send({"POST", "/faults", R"({"garbage": "F"})"}).status, 400);
    EXPECT_EQ(remote.send({"POST", "/faults", R"({"drop": 5})"}).status, 200);

    // What may be pending is bounded, whatever number of requests ask.
    struct Row {
        const char* body;
        int status;
    };
    const Row bounds[] = {
        {R"({"corrupt": 1000000})", 200},
        {R"({"corrupt": 1})", 422},
        {R"({"drop": 999995})", 200},
        {R"({"drop": 1})", 422},
        {R"({"split": 1000001, "gap_ms": 1})", 400},
    };
    for (const Row& row : bounds)
        EXPECT_EQ(remote.send({"POST", "/faults", row.body}).status, row.status) << row.body;
    const QByteArray noise = "\"" + QByteArray(2 * 1000, 'A') + "\"";
    EXPECT_EQ(remote.send({"POST", "/faults", "{\"garbage\": " + noise + "}"}).status, 200);
    EXPECT_EQ(remote.send({"POST", "/faults", R"({"garbage": "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"})"}).status, 422);
    const QJsonObject pending = remote.state().value("faults").toObject().value("pending").toObject();
    EXPECT_EQ(pending.value("drop").toInt(), 1'000'000);
    EXPECT_EQ(pending.value("corrupt").toInt(), 1'000'000);

    const Response cancelled = remote.send({"DELETE", "/faults", ""});
    EXPECT_EQ(json(cancelled.body).value("faults").toObject().value("pending").toObject().value("drop").toInt(), 0);
}
