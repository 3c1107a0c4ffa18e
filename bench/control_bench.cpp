// What the control API and the headless start cost a test harness, measured
// on the real program from the receiving side.
//
//   control_bench PROGRAM [--quick] [--only state|siege|load|poll|start] [--state-period MS]
//
// Every figure is taken in this process on CLOCK_MONOTONIC: when a request
// went out and its reply came back (a kept-alive connection, as a test
// suite's session keeps one), and when each frame arrived on the program's
// virtual port (one reader thread, timestamping every read).

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_args.h"
#include "line_probe.h"
#include "report.h"
#include "stats.h"
#include "watched_scale.h"

using namespace bench;
using namespace korvanteslin::test;

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

void sleepMs(double milliseconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(milliseconds));
}

QJsonObject jsonOf(const Response& reply)
{
    return QJsonDocument::fromJson(reply.body).object();
}

using Scale = WatchedScale;

// The weight a ZMR-1 frame carries: sign, then six characters of magnitude.
double weightOf(const std::string& frame)
{
    if (frame.size() < 8)
        return NAN;
    const double magnitude = std::atof(frame.substr(2, 6).c_str());
    return frame[1] == '-' ? -magnitude : magnitude;
}

// Clients that hold the API's connections while a harness works: long polls
// that wait for a frame far ahead, and connections that send nothing. Both
// end within the API's 10 s, so a measurement under them stays shorter.
class Siege {
public:
    Siege(std::uint16_t port, int polls, int idle)
    {
        for (int i = 0; i < polls + idle; ++i) {
            held_.push_back(std::make_unique<Connection>(port));
            if (!held_.back()->connected())
                throw std::runtime_error(std::string("siege: ") + std::strerror(errno));
            if (i < polls)
                held_.back()->send(get("/frames?after=999999999&wait_ms=10000"));
        }
    }

private:
    std::vector<std::unique_ptr<Connection>> held_;
};

// Round trips on a kept connection, and (every fifth, interleaved so both
// meet the same load) on a new connection each, as a shell's curl makes.
// Under siege, other clients hold 500 long polls and 1,000 idle connections meanwhile.
void stateRoundTrip(const std::string& program, bool quick, int periodMs, bool siege, Report& report)
{
    std::fprintf(stderr, "GET /state at a %d ms period%s (%s)\n", periodMs,
        siege ? ", 500 long polls and 1000 idle connections held" : "", loadAverage().c_str());
    RunOptions options;
    options.periodMs = periodMs;
    Scale scale(program, options);
    sleepMs(1000);
    std::optional<Siege> held;
    if (siege) {
        held.emplace(scale.run.controlPort(), 500, 1000);
        sleepMs(500);
    }
    const int count = quick || siege ? 500 : 3000;
    std::vector<double> kept, fresh;
    const std::int64_t from = monotonicNs();
    for (int i = 0; i < count; ++i) {
        const Response reply = scale.http.request(get("/state"));
        expectOk(reply, "GET /state");
        kept.push_back(ms(reply.received - reply.sent));
        sleepMs(1); // a harness between two looks, at every phase of the tick
        if (i % 5 == 0) {
            const Response again = scale.http.request(get("/state"), true);
            fresh.push_back(ms(again.received - again.sent));
            sleepMs(1);
        }
    }
    const std::int64_t to = monotonicNs();
    const double rate = rateRatio(arrivalsOf(scale.frames()), from, to, std::int64_t(periodMs) * 1'000'000);
    const double p99 = percentile(kept, 0.99);
    report.add(format("GET /state round trip p99, sending at %d ms%s", periodMs,
                   siege ? ", 500 long polls and 1000 idle connections held" : ""),
        "<= 2 ms",
        format("%.3f ms (median %.3f, max %.3f; n=%d; frames meanwhile %.4f of the rate; "
               "new connection each time: p99 %.3f ms)",
            p99, percentile(kept, 0.5), percentile(kept, 1.0), count, rate, percentile(fresh, 0.99)),
        p99 <= 2.0);
}

