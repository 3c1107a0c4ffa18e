#include "serial/tcp_frame_server.h"
#include "serial/telnet_session.h"

#include "http_client.h"
#include "line_helpers.h"
#include "qstring_printer.h"
#include "tcp_client.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

using namespace korvanteslin;
using namespace korvanteslin::test;

namespace {

struct Listening {
    Listening(const QString& address = QStringLiteral("127.0.0.1"))
    {
        const auto listened = server.listen(address, 0);
        if (const auto* refusal = std::get_if<ShellMessage>(&listened))
            ADD_FAILURE() << wordMessage(*refusal, Language::English);
        else
            port = std::get<std::uint16_t>(listened);
    }
    // Serves until `count` clients are taken in.
    bool holds(std::size_t count)
    {
        return serveUntil([&] { return server.clients().size() == count; });
    }

    std::vector<ShellMessage> notes;
    TcpFrameServer server{[this](const ShellMessage& note) { notes.push_back(note); }};
    std::uint16_t port = 0;
};

} // namespace

TEST(TcpFrameServer, EveryClientGetsEveryFrameWhateverItSendsAndLeavesWhenItCloses)
{
    Listening tcp;
    EXPECT_FALSE(tcp.server.write(sv(frame(0)))) << "nobody took it";
    TcpClient first("127.0.0.1", tcp.port), second("127.0.0.1", tcp.port);
    ASSERT_TRUE(tcp.holds(2));

    for (int n = 1; n <= 300; ++n) {
        EXPECT_TRUE(tcp.server.write(sv(frame(n))));
        if (n % 50 == 0)
            QCoreApplication::processEvents();
    }
    const QByteArray sent = framesFrom(1, 300);
    EXPECT_TRUE(serveUntil([&] {
        first.read();
        second.read();
        return first.received.size() >= sent.size() && second.received.size() >= sent.size();
    }));
    EXPECT_EQ(first.received, sent);
    EXPECT_EQ(second.received, sent);
    const auto clients = tcp.server.clients();
    ASSERT_EQ(clients.size(), 2u);
    EXPECT_EQ(clients[0].peer, QStringLiteral("127.0.0.1:%1").arg(first.localPort()));
    EXPECT_EQ(clients[1].peer, QStringLiteral("127.0.0.1:%1").arg(second.localPort()));
    EXPECT_EQ(clients[0].frames, 300u);

    // What a client sends is read and thrown away: more than the kernel's
    // buffers on both sides hold goes only if the server reads.
    const QByteArray chunk(64 * 1024, 'x');
    qint64 total = 0;
    EXPECT_TRUE(serveUntil([&] {
        for (qint64 took = chunk.size(); total < 24 * 1024 * 1024 && took == chunk.size(); total += took)
            took = second.send(chunk);
        return total >= 24 * 1024 * 1024;
    }, 20000)) << total << " bytes went";

    // Then it half-closes: it has sent all it will, and still reads every frame.
    second.finishSending();
    QTest::qWait(100); // the server has seen the end of its stream
    EXPECT_TRUE(tcp.server.write(sv(frame(301))));
    EXPECT_TRUE(serveUntil([&] { return second.read(), second.received == sent + frame(301); }));

    // One goes away for good: the frames that meet its reset end it, and the
    // other carries on alone.
    const QString stays = clients[1].peer;
    first.close();
    int n = 302;
    EXPECT_TRUE(serveUntil([&] { return tcp.server.write(sv(frame(n++))), tcp.server.clients().size() == 1; }));
    EXPECT_EQ(tcp.server.clients()[0].peer, stays);
    EXPECT_TRUE(serveUntil([&] { return second.read(), second.received == framesFrom(1, n - 1); }));
    EXPECT_FALSE(second.ended);
}

