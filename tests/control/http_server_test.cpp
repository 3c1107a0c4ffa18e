#include "control/http_server.h"

#include "http_client.h"
#include "qstring_printer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace korvanteslin;

using namespace korvanteslin::test;

namespace {

// A server whose handler notes every request and, unless told to keep it,
// answers at once with the request's body.
struct ServerTest : testing::Test {
    std::vector<HttpRequest> requests;
    std::vector<HttpResponder> kept;
    bool keep = false;
    HttpServer server{[this](const HttpRequest& request, HttpResponder responder) {
        requests.push_back(request);
        if (keep)
            kept.push_back(responder);
        else
            responder.reply(200, request.body.isEmpty() ? QByteArray("{}") : request.body);
    }};
    std::uint16_t port = 0;

    void SetUp() override
    {
        auto listening = server.listen(QStringLiteral("127.0.0.1"), 0);
        ASSERT_TRUE(std::holds_alternative<std::uint16_t>(listening)) << std::get<QString>(listening).toStdString();
        port = std::get<std::uint16_t>(listening);
        ASSERT_NE(port, 0);
        ASSERT_EQ(server.port(), port);
    }
};

} // namespace

TEST_F(ServerTest, HandsTheRequestOverAndSendsTheReply)
{
    struct Row {
        QByteArray request;
        const char* method;
        const char* path;
        QMap<QString, QString> query;
        QByteArray body;
    };
    const QByteArray chunked = "POST /weights HTTP/1.1\r\nHost: {host}\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "6\r\n{\"weig\r\n10\r\nht1\": \"12.5\"}   \r\n0\r\n\r\n";
    const Row rows[] = {
        {get("/state"), "GET", "/state", {}, {}},
        {get("/frames?after=5&wait_ms=100"), "GET", "/frames", {{"after", "5"}, {"wait_ms", "100"}}, {}},
        {get("/frames?after=1&after=2&x=%C3%A9%20y&flag"), "GET", "/frames",
            {{"after", "2"}, {"x", QStringLiteral("\u00e9 y")}, {"flag", ""}}, {}},
        // An escape for NUL is not decoded: the path must not read as "/state".
        {get("/state%00"), "GET", "/state%00", {}, {}},
        {post("/load", R"({"load": "weight1"})"), "POST", "/load", {}, R"({"load": "weight1"})"},
        {chunked, "POST", "/weights", {}, R"({"weight1": "12.5"}   )"},
        {"DELETE /state HTTP/1.1\r\nHost: {host}\r\nContent-Type: application/json\r\n\r\n", "DELETE", "/state", {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.request.toStdString());
        requests.clear();
        const Response response = serveWhile([&] { return Connection(port).exchange(row.request); });
        EXPECT_EQ(response.status, 200);
        EXPECT_TRUE(response.head.contains("Content-Type: application/json")) << response.head.toStdString();
        EXPECT_EQ(response.body, row.body.isEmpty() ? QByteArray("{}") : row.body);
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].method, QString::fromUtf8(row.method));
        EXPECT_EQ(requests[0].path, QString::fromUtf8(row.path));
        EXPECT_EQ(requests[0].query, row.query);
        EXPECT_EQ(requests[0].body, row.body);
    }
}

