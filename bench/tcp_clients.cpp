// Thirty-two TCP clients of the real program at a 1 ms period, one of them stalled.
//
//   tcp_clients PROGRAM [--stall-seconds N] [--receive-buffer BYTES] [--rfc2217]
//
// With --rfc2217 the clients are those of the RFC 2217 server instead, each
// taking the server's opening negotiation and then reading telnet data.
// The program runs headless at a 1 ms period with its frames' TCP server and
// its control API on loopback; COM2 leads to a pseudo-terminal that is read
// all along. Thirty-two clients connect and read; one stops reading for N
// seconds (10 unless told). That one asks for a small receive buffer (4096
// bytes unless told; 0 keeps the system's), so that its window closes early
// in the stall and the program has to drop its frames for most of it; with
// the system's buffer a 10 s stall at a 1 ms period fits in the buffer and
// nothing is dropped. Printed: the share of the frames built meanwhile
// that each of the others received whole, the program's resident memory
// before, during and after the stall, and what the stalled one reads when it
// starts again.

#include <poll.h>
#include <sys/socket.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_args.h"
#include "http_client.h"
#include "line_probe.h"
#include "measured_run.h"
#include "pty_pair.h"

using namespace bench;
using namespace korvanteslin::test;

namespace {

constexpr int kClients = 32;
constexpr std::size_t kFrameLength = 12; // ZMR-1: STX, ten characters, CR

void sleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::uint16_t portAfterLastColon(const std::string& address)
{
    return std::uint16_t(std::atoi(address.substr(address.rfind(':') + 1).c_str()));
}

// GET /state, on a connection of its own.
std::optional<QJsonObject> state(std::uint16_t api)
{
    const Response reply = Connection(api).exchange(get("/state"));
    if (reply.status == 0)
        return std::nullopt;
    return QJsonDocument::fromJson(reply.body).object();
}

qint64 framesBuilt(const QJsonObject& state)
{
    return state.value("frames_built").toInteger();
}

// "tcp" or "rfc2217": the server the clients are of.
QString server = QStringLiteral("tcp");
// What the server says first on each connection: RFC 2217's opening negotiation.
std::size_t openingBytes = 0;

// The program's count of frames a client missed, by the client's local port.
qint64 droppedFor(const QJsonObject& state, std::uint16_t localPort)
{
    const QString peer = QStringLiteral("127.0.0.1:%1").arg(localPort);
    for (const QJsonValue client : state.value(server).toObject().value("clients").toArray())
        if (client.toObject().value("peer").toString() == peer)
            return client.toObject().value("dropped").toInteger();
    return -1;
}

// The clients, read by one thread; each counts the whole frames it got and
// any twelve bytes that are not one. The first one's receive buffer is
// `firstReceiveBuffer` bytes.
class Clients {
public:
    Clients(std::uint16_t port, int count, int firstReceiveBuffer)
    {
        for (int i = 0; i < count; ++i)
            clients_.push_back(std::make_unique<Client>(port, i == 0 ? firstReceiveBuffer : 0));
        thread_ = std::thread([this] { run(); });
    }
    ~Clients()
    {
        stop_ = true;
        thread_.join();
    }

    std::size_t size() const { return clients_.size(); }
    std::size_t frames(std::size_t i) const { return clients_[i]->frames; }
    std::size_t malformed(std::size_t i) const { return clients_[i]->malformed; }
    std::size_t bytes(std::size_t i) const { return clients_[i]->bytes; }
    void setPaused(std::size_t i, bool paused) { clients_[i]->paused = paused; }
    std::uint16_t localPort(std::size_t i) const { return clients_[i]->socket.localPort(); }

private:
    struct Client {
        Client(std::uint16_t port, int receiveBuffer)
            : socket("127.0.0.1", port, receiveBuffer)
        {
        }
        TcpClient socket;
        std::size_t opening = openingBytes; // still to come before the first frame
        std::string partial;
        std::atomic<std::size_t> frames{0};
        std::atomic<std::size_t> malformed{0};
        std::atomic<std::size_t> bytes{0};
        std::atomic<bool> paused{false};
    };

    void run()
    {
        std::vector<pollfd> polled;
        std::vector<Client*> owners;
        char chunk[65536];
        while (!stop_) {
            polled.clear();
            owners.clear();
            for (const auto& client : clients_) {
                if (client->socket.connected() && !client->paused) {
                    polled.push_back({client->socket.descriptor(), POLLIN, 0});
                    owners.push_back(client.get());
                }
            }
            if (::poll(polled.data(), polled.size(), 20) <= 0)
                continue;
            for (std::size_t i = 0; i < polled.size(); ++i) {
                if (!(polled[i].revents & POLLIN))
                    continue;
                const ssize_t n = ::recv(polled[i].fd, chunk, sizeof chunk, MSG_DONTWAIT);
                if (n > 0)
                    take(*owners[i], chunk, std::size_t(n));
            }
        }
    }

    static void take(Client& client, const char* data, std::size_t size)
    {
        client.bytes += size;
        const std::size_t skipped = std::min(client.opening, size);
        client.opening -= skipped;
        client.partial.append(data + skipped, size - skipped);
        std::size_t at = 0;
        for (; at + kFrameLength <= client.partial.size(); at += kFrameLength) {
            if (client.partial[at] == '\x02' && client.partial[at + kFrameLength - 1] == '\r')
                ++client.frames;
            else
                ++client.malformed;
        }
        client.partial.erase(0, at);
    }