// A frame paced byte by byte: a client that comes while it leaves gets none
// of it, only the frames that start after it came.
TEST(TcpFrameServer, AClientThatComesWhileAFrameLeavesInPiecesGetsTheNextOneWhole)
{
    Listening tcp;
    TcpClient first("127.0.0.1", tcp.port);
    ASSERT_TRUE(tcp.holds(1));
    const QByteArray one = frame(1);
    const std::string_view whole = sv(one);
    EXPECT_TRUE(tcp.server.writePiece({whole, 0, 5}));
    TcpClient late("127.0.0.1", tcp.port);
    ASSERT_TRUE(tcp.holds(2));
    EXPECT_TRUE(tcp.server.writePiece({whole, 5, whole.size()}));
    EXPECT_TRUE(tcp.server.write(sv(frame(2))));
    EXPECT_TRUE(serveUntil([&] { return first.read(), late.read(), first.received.size() == 24 && late.received.size() == 12; }));
    EXPECT_EQ(first.received, framesFrom(1, 2));
    EXPECT_EQ(late.received, frame(2));
}

TEST(TcpFrameServer, AStalledClientLosesWholeFramesAndTheOthersLoseNone)
{
    Listening tcp;
    TcpClient reader("127.0.0.1", tcp.port);
    TcpClient stalled("127.0.0.1", tcp.port, 2048);
    ASSERT_TRUE(tcp.holds(2));

    // Frames as fast as they can be made, until the stalled client's window
    // has been full for a good while.
    int sent = 0;
    while (tcp.server.clients()[1].dropped < 2000 && sent < 1'000'000) {
        tcp.server.write(sv(frame(sent++)));
        reader.read();
        if (sent % 64 == 0)
            QCoreApplication::processEvents();
    }
    ASSERT_GE(tcp.server.clients()[1].dropped, 2000u);
    EXPECT_TRUE(serveUntil([&] { return reader.read(), reader.received.size() >= 12 * sent; }));
    EXPECT_EQ(reader.received, framesFrom(0, sent)) << "the reading client missed a frame";
    EXPECT_EQ(tcp.server.clients()[0].dropped, 0u);

    // Reading again, the stalled client finds whole frames, in order, and no
    // older backlog than its own receive buffer and a few frames more held.
    const quint64 handed = tcp.server.clients()[1].frames;
    EXPECT_EQ(handed + tcp.server.clients()[1].dropped, quint64(sent));
    EXPECT_TRUE(serveUntil([&] { return stalled.read(), stalled.received.size() >= qsizetype(12 * handed); }));
    EXPECT_EQ(stalled.received.size(), qsizetype(12 * handed));
    EXPECT_TRUE(wholeFrames(stalled.received)) << stalled.received.left(120).toHex(' ').toStdString();
    for (qsizetype at = 12; at < stalled.received.size(); at += 12)
        ASSERT_LT(stalled.received.mid(at - 11, 7).toInt(), stalled.received.mid(at + 1, 7).toInt()) << "in order, none twice";
    EXPECT_LE(stalled.received.size(), 16 * 1024) << "a stale backlog was kept for it";

    // And it keeps up again from the next frame on.
    for (int n = 0; n < 5; ++n)
        EXPECT_TRUE(tcp.server.write(sv(frame(sent++))));
    EXPECT_TRUE(serveUntil([&] { return stalled.read(), stalled.received.endsWith(framesFrom(sent - 5, 5)); }));
}

TEST(TcpFrameServer, TheThirtyThirdClientIsClosedAtOnceAndTheOthersGoOn)
{
    Listening tcp;
    std::vector<std::unique_ptr<TcpClient>> clients;
    for (int i = 0; i < TcpFrameServer::kMaxClients; ++i)
        clients.push_back(std::make_unique<TcpClient>("127.0.0.1", tcp.port));
    ASSERT_TRUE(tcp.holds(32));

    TcpClient extra("127.0.0.1", tcp.port);
    EXPECT_TRUE(serveUntil([&] { return extra.read(), extra.ended; }));
    EXPECT_EQ(tcp.server.clients().size(), 32u);
    const std::string peer = QStringLiteral("127.0.0.1:%1").arg(extra.localPort()).toStdString();
    EXPECT_EQ(tcp.notes, std::vector{countAt(MessageId::TcpClientRefused, peer, TcpFrameServer::kMaxClients)});

    EXPECT_TRUE(tcp.server.write(sv(frame(1))));
    EXPECT_TRUE(serveUntil([&] {
        return std::all_of(clients.begin(), clients.end(), [](auto& client) { return client->read(), client->received == frame(1); });
    }));

    // A client that has closed, even before any frame could tell, never
    // keeps a newcomer out: its place is taken by the next one.
    clients.pop_back();
    TcpClient next("127.0.0.1", tcp.port);
    const QString newcomer = QStringLiteral("127.0.0.1:%1").arg(next.localPort());
    ASSERT_TRUE(serveUntil([&] {
        const auto held = tcp.server.clients();
        return std::any_of(held.begin(), held.end(), [&](const auto& client) { return client.peer == newcomer; });
    }));
    EXPECT_TRUE(tcp.server.write(sv(frame(2))));
    EXPECT_TRUE(serveUntil([&] { return next.read(), next.received == frame(2); }));
}