TEST_F(ServerTest, RefusesBodiesOverTheLimitWithoutReadingThem)
{
    struct Row {
        const char* name;
        QByteArray request;
        int status;
        bool handled;
    };
    const QByteArray atLimit(qsizetype(HttpServer::kMaxBody), 'x');
    QByteArray chunkedOver = "POST /load HTTP/1.1\r\nHost: {host}\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 17; ++i)
        chunkedOver += "1000\r\n" + QByteArray(0x1000, 'y') + "\r\n";
    chunkedOver += "0\r\n\r\n";
    const Row rows[] = {
        {"at the limit", post("/load", atLimit), 200, true},
        // Only the head is sent: the answer comes without waiting for the body.
        {"announced over the limit",
            "POST /load HTTP/1.1\r\nHost: {host}\r\nContent-Type: application/json\r\nContent-Length: 65537\r\n\r\n", 413, false},
        {"announced far over the limit",
            "POST /load HTTP/1.1\r\nHost: {host}\r\nContent-Type: application/json\r\nContent-Length: 99999999999\r\n\r\n", 413, false},
        {"chunked over the limit", chunkedOver, 413, false},
        // The head alone decides: a page's request is refused before its body comes.
        {"from a web page",
            "POST /load HTTP/1.1\r\nHost: {host}\r\nOrigin: http://evil.example\r\nContent-Type: application/json\r\n"
            "Content-Length: 10\r\n\r\n",
            403, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        requests.clear();
        const Response response = serveWhile([&] { return Connection(port).exchange(row.request); });
        EXPECT_EQ(response.status, row.status);
        EXPECT_EQ(requests.size(), row.handled ? 1u : 0u);
        if (row.handled) {
            EXPECT_EQ(requests[0].body.size(), atLimit.size());
        } else if (row.status == 413) {
            EXPECT_EQ(response.body, R"({"error": "the body is larger than 65536 bytes"})");
        }
    }
}

TEST_F(ServerTest, AnswersALongPollWhenTheReplyIsGivenLater)
{
    keep = true;
    std::thread client;
    Response response;
    client = std::thread([&] { response = Connection(port).exchange(get("/frames?after=0&wait_ms=5000")); });
    ASSERT_TRUE(serveUntil([&] { return kept.size() == 1; }));
    // Meanwhile the server goes on serving others.
    keep = false;
    EXPECT_EQ(serveWhile([&] { return Connection(port).exchange(get("/state")).status; }), 200);

    QElapsedTimer held;
    held.start();
    QTimer::singleShot(50, [&] { kept[0].reply(200, R"({"frames": []})"); });
    ASSERT_TRUE(serveUntil([&] { return kept[0].replied(); }));
    kept[0].reply(500, "{}"); // only the first reply counts
    QEventLoop loop;
    std::thread waiter([&] {
        client.join();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    waiter.join();
    EXPECT_GE(held.elapsed(), 50);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, R"({"frames": []})");
}

TEST_F(ServerTest, SurvivesClientsThatLeaveWhileWaiting)
{
    keep = true;
    // Three clients ask and hang up at once.
    serveWhile([&] {
        for (int i = 0; i < 3; ++i)
            Connection(port).send(get("/frames?after=9&wait_ms=10000"));
        return 0;
    });
    ASSERT_TRUE(serveUntil([&] { return kept.size() == 3; }));
    kept[0].reply(200, "{}");
    kept.erase(kept.begin() + 1); // the last copy goes without a reply
    // The server meets the two gone clients as it serves the next one.

    keep = false;
    const Response after = serveWhile([&] { return Connection(port).exchange(get("/state")); });
    EXPECT_EQ(after.status, 200);
    // The last one is still unanswered as the server ends with it suspended,
    // and its responder outlives the server.
}

TEST_F(ServerTest, HeadGetsTheHeadOfTheReplyAndNothingMore)
{
    const auto [head, next] = serveWhile([&] {
        Connection connection(port);
        const Response first = connection.exchange(QByteArray("HEAD /state HTTP/1.1\r\nHost: ") + kHost + "\r\n\r\n");
        return std::pair{first, connection.exchange(post("/load", "{}"))};
    });
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.head.contains("Content-Length: 2")) << head.head.toStdString();
    // Had a body followed the head, it would stand before this reply.
    EXPECT_EQ(next.status, 200);
    EXPECT_EQ(next.body, "{}");
}

// At its limit the server leaves newcomers in the kernel's queue; it takes
// them in as soon as enough clients have gone, however they went.
TEST(HttpServer, AcceptsAgainOnceBelowItsConnectionLimit)
{
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit few{256 + 32, saved.rlim_max}; // 32 connections at most
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    HttpServer server([](const HttpRequest&, HttpResponder responder) { responder.reply(200, "{}"); });
    const auto listening = server.listen(QStringLiteral("127.0.0.1"), 0);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    const auto port = std::get<std::uint16_t>(listening);

    serveWhile([&] {
        for (int i = 0; i < 100; ++i)
            Connection(port).send("GET /sta");
        return 0;
    });
    EXPECT_EQ(serveWhile([&] { return Connection(port).exchange(get("/state")).status; }), 200);
}

// A client may send its request and then its end of the stream, and read the
// reply at leisure: a reply larger than the kernel holds is still sent whole.
TEST(HttpServer, AClientThatHalfClosesGetsItsWholeReply)
{
    const QByteArray big(4 * 1024 * 1024, 'x');
    HttpServer server([&](const HttpRequest&, HttpResponder responder) { responder.reply(200, big); });
    const auto port = std::get<std::uint16_t>(server.listen(QStringLiteral("127.0.0.1"), 0));
    const Response response = serveWhile([&] {
        Connection connection(port);
        connection.send(get("/state"));
        connection.finishSending();
        std::this_thread::sleep_for(std::chrono::milliseconds(700)); // the server looks for gone clients meanwhile
        return connection.receive();
    });
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body.size(), big.size());
}