    std::vector<std::unique_ptr<Client>> clients_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

int main(int argc, char** argv)
{
    const BenchArgs args(argc, argv, "[--stall-seconds N] [--receive-buffer BYTES] [--rfc2217]", {"--rfc2217"},
        {"--stall-seconds", "--receive-buffer"});
    if (args.flag("--rfc2217")) {
        server = QStringLiteral("rfc2217");
        openingBytes = 12; // WILL and DO for BINARY and SUPPRESS-GO-AHEAD
    }
    const double stallSeconds = args.number("--stall-seconds", 10.0);
    const int receiveBuffer = int(args.number("--receive-buffer", 4096));

    PtyPair line;
    FrameReader serialReader(line.master(), '\r');
    RunOptions options;
    options.periodMs = 1;
    options.harness = false;
    options.device = line.slavePath().toStdString();
    options.extra = {"--headless", "--" + server.toStdString(), "127.0.0.1:0", "--control", "127.0.0.1:0"};
    MeasuredRun run(args.program, options);
    const std::uint16_t tcp = portAfterLastColon(run.lineStartingWith(server.toStdString() + ": "));
    const std::uint16_t api = portAfterLastColon(run.lineStartingWith("control: "));
    if (!tcp || !api) {
        std::fprintf(stderr, "the program never said where its TCP server and API are\n");
        return 1;
    }

    constexpr std::size_t kStalled = 0;
    Clients clients(tcp, kClients, receiveBuffer);
    for (int tries = 0; tries < 100; ++tries) {
        const auto now = state(api);
        if (now && now->value(server).toObject().value("clients").toArray().size() == kClients)
            break;
        sleepSeconds(0.1);
    }
    sleepSeconds(2.0); // start-up behind, frames at their steady rate

    const auto before = state(api);
    const std::int64_t from = monotonicNs();
    std::vector<std::size_t> framesBefore;
    for (std::size_t i = 0; i < clients.size(); ++i)
        framesBefore.push_back(clients.frames(i));
    const long rssBefore = run.memoryKiB();

    clients.setPaused(kStalled, true);
    long rssPeak = rssBefore;
    for (const std::int64_t end = monotonicNs() + std::int64_t(stallSeconds * 1e9); monotonicNs() < end;) {
        sleepSeconds(0.1);
        rssPeak = std::max(rssPeak, run.memoryKiB());
    }

    const auto after = state(api);
    const std::int64_t to = monotonicNs();
    std::vector<std::size_t> framesAfter;
    for (std::size_t i = 0; i < clients.size(); ++i)
        framesAfter.push_back(clients.frames(i));
    const long rssAfter = run.memoryKiB();
    if (!before || !after) {
        std::fprintf(stderr, "GET /state failed\n");
        return 1;
    }

    // The stalled one reads again: what it had waiting, then the frames as they come.
    const std::size_t stalledBytes = clients.bytes(kStalled);
    clients.setPaused(kStalled, false);
    sleepSeconds(0.1);
    const std::size_t burst = clients.bytes(kStalled) - stalledBytes;
    const auto resumed = state(api);
    const std::size_t resumedFrom = clients.frames(kStalled);
    sleepSeconds(2.0);
    const auto later = state(api);
    const std::size_t resumedTo = clients.frames(kStalled);

    const double built = double(framesBuilt(*after) - framesBuilt(*before));
    double worst = 1e9, best = 0;
    std::size_t malformedOthers = 0;
    qint64 droppedOthers = 0;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        if (i == kStalled)
            continue;
        const double share = double(framesAfter[i] - framesBefore[i]) / built;
        worst = std::min(worst, share);
        best = std::max(best, share);
        malformedOthers += clients.malformed(i);
        droppedOthers += droppedFor(*after, clients.localPort(i));
    }
    const double seconds = double(to - from) / 1e9;
    const double resumedShare = double(resumedTo - resumedFrom) / double(framesBuilt(*later) - framesBuilt(*resumed));

    std::printf("32 %s clients at a 1 ms period, one stalled %.0f s (receive buffer asked: %d bytes): "
                "%.0f frames built (%.0f a second)\n",
        server == QLatin1String("tcp") ? "TCP" : "RFC 2217", seconds, receiveBuffer, built, built / seconds);
    std::printf("  the other 31, share of the frames received whole: worst %.5f  best %.5f  "
                "(program's count of frames they missed: %lld, malformed: %zu)\n",
        worst, best, static_cast<long long>(droppedOthers), malformedOthers);
    std::printf("  resident memory: %ld KiB before, %ld KiB peak during, %ld KiB after: %+ld KiB (peak %+ld KiB)\n",
        rssBefore, rssPeak, rssAfter, rssAfter - rssBefore, rssPeak - rssBefore);
    std::printf("  stalled client: %zu frames before it stopped, missed %lld while stalled; on resuming %zu bytes "
                "waiting (%zu frames), then %.5f of the frames built; malformed %zu\n",
        framesBefore[kStalled], static_cast<long long>(droppedFor(*after, clients.localPort(kStalled))), burst,
        burst / kFrameLength, resumedShare, clients.malformed(kStalled));
    const bool met = worst >= 0.999 && rssPeak - rssBefore <= 1024 && rssAfter - rssBefore <= 1024
        && clients.malformed(kStalled) == 0 && malformedOthers == 0;
    std::printf("  targets (others >= 0.999, memory +1 MiB at most, whole frames): %s\n", met ? "met" : "NOT met");
    (void)serialReader;
    return met ? 0 : 1;
}