TEST(TcpFrameServer, ListensOnlyWhereItIsTold)
{
    const struct {
        const char* address;
        bool loopbackOne; // 127.0.0.1 reaches it
        bool loopbackTwo; // 127.0.0.2 reaches it
    } rows[] = {
        {"127.0.0.1", true, false},
        {"127.0.0.2", false, true},
        {"0.0.0.0", true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.address);
        Listening tcp{QLatin1String(row.address)};
        EXPECT_EQ(tcp.server.address(), QStringLiteral("%1:%2").arg(QLatin1String(row.address)).arg(tcp.port));
        EXPECT_EQ(TcpClient("127.0.0.1", tcp.port).connected(), row.loopbackOne);
        EXPECT_EQ(TcpClient("127.0.0.2", tcp.port).connected(), row.loopbackTwo);
    }

    Listening taken;
    TcpFrameServer second([](const ShellMessage&) {});
    const auto refused = second.listen(QStringLiteral("127.0.0.1"), taken.port);
    const std::string where = QStringLiteral("127.0.0.1:%1").arg(taken.port).toStdString();
    EXPECT_EQ(std::get<ShellMessage>(refused), failureAt(MessageId::TcpCannotListen, where, EADDRINUSE));
}

// An RFC 2217 client as a serial library opens one: it takes the options,
// sets its line, and reads frames with 0xFF doubled, as telnet data carries it.
TEST(TcpFrameServer, AnRfc2217ClientSetsItsOwnLineAndReadsEscapedFrames)
{
    std::vector<ShellMessage> notes;
    TcpFrameServer server([&](const ShellMessage& note) { notes.push_back(note); },
        [] { return std::make_unique<TelnetSession>(); });
    const std::uint16_t port = std::get<std::uint16_t>(server.listen(QStringLiteral("127.0.0.1"), 0));
    TcpClient client("127.0.0.1", port);
    const auto answered = [&](const QByteArray& expected) {
        return serveUntil([&] { return client.read(), client.received.endsWith(expected); });
    };
    const auto hex = [](const char* text) { return QByteArray::fromHex(text); };
    EXPECT_TRUE(answered(hex("fffb00 fffd00 fffb03 fffd03"))) << "binary, no go-ahead";

    client.send(hex("fffb2c"));
    EXPECT_TRUE(answered(hex("fffd2c fffa2c6bb0fff0"))) << "the option taken, the modem lines told";
    client.send(hex("fffa2c01000012c0fff0 fffa2c0303fff0")); // 4800 baud, even parity
    EXPECT_TRUE(answered(hex("fffa2c65000012c0fff0 fffa2c6703fff0")));
    ASSERT_EQ(server.clients().size(), 1u);
    EXPECT_EQ(formatPortSettings(*server.clients()[0].reader), "4800,e,8,1");

    client.received.clear();
    EXPECT_TRUE(server.write("\x02\xFF\x01\r"));
    EXPECT_TRUE(answered(QByteArray("\x02\xFF\xFF\x01\r")));
    client.send(hex("fffa2c08fff0")); // suspend: no data until resumed
    ASSERT_TRUE(serveUntil([&] { return !server.write("\x02\r"); }));
    client.send(hex("fffa2c09fff0"));
    ASSERT_TRUE(serveUntil([&] { return server.write("\x02\r"); }));
    EXPECT_GE(server.clients()[0].dropped, 1u);
    EXPECT_TRUE(notes.empty());

    // Strict: a client at twice the port's speed takes 0x02 as 0x18 with its
    // stop bit low, told first when its mask asks for framing errors.
    PortSettings nineSix;
    server.setPortLine([&nineSix]() -> const PortSettings& { return nineSix; }, true);
    client.send(hex("fffa2c0100004b00fff0 fffa2c0a08fff0 fffa2c0300fff0")); // 19200 baud, mask, parity asked
    ASSERT_TRUE(answered(hex("fffa2c6e08fff0 fffa2c6703fff0"))); // the mask, and still even parity
    client.received.clear();
    EXPECT_TRUE(server.write("\x02"));
    EXPECT_TRUE(answered(hex("fffa2c6a08fff0 18")));
    // Byte by byte, each piece hands over only the characters it completes.
    client.received.clear();
    const auto exactly = [&](const QByteArray& expected) {
        return serveUntil([&] { return client.read(), client.received == expected; });
    };
    EXPECT_TRUE(server.writePiece({"\x02\x02", 0, 1}));
    EXPECT_TRUE(exactly(hex("fffa2c6a08fff0 18")));
    EXPECT_TRUE(server.writePiece({"\x02\x02", 1, 2}));
    EXPECT_TRUE(exactly(hex("fffa2c6a08fff0 18 fffa2c6a08fff0 18")));
    ASSERT_EQ(notes.size(), 1u) << "once, for the setting made while the port's line was known";
    EXPECT_EQ(notes[0].detail, "19200,e,8,1");

    // The port's settings change: a client still set otherwise is noted again.
    nineSix.baudRate = 19200;
    nineSix.parity = Parity::Even;
    server.portLineChanged();
    EXPECT_EQ(notes.size(), 1u) << "now alike";
    nineSix.baudRate = 4800;
    server.portLineChanged();
    EXPECT_EQ(notes.size(), 2u);
}