TEST(HttpServer, HandlerThatForgetsToAnswerGivesA500)
{
    HttpServer server([](const HttpRequest&, HttpResponder) {});
    const auto port = std::get<std::uint16_t>(server.listen(QStringLiteral("127.0.0.1"), 0));
    const Response response = serveWhile([&] { return Connection(port).exchange(get("/state")); });
    EXPECT_EQ(response.status, 500);
    EXPECT_EQ(response.body, R"({"error": "the request was left unanswered"})");
}

TEST_F(ServerTest, ManyRequestsInARowOnOneConnectionAndOnNewOnes)
{
    const auto [sameConnection, slowest] = serveWhile([&] {
        Connection connection(port);
        int ok = 0;
        qint64 slowestUs = 0;
        for (int i = 0; i < 300; ++i) {
            const QByteArray body = QByteArray::number(i);
            QElapsedTimer roundTrip;
            roundTrip.start();
            const Response response = connection.exchange(post("/weights", body));
            slowestUs = std::max(slowestUs, roundTrip.nsecsElapsed() / 1000);
            ok += response.status == 200 && response.body == body;
        }
        return std::pair{ok, slowestUs};
    });
    EXPECT_EQ(sameConnection, 300);
    // A reply leaves in the pass that handled the request, not after a timer.
    EXPECT_LT(slowest, 200'000);

    const int newConnections = serveWhile([&] {
        int ok = 0;
        for (int i = 0; i < 100; ++i)
            ok += Connection(port).exchange(get("/state")).status == 200;
        return ok;
    });
    EXPECT_EQ(newConnections, 100);
    EXPECT_EQ(requests.size(), 400u);
}

TEST(HttpServer, ListensOnLoopbackAndSaysWhyNot)
{
    HttpServer first([](const HttpRequest&, HttpResponder responder) { responder.reply(200, "{}"); });
    const auto port = std::get<std::uint16_t>(first.listen(QStringLiteral("127.0.0.1"), 0));

    HttpServer second([](const HttpRequest&, HttpResponder) {});
    const auto taken = second.listen(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(std::holds_alternative<QString>(taken));
    EXPECT_TRUE(std::get<QString>(taken).startsWith(QStringLiteral("The control API cannot listen on 127.0.0.1:%1: ").arg(port)))
        << std::get<QString>(taken).toStdString();
    EXPECT_TRUE(std::get<QString>(taken).contains(QStringLiteral("in use"))) << std::get<QString>(taken).toStdString();

    // Once listening, a second listen is refused and the first keeps serving.
    const auto again = first.listen(QStringLiteral("127.0.0.1"), 0);
    EXPECT_TRUE(std::holds_alternative<QString>(again));
    EXPECT_EQ(serveWhile([&] { return Connection(port).exchange(get("/")).status; }), 200);

    HttpServer ipv6([](const HttpRequest&, HttpResponder) {});
    const auto onIpv6 = ipv6.listen(QStringLiteral("::1"), 0);
    if (auto* error = std::get_if<QString>(&onIpv6))
        EXPECT_TRUE(error->startsWith(QStringLiteral("The control API cannot listen on [::1]:0: ")));
    else
        EXPECT_NE(std::get<std::uint16_t>(onIpv6), 0);
}