void loadToSwing(const std::string& program, bool quick, Report& report)
{
    std::fprintf(stderr, "POST /load to the swing at 150 ms (%s)\n", loadAverage().c_str());
    constexpr int kPeriodMs = 150;
    RunOptions options;
    options.periodMs = kPeriodMs;
    Scale scale(program, options);
    expectOk(scale.http.request(post("/weights", R"({"weight1": "10", "weight2": "20"})")), "POST /weights");
    expectOk(scale.http.request(post("/oscillation", R"({"amplitude": "1", "count": "3"})")), "POST /oscillation");
    expectOk(scale.http.request(post("/load", R"({"load": "weight1"})")), "POST /load");
    std::mt19937 random(12);
    std::uniform_real_distribution<double> phase(0.0, kPeriodMs);
    const int loads = quick ? 16 : 50;
    std::vector<double> latencies;
    int nextTick = 0, onTarget = 0;
    for (int i = 0; i < loads; ++i) {
        // The swing before is over (three frames), and the request lands anywhere in a period.
        sleepMs(4 * kPeriodMs + phase(random));
        auto frames = scale.frames();
        if (frames.size() < 2 || frames.back().bytes != frames[frames.size() - 2].bytes) {
            --i;
            continue;
        }
        const std::string steady = frames.back().bytes;
        const bool second = i % 2 == 0;
        const Response reply = scale.http.request(post("/load", second ? R"({"load": "weight2"})" : R"({"load": "weight1"})"));
        expectOk(reply, "POST /load");
        const ReceivedFrame* swing = nullptr;
        bool oldAfterReply = false;
        for (const std::int64_t until = monotonicNs() + 2 * kSecond; !swing && monotonicNs() < until;) {
            scale.watch.waitForMore(scale.line, scale.watch.chunkCount(scale.line), 50'000'000);
            frames = scale.frames();
            oldAfterReply = false;
            for (const auto& frame : frames) {
                if (frame.last <= reply.sent)
                    continue;
                if (frame.bytes != steady) {
                    swing = &frame;
                    break;
                }
                oldAfterReply = oldAfterReply || frame.last > reply.received;
            }
            if (swing) {
                latencies.push_back(ms(swing->last - reply.sent));
                nextTick += !oldAfterReply;
                onTarget += std::fabs(weightOf(swing->bytes) - (second ? 20.0 : 10.0)) <= 1.0;
            }
        }
        if (!swing)
            throw std::runtime_error("no swing after POST /load");
    }
    const double p99 = percentile(latencies, 0.99);
    report.add("POST /load to the first frame of the swing, 150 ms, p99", "<= 152 ms",
        format("%.2f ms (median %.2f, max %.2f; n=%d; on the first tick after the reply: %d/%d; "
               "weight within the swing: %d/%d)",
            p99, percentile(latencies, 0.5), percentile(latencies, 1.0), loads, nextTick, loads, onTarget, loads),
        p99 <= kPeriodMs + 2.0);
}

void longPoll(const std::string& program, bool quick, Report& report)
{
    std::fprintf(stderr, "GET /frames long poll (%s)\n", loadAverage().c_str());
    constexpr int kPeriodMs = 50;
    RunOptions options;
    options.periodMs = kPeriodMs;
    Scale scale(program, options);
    sleepMs(500);
    qint64 last = jsonOf(scale.http.request(get("/frames?after=0"))).value("last_seq").toInteger();
    struct Poll {
        Response reply;
        std::string bytes;
    };
    std::vector<Poll> polls;
    const int count = quick ? 60 : 300;
    for (int i = 0; i < count; ++i) {
        Response reply = scale.http.request(get("/frames?after=" + QByteArray::number(last) + "&wait_ms=2000"));
        expectOk(reply, "GET /frames");
        const QJsonObject body = jsonOf(reply);
        last = body.value("last_seq").toInteger();
        const QJsonArray frames = body.value("frames").toArray();
        if (frames.isEmpty())
            continue;
        const QByteArray hex = frames.last().toObject().value("hex").toString().toLatin1();
        polls.push_back({std::move(reply), QByteArray::fromHex(hex).toStdString()});
    }
    sleepMs(2 * kPeriodMs);
    const auto frames = scale.frames();
    std::vector<double> wakes;
    int early = 0, unmatched = 0;
    for (const Poll& poll : polls) {
        // The frame on the virtual port nearest the reply: frames are a period apart.
        const ReceivedFrame* nearest = nullptr;
        for (const auto& frame : frames)
            if (!nearest || std::llabs(frame.last - poll.reply.received) < std::llabs(nearest->last - poll.reply.received))
                nearest = &frame;
        if (!nearest || nearest->bytes != poll.bytes
            || std::llabs(nearest->last - poll.reply.received) > kPeriodMs * 1'000'000 / 2) {
            ++unmatched;
            continue;
        }
        if (nearest->last < poll.reply.sent) {
            ++early; // written before the poll was parked: no wake-up to measure
            continue;
        }
        wakes.push_back(ms(poll.reply.received - nearest->last));
    }
    const double median = percentile(wakes, 0.5);
    report.add("GET /frames long-poll wake-up after the frame reached the virtual port, median", "<= 1 ms",
        format("%.3f ms (p99 %.3f, min %.3f, max %.3f; n=%zu parked polls; %d answered at once, %d unmatched)",
            median, percentile(wakes, 0.99), percentile(wakes, 0.0), percentile(wakes, 1.0), wakes.size(), early,
            unmatched),
        median <= 1.0);
}