// The cable pulled: raw clients lose the connection and newcomers are turned
// away; RFC 2217 clients stay and see DSR, CTS and CD drop, then come back.
TEST(TcpFrameServer, APulledCableEndsRawClientsAndDropsTheModemLinesOfRfc2217Ones)
{
    Listening raw;
    TcpFrameServer rfc2217([](const ShellMessage&) {}, [] { return std::make_unique<TelnetSession>(); });
    const std::uint16_t port = std::get<std::uint16_t>(rfc2217.listen(QStringLiteral("127.0.0.1"), 0));
    TcpClient plain("127.0.0.1", raw.port), telnet("127.0.0.1", port);
    ASSERT_TRUE(raw.holds(1));
    ASSERT_TRUE(serveUntil([&] { return rfc2217.clients().size() == 1; }));
    telnet.send(QByteArray::fromHex("fffb2c")); // takes COM-PORT-OPTION
    ASSERT_TRUE(serveUntil([&] { return telnet.read(), telnet.received.endsWith(QByteArray::fromHex("fffa2c6bb0fff0")); }));

    raw.server.setPlugged(false);
    rfc2217.setPlugged(false);
    EXPECT_TRUE(serveUntil([&] { return plain.read(), plain.ended; })) << "disconnected";
    TcpClient late("127.0.0.1", raw.port);
    EXPECT_TRUE(serveUntil([&] { return late.read(), late.ended; })) << "turned away";
    // All three lines down, each marked as changed.
    EXPECT_TRUE(serveUntil([&] { return telnet.read(), telnet.received.endsWith(QByteArray::fromHex("fffa2c6b0bfff0")); }));

    raw.server.setPlugged(true);
    rfc2217.setPlugged(true);
    EXPECT_TRUE(serveUntil([&] { return telnet.read(), telnet.received.endsWith(QByteArray::fromHex("fffa2c6bbbfff0")); }));
    TcpClient back("127.0.0.1", raw.port);
    EXPECT_TRUE(raw.holds(1));
    EXPECT_EQ(rfc2217.clients().size(), 1u) << "stayed connected throughout";
}