// Exec to the first frame on the virtual port, the receiving end opened the
// moment its link appears. Also when the control API and the virtual port
// were announced.
void headlessStart(const std::string& program, bool quick, bool withSettings, Report& report)
{
    std::fprintf(stderr, "headless start, %s (%s)\n", withSettings ? "settings in place" : "empty data folder",
        loadAverage().c_str());
    constexpr int kPeriodMs = 150;
    const int count = quick ? 3 : 10;
    std::vector<double> firstFrame, announced;
    for (int i = -1; i < count; ++i) { // one start first to warm the caches, not counted
        RunOptions options;
        options.periodMs = kPeriodMs;
        options.writeSettings = withSettings;
        PortWatch watch;
        MeasuredRun run(program, options);
        // The receiving end is opened the moment the link appears, while the
        // program's announcements are read as they come.
        std::optional<std::size_t> line;
        std::int64_t arrival = 0;
        for (const std::int64_t until = monotonicNs() + 10 * kSecond; !arrival || !run.waitReady(0);) {
            if (monotonicNs() > until)
                throw std::runtime_error("no frame: " + run.errors());
            run.waitReady(100'000);
            std::error_code ec;
            if (!line && std::filesystem::is_symlink(run.virtualPath(), ec)) {
                try {
                    line = watch.open(run.virtualPath());
                } catch (const std::exception&) {
                    // made, but not yet linked to its terminal
                }
            }
            if (line && !arrival && watch.chunkCount(*line) > 0)
                arrival = watch.chunks(*line).front().t;
        }
        if (i < 0)
            continue;
        firstFrame.push_back(ms(arrival - run.startedAt()));
        announced.push_back(ms(std::max(run.controlAnnouncedAt(), run.virtualAnnouncedAt()) - run.startedAt()));
    }
    const double worst = percentile(firstFrame, 1.0);
    report.add(format("headless start to the first frame, 150 ms, %s", withSettings ? "settings in place" : "empty data folder"),
        "<= 300 ms",
        format("max %.1f ms (median %.1f; n=%d; control and virtual port announced at median %.1f ms)", worst,
            percentile(firstFrame, 0.5), count, percentile(announced, 0.5)),
        worst <= kPeriodMs + 150.0);
}

} // namespace

int main(int argc, char** argv)
{
    const BenchArgs args(argc, argv, "[--quick] [--only state|siege|load|poll|start] [--state-period MS]", {"--quick"},
        {"--only", "--state-period"});
    const std::string& program = args.program;
    const bool quick = args.flag("--quick");
    const std::string only = args.text("--only", "");
    const int statePeriodMs = int(args.number("--state-period", 1));
    const auto wanted = [&](const char* name) { return only.empty() || only == name; };
    Report report;
    try {
        if (wanted("state"))
            stateRoundTrip(program, quick, statePeriodMs, false, report);
        if (wanted("siege"))
            stateRoundTrip(program, quick, statePeriodMs, true, report);
        if (wanted("load"))
            loadToSwing(program, quick, report);
        if (wanted("poll"))
            longPoll(program, quick, report);
        if (wanted("start")) {
            headlessStart(program, quick, true, report);
            headlessStart(program, quick, false, report);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "control_bench: %s\n", error.what());
        report.print();
        return 1;
    }
    report.print();
    std::printf("(%s at the end)\n", loadAverage().c_str());
    return 0;
}
